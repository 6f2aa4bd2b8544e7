# Installs the desktop integration (menu entry, icons, AppStream metainfo, man pages)
# beside the programs, and describes the Debian package that `cpack -G DEB` builds.
set(DIALBOARD_APP_ID org.dialboard.Dialboard)
set(DIALBOARD_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(FILES ${DIALBOARD_PACKAGING_DIR}/${DIALBOARD_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${DIALBOARD_PACKAGING_DIR}/${DIALBOARD_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
# The window icon doubles as the 32 x 32 theme icon; the SVG is drawn from the same shapes.
install(FILES ${PROJECT_SOURCE_DIR}/resources/dialboard.png
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/32x32/apps
        RENAME ${DIALBOARD_APP_ID}.png)
install(FILES ${DIALBOARD_PACKAGING_DIR}/icons/dialboard.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
        RENAME ${DIALBOARD_APP_ID}.svg)
install(FILES ${DIALBOARD_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/dialboard)
# echolink-node's menu entry and icon.
set(DIALBOARD_NODE_APP_ID org.dialboard.EchoLinkNode)
install(FILES ${DIALBOARD_PACKAGING_DIR}/${DIALBOARD_NODE_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${DIALBOARD_PACKAGING_DIR}/icons/echolink-node.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
        RENAME ${DIALBOARD_NODE_APP_ID}.svg)
# echolink-node as a systemd user service, for a station that runs on its own. User units
# live under lib/systemd/user whatever the multiarch library folder.
install(FILES ${DIALBOARD_PACKAGING_DIR}/echolink-node.service DESTINATION lib/systemd/user)

# D-Bus activation: a call for EchoLink's bus name on a session bus where no one owns it
# starts echolink-node, with its window (the panel does so at start-up). No systemd unit is
# named, so the bus itself starts the program in the user's session. The program's path
# is the installed one, known only at install time: a package is installed under its own
# prefix (/usr), not the build's.
set(DIALBOARD_DBUS_SERVICE ${PROJECT_BINARY_DIR}/dbus/org.dialboard.EchoLink.service)
install(CODE "
  set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${DIALBOARD_PACKAGING_DIR}/org.dialboard.EchoLink.service.in\"
                 \"${DIALBOARD_DBUS_SERVICE}\" @ONLY)
  file(INSTALL \"${DIALBOARD_DBUS_SERVICE}\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATAROOTDIR}/dbus-1/services\")")

# Man pages are installed compressed, as Debian expects them.
set(DIALBOARD_MAN_PAGES)
foreach(page dialboard.1 echolink-sim.1 echolink-node.1)
  set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E copy ${DIALBOARD_PACKAGING_DIR}/${page} ${PROJECT_BINARY_DIR}/man/${page}
    COMMAND gzip -9 -n -f ${PROJECT_BINARY_DIR}/man/${page}
    DEPENDS ${DIALBOARD_PACKAGING_DIR}/${page}
    COMMENT "Compressing man page ${page}"
    VERBATIM)
  list(APPEND DIALBOARD_MAN_PAGES ${compressed})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${DIALBOARD_MAN_PAGES})
install(FILES ${DIALBOARD_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian package. Depends is worked out by dpkg-shlibdeps from the libraries the two
# programs really link (the Qt 6 libraries and the C and C++ run-times), plus the
# session bus that the panel and EchoLink meet on.
set(CPACK_PACKAGE_NAME dialboard)
set(CPACK_PACKAGE_VENDOR "Dialboard developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Speed-dial panel for EchoLink")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_NAME dialboard)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(DIALBOARD_PACKAGE_MAINTAINER "Dialboard developers <maintainers@dialboard.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DIALBOARD_PACKAGE_MAINTAINER}")
# The package's changelog, compressed as Debian keeps it.
configure_file(${DIALBOARD_PACKAGING_DIR}/changelog.Debian.in ${PROJECT_BINARY_DIR}/changelog.Debian @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/changelog.Debian > ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/dialboard)
install(FILES ${DIALBOARD_PACKAGING_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME dialboard)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS dbus)
# fonts-arkpandora maps Verdana, the panel's typeface, to a font of the same metrics.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-arkpandora)
# CPack puts the summary above this text and indents it as the control file wants.
set(CPACK_PACKAGE_DESCRIPTION
    "Dialboard is a small desktop companion for EchoLink, the amateur-radio
voice-over-IP program. Its window holds 40 buttons, each carrying the
call of an EchoLink node or conference: a left click links to the node or
drops the link, a right click sets the button's call, and linked nodes
are marked with a leading asterisk.

The panel talks to EchoLink over the D-Bus session bus. The package also
carries echolink-sim, a stand-in server for that interface, and
echolink-node, an EchoLink station that serves it on the EchoLink network.")
include(CPack)
