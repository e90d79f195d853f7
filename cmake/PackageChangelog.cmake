# Run by CPack in the staging folder before the package is made: adds the
# Debian changelog, compressed without a time stamp as Debian wants it.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(doc ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/olmek95)
file(MAKE_DIRECTORY ${doc})
file(COPY_FILE ${CPACK_OLMEK_CHANGELOG} ${doc}/changelog.Debian)
execute_process(COMMAND ${GZIP_PROGRAM} -9nf ${doc}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
