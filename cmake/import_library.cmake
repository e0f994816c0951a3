# orvanta_import_library(<out-var> <def-file> <dll-name>)
# Makes an import library for a DLL we do not build from a .def file of our own, so the host
# links against the real runtime and plug-ins without any file of theirs. The path of the
# library is stored in <out-var>; a custom command produces it at build time.
function(orvanta_import_library out_var def_file dll_name)
  get_filename_component(stem ${dll_name} NAME_WE)
  if(MSVC)
    set(library ${CMAKE_CURRENT_BINARY_DIR}/${stem}.lib)
    add_custom_command(OUTPUT ${library}
                       COMMAND ${CMAKE_AR} /nologo /def:${def_file} /name:${dll_name}
                               /out:${library} /machine:x64
                       DEPENDS ${def_file} VERBATIM)
  else()
    set(library ${CMAKE_CURRENT_BINARY_DIR}/lib${stem}.dll.a)
    add_custom_command(OUTPUT ${library}
                       COMMAND ${CMAKE_DLLTOOL} -d ${def_file} -D ${dll_name} -l ${library}
                       DEPENDS ${def_file} VERBATIM)
  endif()
  set(${out_var} ${library} PARENT_SCOPE)
endfunction()
