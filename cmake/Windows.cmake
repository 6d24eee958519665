# dwellor.exe for 64-bit Windows (cmake/mingw-w64.cmake): the core and the
# Win32 backend, statically linked, with its icons, manifest and version.
enable_language(RC)
# No DLL of the compiler's runtime beside the executable.
add_link_options(-static $<$<CONFIG:Release>:-s>)

# The .ico files, made from the drawings in assets/ with ImageMagick: the
# window icon at 16 and 32 px and larger for the shell, the mode images at 16
# and scaled (unsmoothed) to 32 for higher DPIs.
find_program(DWELLOR_CONVERT convert REQUIRED)
set(DWELLOR_RES ${CMAKE_BINARY_DIR}/resources)
set(_assets ${PROJECT_SOURCE_DIR}/assets)
set(_hicolor ${_assets}/icons/hicolor)
file(MAKE_DIRECTORY ${DWELLOR_RES})
add_custom_command(OUTPUT ${DWELLOR_RES}/window.ico
  COMMAND ${DWELLOR_CONVERT} ${_assets}/window16.xpm ${_assets}/window32.xpm
          ${_hicolor}/48x48/apps/io.github.dwellor.Dwellor.png
          ${_hicolor}/64x64/apps/io.github.dwellor.Dwellor.png
          ${_hicolor}/256x256/apps/io.github.dwellor.Dwellor.png ${DWELLOR_RES}/window.ico
  DEPENDS ${_assets}/window16.xpm ${_assets}/window32.xpm
  VERBATIM)
set(_icons ${DWELLOR_RES}/window.ico)
foreach(mode green red yellow)
  add_custom_command(OUTPUT ${DWELLOR_RES}/mode_${mode}.ico
    COMMAND ${DWELLOR_CONVERT} ${_assets}/mode_${mode}.xpm ( ${_assets}/mode_${mode}.xpm -scale 200% )
            ${DWELLOR_RES}/mode_${mode}.ico
    DEPENDS ${_assets}/mode_${mode}.xpm
    VERBATIM)
  list(APPEND _icons ${DWELLOR_RES}/mode_${mode}.ico)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/platform/win32/dwellor.manifest ${DWELLOR_RES}/dwellor.manifest COPYONLY)

# Icons and manifest, as objects: every program of ours carries them.
add_library(dwellor_win32_resources OBJECT platform/win32/resources.rc)
target_include_directories(dwellor_win32_resources PRIVATE ${PROJECT_SOURCE_DIR} ${DWELLOR_RES})
set_source_files_properties(platform/win32/resources.rc PROPERTIES OBJECT_DEPENDS "${_icons};${DWELLOR_RES}/dwellor.manifest")

add_library(dwellor_win32 STATIC
  platform/win32/win32_annotations.cpp
  platform/win32/win32_autostart.cpp
  platform/win32/win32_countdown_mark.cpp
  platform/win32/win32_guardian.cpp
  platform/win32/win32_images.cpp
  platform/win32/win32_instance.cpp
  platform/win32/win32_input.cpp
  platform/win32/win32_object_window.cpp
  platform/win32/win32_prompt.cpp
  platform/win32/win32_settings.cpp
  platform/win32/win32_text.cpp
  platform/win32/win32_tray.cpp
  platform/win32/win32_window.cpp
)
target_compile_definitions(dwellor_win32 PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                           _WIN32_WINNT=0x0A00 WINVER=0x0A00)
target_link_libraries(dwellor_win32 PUBLIC dwellor_core user32 gdi32 shell32 shcore comctl32 advapi32
                      oleacc ole32 uuid)

configure_file(app/version.rc.in ${DWELLOR_RES}/version.rc @ONLY)
add_executable(dwellor WIN32 app/win32_host.cpp ${DWELLOR_RES}/version.rc $<TARGET_OBJECTS:dwellor_win32_resources>)
target_link_libraries(dwellor PRIVATE dwellor_start dwellor_win32)
target_link_options(dwellor PRIVATE -municode)
set_target_properties(dwellor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# `make package-windows`: a per-user NSIS installer and a portable zip, each
# with the exe, the licence and a short readme.
install(TARGETS dwellor RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
set(DWELLOR_VERSION ${PROJECT_VERSION})
configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt ${CMAKE_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME dwellor)
set(CPACK_PACKAGE_VENDOR "Dwellor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Dwellor)
# The installer from cmake/nsis/NSIS.template.in, not CPack's own.
list(APPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
set(CPACK_NSIS_EXECUTABLE makensis)
set(CPACK_DWELLOR_NSIS_ICON ${DWELLOR_RES}/window.ico)
# dwellor-<version>-setup.exe and dwellor-<version>-windows.zip.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/nsis/names.cmake)
include(CPack)
