# The Debian package of everything `cmake --install` puts in place, built by scripts/package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME assetsmith)
set(CPACK_PACKAGE_VENDOR Assetsmith)
set(CPACK_PACKAGE_CONTACT "The Assetsmith developers <maintainers@assetsmith.dev>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Assetsmith turns one source image (PNG, JPEG, GIF, BMP, WebP, TIFF, ICNS, ICO,
SVG or SVGZ) into the folders of an Xcode asset catalogue, without Xcode: an
iOS or Mac app icon set with every size filled, or an image set at 1x, 2x and
3x. It has a window and a command line for build pipelines, which can also
check existing catalogues.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads these as plugins, so no library the program links names them: WebP, TIFF and ICNS
# sources, and the native window system on Wayland.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-image-formats-plugins)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
include(CPack)
