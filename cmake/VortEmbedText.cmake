# vort_embed_text(<target> <input file> <function>)
# Compiles a text file into <target>: a source generated at build time defines
# `std::string_view vort::<function>()`, the file's bytes exactly, and is generated again
# whenever the file changes. For prose kept out of string literals.
#
# Run with -P (INPUT, OUTPUT, FUNCTION set), this file is that generator.
if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${INPUT}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  # 0x.. initialisers, 16 to a line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
  get_filename_component(input_name "${INPUT}" NAME)
  file(WRITE "${OUTPUT}"
    "// Generated from ${input_name} by VortEmbedText.cmake: do not edit.\n"
    "#include <string_view>\n\n"
    "namespace vort {\n\n"
    "namespace {\n"
    "const unsigned char kBytes[${size} + 1] = {\n    ${bytes}0};\n"
    "} // namespace\n\n"
    "std::string_view ${FUNCTION}() {\n"
    "    return {reinterpret_cast<const char*>(kBytes), ${size}};\n"
    "}\n\n"
    "} // namespace vort\n")
  return()
endif()

function(vort_embed_text target input function)
  get_filename_component(input ${input} ABSOLUTE)
  get_filename_component(name ${input} NAME_WE)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${name}_text.cpp)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DFUNCTION=${function}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${input} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    COMMENT "Compiling ${name} into ${target}"
    VERBATIM)
  set_source_files_properties(${output} PROPERTIES GENERATED ON SKIP_AUTOGEN ON)
  target_sources(${target} PRIVATE ${output})
endfunction()
