# Installing (cmake --install, DESTDIR honoured) and the Debian package (cpack -G DEB).
# The programs go into bin/; the data files they ship with into share/munyaro/, from where each user's
# first start copies them into the user's own data folder (the installation is never written to);
# then the desktop entry, the icon, the AppStream metainfo and the man page of munyaro-cli.
set(MUNYARO_APP_ID io.github.munyaro.Munyaro)

install(TARGETS munyaro-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(MUNYARO_GUI)
  install(TARGETS munyaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY materia logs DESTINATION ${MUNYARO_INSTALL_SHAREDIR})

configure_file(data/${MUNYARO_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/data/${MUNYARO_APP_ID}.metainfo.xml @ONLY)
configure_file(data/munyaro-cli.1.in ${CMAKE_BINARY_DIR}/data/munyaro-cli.1 @ONLY)
install(FILES data/${MUNYARO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/data/${MUNYARO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/icons/munyaro.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Rendered from the SVG by scripts/icon and kept here, so a build needs no SVG renderer.
install(FILES data/icons/munyaro.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${CMAKE_BINARY_DIR}/data/munyaro-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The licence where Debian looks for it, in its machine-readable format.
install(FILES data/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/munyaro)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME munyaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "munyaro")
set(CPACK_PACKAGE_CONTACT "munyaro developers <munyaro@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reads one web-server access log at a time (Japanese desktop tool)")
set(CPACK_PACKAGE_DESCRIPTION
    "むにゃろ (munyaro) reads one Apache combined-format access log at a time, from disk or fetched by FTP,\n"
    "and shows connections, hosts, requests, status codes, bytes sent, hourly charts, foreign referrers,\n"
    "robot accesses and watched domains. munyaro-cli runs the same analysis in a terminal.")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)             # munyaro_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)               # Depends from the shared libraries (dpkg-shlibdeps)
# ... and libcurl, which the programs load only when they download (so dpkg-shlibdeps cannot see it).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.88)")
# libsecret-1-0: QtKeychain loads it to reach the desktop's keyring (Secret Service).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, fonts-dejavu-core, qt6-translations-l10n, libsecret-1-0")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# A package is made from what was built; making it never starts a build of everything.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
