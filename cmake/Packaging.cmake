# The Debian package an exam provider hands to its candidates: `cpack --preset release` after
# the release build. Its version, the metainfo's release and the changelog all come from
# project(VERSION).
set(QOLVI_HOMEPAGE_URL "https://qolvi.com" CACHE STRING "The product's home page")
set(QOLVI_MAINTAINER "Qolvi <support@qolvi.com>" CACHE STRING "Who answers for the package")
set(QOLVI_RELEASE_DATE "2026-12-07")
set(QOLVI_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")

set(packaging "${PROJECT_SOURCE_DIR}/resources/packaging")
set(staged "${CMAKE_BINARY_DIR}/packaging")
configure_file("${PROJECT_SOURCE_DIR}/resources/com.qolvi.DesktopAgent.metainfo.xml.in"
               "${staged}/com.qolvi.DesktopAgent.metainfo.xml" @ONLY)
configure_file("${packaging}/copyright.in" "${staged}/copyright" @ONLY)
configure_file("${packaging}/changelog.Debian.in" "${staged}/changelog.Debian" @ONLY)
configure_file("${packaging}/qolvi-desktop-agent.1.in" "${staged}/qolvi-desktop-agent.1" @ONLY)
# Debian wants these compressed to the maximum, with no name or time inside.
foreach(document changelog.Debian qolvi-desktop-agent.1)
    add_custom_command(OUTPUT "${staged}/${document}.gz"
        COMMAND gzip -9nkf "${staged}/${document}"
        DEPENDS "${staged}/${document}" VERBATIM)
    list(APPEND compressed "${staged}/${document}.gz")
endforeach()
add_custom_target(qolvi_package_docs ALL DEPENDS ${compressed})

install(FILES "${staged}/com.qolvi.DesktopAgent.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${staged}/copyright" "${staged}/changelog.Debian.gz"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/qolvi-desktop-agent")
install(FILES "${staged}/qolvi-desktop-agent.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qolvi-desktop-agent)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# The first packaging of this version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_CONTACT "${QOLVI_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "agent that connects this computer to an online exam")
set(CPACK_PACKAGE_DESCRIPTION
    "The Qolvi Desktop Agent runs beside the web browser in which a candidate
takes an online exam. It sends the exam key and the running applications to
the exam provider's service, and reports them every three seconds until the
exam is over.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QOLVI_HOMEPAGE_URL}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
# The shared libraries it links, found by dpkg-shlibdeps, and what it loads or calls at run time
# that no linker sees: the QML modules of the window, the platform plugins for X11 and Wayland,
# and what opens the browser; a font that draws the Latin, Turkish and Arabic of the window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, \
qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtqml-workerscript, \
qt6-qpa-plugins, qt6-wayland, xdg-utils, fonts-dejavu-core")
# Chinese needs a CJK font, which every desktop set up for Chinese has already; elsewhere the
# window is not in Chinese and needs none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei")
include(CPack)
