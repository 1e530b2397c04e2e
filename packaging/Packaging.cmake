# `make package`: a Debian package of both programs, the desktop entry and its icon, the manual
# pages and the copyright file. The library dependencies are read from the binaries by
# dpkg-shlibdeps, so the package asks for exactly the Debian packages they link to.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(IMVORA_PACKAGE_MAINTAINER "Imvora developers <imvora@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME imvora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${IMVORA_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "workbench for image processing and glyph recognition")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Imvora opens a BMP or JPEG picture, runs filters on a rectangular selection and
on chosen colour channels, scripts chains of filter calls over many files, labels
connected regions and restores alpha channels. The interface is in Russian.

imvora-cli runs the same filters without a display and spreads a batch over all
cores.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugins at run time; no binary links to them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's own dialogs speak Russian where these are installed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
