# `cpack` in a build tree makes what users install: on Windows builds a zip
# kit per architecture (Falcrest-<version>-win32.zip, -win64.zip), on Linux
# a Debian package (falcrest_<version>_<arch>.deb) installing under /usr.
set(CPACK_PACKAGE_NAME Falcrest)
set(CPACK_PACKAGE_VENDOR "Falcrest developers")
set(CPACK_PACKAGE_CONTACT "Falcrest maintainers <maintainers@users.noreply.c-seed-9454406c.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial port and modem library, with a terminal")
set(CPACK_PACKAGE_DESCRIPTION
    "Falcrest opens one serial port from a DCB mode string, runs receive,
transmit and flow threads, and notifies its client when data has arrived or
been written. It plays voice files through voice modems, spells money amounts
as Russian words and sends fax pages coded in Modified Huffman.
.
The package holds the libraries Falcrest and Tamsel with their headers,
pkg-config file and CMake package, the console terminal Quenby and vmodem,
a virtual Hayes voice and fax modem on a pseudo-terminal.")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_PACKAGE_FILE_NAME Falcrest-${PROJECT_VERSION}-win64)
    else()
        set(CPACK_PACKAGE_FILE_NAME Falcrest-${PROJECT_VERSION}-win32)
    endif()
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_PACKAGE_NAME falcrest)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION comm)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/docs/debian/triggers)
    # Debian's layout for what the install rules place: compressed manual
    # pages and a changelog beside the copyright file.
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianDocs.cmake)
    set(CPACK_FALCREST_DEBIAN_DOCS ${PROJECT_SOURCE_DIR}/docs/debian)
endif()

include(CPack)
