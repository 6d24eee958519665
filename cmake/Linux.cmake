# The X11 and Qt backends and the Linux program, with its installed files.
find_package(Qt6 REQUIRED COMPONENTS Widgets Network DBus)
find_package(X11 REQUIRED)

# What every Linux backend shares: the guardian of a held press.
add_library(dwellor_posix STATIC platform/posix/guardian.cpp)
target_link_libraries(dwellor_posix PUBLIC dwellor_core)

add_library(dwellor_x11 STATIC platform/x11/x11_input.cpp)
target_link_libraries(dwellor_x11 PUBLIC dwellor_core PRIVATE dwellor_posix X11::X11 X11::Xtst X11::Xi)

add_library(dwellor_qt STATIC
  platform/qt/qt_timer.cpp
  platform/qt/qt_window.cpp
  platform/qt/qt_prompt.cpp
  platform/qt/qt_images.cpp
  platform/qt/qt_settings.cpp
  platform/qt/ini_text.cpp
  platform/qt/qt_messages.cpp
  platform/qt/qt_tray.cpp
  platform/qt/qt_instance.cpp
  platform/qt/qt_tray_host.cpp
  platform/qt/qt_countdown_mark.cpp
  platform/qt/qt_autostart.cpp
)
# Xlib only in qt_tray_host.cpp, on Qt's own X connection: the tray host's selection.
target_link_libraries(dwellor_qt PUBLIC dwellor_core Qt6::Widgets Qt6::Network PRIVATE Qt6::DBus X11::X11 X11::Xfixes)

# KDE Plasma's Wayland session: the pointer from a KWin script over the
# session bus, clicks through KWin's fake input protocol.
include(cmake/Wayland.cmake)
pkg_check_modules(DBUS REQUIRED IMPORTED_TARGET dbus-1)
dwellor_wayland_protocol(dwellor_kwin_protocols ${PLASMA_WAYLAND_PROTOCOLS_DIR}/fake-input.xml)
add_library(dwellor_wayland STATIC platform/wayland/wayland_client.cpp)
target_link_libraries(dwellor_wayland PUBLIC dwellor_core PRIVATE dwellor_posix PkgConfig::WAYLAND_CLIENT)
add_library(dwellor_kwin STATIC platform/kwin/kwin_fake_input.cpp platform/kwin/kwin_script.cpp)
# libdbus for the guardian, which runs without Qt.
target_link_libraries(dwellor_kwin PUBLIC dwellor_qt dwellor_wayland PRIVATE dwellor_kwin_protocols Qt6::DBus PkgConfig::DBUS)

# wlroots compositors (sway, ...): clicks through a virtual pointer, rests
# from idle notices.
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
dwellor_wayland_protocol(dwellor_wlroots_protocols
  ${PROJECT_SOURCE_DIR}/platform/wlroots/protocols/wlr-virtual-pointer-unstable-v1.xml
  ${PLASMA_WAYLAND_PROTOCOLS_DIR}/idle.xml
  ${WAYLAND_PROTOCOLS_DIR}/staging/ext-idle-notify/ext-idle-notify-v1.xml)
add_library(dwellor_wlroots STATIC
  platform/wlroots/wlr_virtual_pointer.cpp
  platform/wlroots/idle_watch.cpp
  platform/wlroots/wlroots_pointer.cpp
  platform/wlroots/hyprland_cursor.cpp
)
target_link_libraries(dwellor_wlroots PUBLIC dwellor_qt dwellor_wayland PRIVATE dwellor_wlroots_protocols)

add_executable(dwellor app/linux_host.cpp)
target_link_libraries(dwellor PRIVATE dwellor_start dwellor_x11 dwellor_kwin dwellor_wlroots dwellor_qt)
set_target_properties(dwellor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

include(cmake/Install.cmake)
