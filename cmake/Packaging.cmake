# Installation beyond the program itself, and the Debian package.
#
#   cmake --install build --prefix /usr/local   # program, desktop entry, icon
#   (cd build && cpack -G DEB)                    # plivan_<version>_<arch>.deb

include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/plivan.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/plivan.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plivan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Plivan developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "classroom seating charts from class rosters")
set(CPACK_PACKAGE_DESCRIPTION
    "Plivan builds a classroom seating chart and prints it. It lists the classes "
    "named in a small settings file, reads the chosen class's names from its "
    "roster workbook (.xls, .xlsx, .ods or .csv), and seats the students by "
    "hand, in list order or at random. The chart prints in landscape on the "
    "default printer.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Plivan developers")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the program links (Qt 6, libzip, nettle, libxml2 and what
# they need) come from dpkg-shlibdeps; the font for window and page is added here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
# Latin, Greek, Cyrillic and CJK names in the window and on the page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-wqy-microhei")

include(CPack)
