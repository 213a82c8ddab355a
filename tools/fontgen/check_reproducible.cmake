# Reruns the font generator into OUT and compares every output with COMMITTED.
file(REMOVE_RECURSE ${OUT})
execute_process(
  COMMAND ${PYTHON} ${GENERATOR} --sources ${SOURCES} --out ${OUT}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "font generator failed: ${result}")
endif()
foreach(name builtin_fonts.cpp fontKanji.fnt fontAnk.fnt)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name} ${COMMITTED}/${name}
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${name} differs from the committed file; rerun tools/fontgen/generate_fonts.py")
  endif()
endforeach()
