# Installs Tarnwell as a self-contained folder (/opt/tarnwell by default): the
# executable with the files that come with it side by side, since it finds
# them next to itself; plus a command on the PATH, a menu entry and icons.

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/tarnwell CACHE PATH "Installation folder" FORCE)
endif()
set(TARNWELL_LINK_DIR /usr/bin CACHE PATH "Where the tarnwell command is linked")
set(TARNWELL_SHARE_DIR /usr/share CACHE PATH "Where the menu entry, icons and metainfo go")

install(TARGETS tarnwell tarnwell-workbook RUNTIME DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/program/ DESTINATION .)

# A relative link, so that a staged install (DESTDIR) runs as it will in place.
install(CODE "
  set(link \"\$ENV{DESTDIR}${TARNWELL_LINK_DIR}/tarnwell\")
  file(RELATIVE_PATH target \"${TARNWELL_LINK_DIR}\" \"\${CMAKE_INSTALL_PREFIX}/tarnwell\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}${TARNWELL_LINK_DIR}\")
  file(REMOVE \"\${link}\")
  file(CREATE_LINK \"\${target}\" \"\${link}\" SYMBOLIC)
  message(STATUS \"Linking: \${link} -> \${target}\")
")

# The terminal's search needs nothing beside it, so it sits on the PATH itself.
install(TARGETS tarnwell-find RUNTIME DESTINATION ${TARNWELL_LINK_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarnwell-find.1 DESTINATION ${TARNWELL_SHARE_DIR}/man/man1)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/org.example.tarnwell.desktop
        DESTINATION ${TARNWELL_SHARE_DIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/org.example.tarnwell.metainfo.xml
        DESTINATION ${TARNWELL_SHARE_DIR}/metainfo)
foreach(size 32 48 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/tarnwell-${size}.png
          DESTINATION ${TARNWELL_SHARE_DIR}/icons/hicolor/${size}x${size}/apps
          RENAME org.example.tarnwell.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/tarnwell.svg
        DESTINATION ${TARNWELL_SHARE_DIR}/icons/hicolor/scalable/apps
        RENAME org.example.tarnwell.svg)

# The Debian package: `cmake --build BUILD --target package`.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwell)
set(CPACK_PACKAGE_VENDOR "Team Kelvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Finds the hidden files below chosen drives and folders")
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/tarnwell)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarnwell Developers <dev@tarnwell.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries come from what the build links; the rest is what it runs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, xdg-utils")
# A native window on Wayland, and what the user copied kept after the window
# closes where no clipboard manager takes it (Wayland, bare X11 window managers).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, wl-clipboard, xclip")
include(CPack)
