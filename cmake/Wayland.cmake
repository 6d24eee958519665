# Wayland clients of the compositors' own protocols: each protocol's XML
# becomes a C header and glue with wayland-scanner, in a small library.
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
find_package(PlasmaWaylandProtocols REQUIRED)
enable_language(C)

# dwellor_wayland_protocol(<library> <xml>...): the client code of each
# protocol, compiled as C into a static library whose headers are found as
# "<name>-client-protocol.h".
function(dwellor_wayland_protocol library)
  set(sources)
  set(dir ${CMAKE_BINARY_DIR}/generated/wayland)
  foreach(xml ${ARGN})
    get_filename_component(name ${xml} NAME_WE)
    add_custom_command(
      OUTPUT ${dir}/${name}-client-protocol.h ${dir}/${name}-protocol.c
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${dir}/${name}-client-protocol.h
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${dir}/${name}-protocol.c
      DEPENDS ${xml} VERBATIM)
    list(APPEND sources ${dir}/${name}-client-protocol.h ${dir}/${name}-protocol.c)
  endforeach()
  add_library(${library} STATIC ${sources})
  set_source_files_properties(${sources} PROPERTIES LANGUAGE C)
  target_include_directories(${library} PUBLIC ${dir})
  target_link_libraries(${library} PUBLIC PkgConfig::WAYLAND_CLIENT)
endfunction()
