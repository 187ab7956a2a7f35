# Exports exactly the names listed in LIST_FILE (one per line, '#' comments)
# from TARGET: the linker version script is generated from the list, so
# nothing else can leak out.
function(export_only TARGET LIST_FILE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LIST_FILE})
  file(STRINGS ${LIST_FILE} names REGEX "^[A-Za-z_][A-Za-z0-9_]*$")
  list(JOIN names ";\n    " lines)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${TARGET}.map)
  file(CONFIGURE OUTPUT ${script} CONTENT "{\n  global:\n    ${lines};\n  local: *;\n};\n")
  target_link_options(${TARGET} PRIVATE -Wl,--version-script=${script})
  set_target_properties(${TARGET} PROPERTIES LINK_DEPENDS ${script})
endfunction()
