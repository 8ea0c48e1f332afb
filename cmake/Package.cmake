# `make package`: a Debian package of the installed tree (see Install.cmake)
# under /usr, as build/tessellon_VERSION_ARCH.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessellon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Tessellon developers <developers@tessellon.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download the image tiles of web maps for offline use")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tessellon downloads the square image tiles of a web map tile service for an
area of the earth at one or more zoom levels and keeps them as image files,
with text files that say where every tile lies. An interrupted task continues
where it stopped; tiles that keep failing are listed for a later download.
.
It comes as a desktop program (tessellon), a command-line program over the
same engine (tessellon-cli), a combiner that stitches a task's tiles into one
georeferenced image (tessellon-combiner) and a viewer of downloaded tiles.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The libraries the programs link, as dpkg-shlibdeps tells them when cpack
# runs (the binaries exist only then). The module that reads area files
# through GDAL is loaded on demand and a program without it says so, so GDAL
# is only recommended. The windows need Qt's platform plugins, which Qt loads
# by name and so no link shows; they are laid out for the Liberation faces,
# and open the manual in a browser through xdg-open.
set(TESSELLON_PACKAGE_BIN ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
configure_file(cmake/PackageDepends.cmake.in PackageDepends.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/PackageDepends.cmake)

include(CPack)
