# A Debian package of what `cmake --install` installs: `cpack -G DEB` in the
# build folder (the Makefile's `make package` configures a Release build for
# /usr first).  Dependencies come from dpkg-shlibdeps.  The desktop entry,
# the MIME types and the icons reach the system's databases through the dpkg
# triggers of desktop-file-utils, shared-mime-info and the icon cache, so the
# package has no maintainer scripts.

set(OLMEK_PACKAGE_MAINTAINER "OLMEK 95 maintainers <maintainers@users.noreply.c-seed-151683ce.example>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME olmek95)
set(CPACK_PACKAGE_VENDOR "OLMEK 95")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop file manager and multi-format archiver")
set(CPACK_PACKAGE_DESCRIPTION
  "OLMEK 95 is a file manager for the desktop whose reason for being is archives.
It recognises ZIP (also inside self-extracting programs), ARC, PAK, ARJ,
LHA/LZH, ZOO, Microsoft cabinets, BH, TAR, GZIP and .Z files, HA and RAR by
their contents, lists them, extracts them with CRC checks and passwords, and
makes ZIP and LHA archives.  It also encodes files as uuencoded, xxencoded
or Base64 text.
.
The package holds the desktop program olmek and the command-line archiver
olmek-cli.")
set(CPACK_PACKAGE_CONTACT ${OLMEK_PACKAGE_MAINTAINER})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_PACKAGE_NAME olmek95)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${OLMEK_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its platform plug-ins at run time, out of sight of dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# The Debian changelog belongs to the package, not to every installation.
set(CPACK_OLMEK_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.Debian)
string(TIMESTAMP olmek_package_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CPACK_OLMEK_CHANGELOG}
  "olmek95 (${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium\n\n"
  "  * Package of OLMEK 95 ${PROJECT_VERSION}.\n\n"
  " -- ${OLMEK_PACKAGE_MAINTAINER}  ${olmek_package_date}\n")
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageChangelog.cmake)

include(CPack)
