# The Debian package, built by `cpack -G DEB` in a release build folder from the install rules of
# VellumarInstall. Its dependencies are worked out from the libraries the programs link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellumar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vellumar Software")
set(CPACK_PACKAGE_CONTACT "${VELLUMAR_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${VELLUMAR_HOMEPAGE}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepare a folder of JPEG photos for publishing")
# Debian's long description: lines under 80 characters; CPack indents them.
set(CPACK_PACKAGE_DESCRIPTION "\
Vellumar writes every JPEG photo of a source folder into a destination folder,
reduced by a percentage or to a size in pixels and re-encoded at a chosen
quality, renamed from a prefix, a running number and a suffix, and stamped
with a text overlay with a drop shadow. A status log reports every step.
.
Before the first write a run works out every output's name, so it never
overwrites a photo it has still to read, and a failed write never destroys a
photo.
.
The package holds the desktop program and vellumar-batch, which runs the same
engine from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# Debian's own conventions for a package's files, applied to the staged tree just before it is packed:
# manual pages compressed, and the package's changelog beside its copyright.
execute_process(COMMAND date -u -R -d "${VELLUMAR_RELEASE_DATE}" OUTPUT_VARIABLE VELLUMAR_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(packaging/deb_staging.cmake.in ${PROJECT_BINARY_DIR}/deb_staging.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/deb_staging.cmake)

include(CPack)
