# pelmora_embed_binary(<target> <input file> <symbol>)
# Turns a binary file into a C++ source defining
#   extern const unsigned char pelmora::assets::<symbol>[];
#   extern const std::size_t pelmora::assets::<symbol>_size;
# and adds it to <target>. The bytes are copied verbatim.
set(PELMORA_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedBinaryScript.cmake)

function(pelmora_embed_binary target input symbol)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${out} -DSYMBOL=${symbol}
            -P ${PELMORA_EMBED_SCRIPT}
    DEPENDS ${input} ${PELMORA_EMBED_SCRIPT}
    COMMENT "Embedding ${symbol}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
