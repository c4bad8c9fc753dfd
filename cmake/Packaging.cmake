# Installation beyond the program itself, and the Debian package.
#
#   cmake --install build --prefix /usr/local   # program, desktop entry, icon, ...
#   (cd build && cpack -G DEB)                    # plivan_<version>_<arch>.deb

include(GNUInstallDirs)

set(PLIVAN_MAINTAINER "Plivan developers <developers@plivan.invalid>"
    CACHE STRING "Maintainer of the Debian package, a name and a mail address")
set(PLIVAN_WEBSITE "https://plivan.invalid"
    CACHE STRING "Web site named in the AppStream metadata, which also serves screenshots/window.png")

install(FILES ${PROJECT_SOURCE_DIR}/packaging/plivan.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/plivan.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(${PROJECT_SOURCE_DIR}/packaging/plivan.metainfo.xml.in
    ${PROJECT_BINARY_DIR}/packaging/org.plivan.plivan.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/org.plivan.plivan.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page and the changelog go compressed, as Debian keeps them;
# -n leaves the name and time out, so the same text gives the same bytes.
set(PLIVAN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/plivan)
foreach(file plivan.1 changelog)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${file}.gz
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/${file} > ${PROJECT_BINARY_DIR}/packaging/${file}.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${file})
endforeach()
add_custom_target(plivan_docs ALL DEPENDS
    ${PROJECT_BINARY_DIR}/packaging/plivan.1.gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/packaging/plivan.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${PLIVAN_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/Plivan DESTINATION ${PLIVAN_DOC_DIR}/examples)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plivan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Plivan developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "classroom seating charts from class rosters")
# Lines of at most 80 characters, as Debian's tools show them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Plivan builds a classroom seating chart and prints it. It lists the classes\n"
    "named in a small settings file, reads the chosen class's names from its\n"
    "roster workbook (Excel, OpenDocument, XML Spreadsheet 2003, web page, SYLK,\n"
    "DIF, CSV or tab-separated text), and seats the students by hand, in list\n"
    "order or at random. The chart prints in landscape on the default printer,\n"
    "or is saved as a PDF when there is no printer.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLIVAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PLIVAN_WEBSITE}/")
# The shared libraries the program links (Qt 6, libzip, nettle, libxml2 and what
# they need) come from dpkg-shlibdeps; the font for window and page is added here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
# Latin, Greek, Cyrillic and CJK names in the window and on the page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, fonts-wqy-microhei")

include(CPack)
