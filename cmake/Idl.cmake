# qs_compile_idl(<out-var> <idl-file>)
# Runs widl on an IDL file: writes <name>.h, <name>_i.c and <name>.tlb into the
# current binary folder and sets <out-var> to those three paths.
function(qs_compile_idl out_var idl)
  get_filename_component(name ${idl} NAME_WE)
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR})
  set(outs ${dir}/${name}.h ${dir}/${name}_i.c ${dir}/${name}.tlb)
  add_custom_command(
    OUTPUT ${outs}
    # widl ignores -o with -u; it writes into the working folder.
    COMMAND ${QS_WIDL} -I/usr/include/wine/wine/windows -I${CMAKE_SOURCE_DIR}/common
            -L${QS_WINE_TLB_DIR} -h -u -t ${idl_abs}
    DEPENDS ${idl_abs}
    WORKING_DIRECTORY ${dir}
    COMMENT "widl ${name}.idl"
    VERBATIM)
  set(${out_var} ${outs} PARENT_SCOPE)
endfunction()
