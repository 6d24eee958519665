# Installation in the GNU layout (under /usr/local by default) and the Debian
# package built by `make package`.
include(GNUInstallDirs)

set(DWELLOR_APP_ID io.github.dwellor.Dwellor)
set(DWELLOR_ASSETS ${PROJECT_SOURCE_DIR}/assets)

install(TARGETS dwellor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop entry names the program by its full installed path, known
# only when installing (`--prefix`, the package's /usr): KWin grants fake
# input, which Dwellor clicks with on Plasma's Wayland, to the program whose
# path an entry asking for it names.
install(CODE "
  set(DWELLOR_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/dwellor\")
  configure_file(\"${DWELLOR_ASSETS}/${DWELLOR_APP_ID}.desktop.in\"
                 \"${CMAKE_BINARY_DIR}/${DWELLOR_APP_ID}.desktop\" @ONLY)
  file(INSTALL \"${CMAKE_BINARY_DIR}/${DWELLOR_APP_ID}.desktop\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
")
install(FILES ${DWELLOR_ASSETS}/${DWELLOR_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${DWELLOR_ASSETS}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${DWELLOR_ASSETS}/dwellor.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: files under /usr, dependencies from dpkg-shlibdeps.
# cmake/debian/stage.cmake adds what Debian wants beyond a plain
# install (copyright, changelog, compressed man page, stripped program) to
# the package alone.
set(DWELLOR_MAINTAINER "Dwellor developers <dwellor@users.noreply.github.com>"
    CACHE STRING "Maintainer of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dwellor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${DWELLOR_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 and Wayland platform plugins are loaded at run time, so no library
# names them; the X11 one's library package only recommends it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DWELLOR_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "dwell clicker: clicks the mouse when the pointer rests
Dwellor clicks the mouse for people who can move the pointer, with a head
or eye tracker for example, but cannot press a button. Whenever the pointer
rests for the time chosen in its window, it clicks where the pointer is: a
left, right or double click, or a drag, pressing the button on one rest and
releasing it on the next. It can start with the desktop session and be
switched on and off from a keyboard shortcut.
.
It works in X11 sessions, in KDE Plasma's Wayland session and on wlroots
desktops such as sway and Hyprland.")
set(CPACK_DWELLOR_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)
set(CPACK_DWELLOR_STRIP ${CMAKE_STRIP})
set(CPACK_DWELLOR_MAN_PAGE ${CMAKE_INSTALL_MANDIR}/man1/dwellor.1)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/stage.cmake)
include(CPack)
