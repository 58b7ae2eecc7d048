# cpack runs this after installing into its staging folder and before making
# the Debian package: manual pages compressed, and the copyright file and a
# compressed changelog under /usr/share/doc/falcrest, as Debian lays them out.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()
set(usr ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${usr}/share/doc/${CPACK_DEBIAN_PACKAGE_NAME})
file(COPY ${CPACK_FALCREST_DEBIAN_DOCS}/copyright ${CPACK_FALCREST_DEBIAN_DOCS}/changelog
    DESTINATION ${doc} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(GLOB pages ${usr}/share/man/man*/*.[1-9])
foreach(file ${pages} ${doc}/changelog)
    # -n: no name or time stamp in the header, so the package is reproducible.
    execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
