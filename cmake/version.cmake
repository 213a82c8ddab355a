# The program's version has one home: the window title in
# host/window_title.h, "Pelmora Ver YYYY-MM-DD". Everything else that names
# the version takes it from here:
#   PELMORA_VERSION_TEXT   2026-10-17   Info.plist's PelmoraVersion, the
#                                       version resource's strings, the
#                                       program version traces record
#   PELMORA_VERSION        2026.10.17   the project, the Debian package (a
#                                       hyphen would read as a Debian revision),
#                                       the bundle's short version
#   PELMORA_VERSION_YEAR, _MONTH, _DAY  the version resource's numbers
# Copies the code keeps where it cannot include that header are checked to
# agree, so a new version is one edit and a forgotten copy stops the build.
#
#   include(cmake/version.cmake)                  in a project or a script
#   cmake -DPRINT=VERSION -P cmake/version.cmake  prints one of them (VERSION
#                                                 or VERSION_TEXT) for scripts
get_filename_component(_pelmora_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(_pelmora_title_file ${_pelmora_root}/host/window_title.h)
set(_pelmora_date "([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])")
file(STRINGS ${_pelmora_title_file} _pelmora_title REGEX "kTitleBase")
if(NOT _pelmora_title MATCHES "\"Pelmora Ver (${_pelmora_date})\"")
  message(FATAL_ERROR "No \"Pelmora Ver YYYY-MM-DD\" title in ${_pelmora_title_file}")
endif()
set(PELMORA_VERSION_TEXT ${CMAKE_MATCH_1})
set(_pelmora_parts ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
# Numbers without leading zeros: the resource compiler reads 08 as octal.
foreach(_name YEAR MONTH DAY)
  list(POP_FRONT _pelmora_parts _part)
  string(REGEX REPLACE "^0" "" PELMORA_VERSION_${_name} "${_part}")
endforeach()
set(PELMORA_VERSION ${PELMORA_VERSION_YEAR}.${PELMORA_VERSION_MONTH}.${PELMORA_VERSION_DAY})

foreach(_copy linux/app/window_title.h Pelmora_mac/ui/window_title.h)
  if(NOT EXISTS ${_pelmora_root}/${_copy})
    continue()
  endif()
  file(STRINGS ${_pelmora_root}/${_copy} _lines REGEX "\"[^\"]*${_pelmora_date}")
  foreach(_line IN LISTS _lines)
    string(REGEX MATCH "${_pelmora_date}" _found "${_line}")
    if(NOT _found STREQUAL PELMORA_VERSION_TEXT)
      message(FATAL_ERROR "${_copy} says ${_found}, host/window_title.h ${PELMORA_VERSION_TEXT}")
    endif()
  endforeach()
  if(NOT CMAKE_SCRIPT_MODE_FILE)
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_pelmora_root}/${_copy})
  endif()
endforeach()
if(NOT CMAKE_SCRIPT_MODE_FILE)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_pelmora_title_file})
endif()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE AND DEFINED PRINT)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${PELMORA_${PRINT}}")
endif()
