# The Windows developer kit: beside the DLLs, Quenby.exe, the headers and the
# MinGW import libraries that the install rules place, a kit holds
#   lib/      the module-definition files and MSVC-style import libraries;
#   doc/      the kit's README, Quenby's manual page as text, the API reference;
#   examples/ at_ok with a MinGW Makefile that builds against the kit alone.

# The linker writes each DLL's export list as a .def file, from which
# llvm-dlltool makes the import library that MSVC's linker reads.
find_program(FALCREST_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(falcrest_dlltool_machine i386:x86-64)
else()
    set(falcrest_dlltool_machine i386)
endif()

foreach(dll Falcrest Tamsel)
    set(def ${PROJECT_BINARY_DIR}/${dll}.def)
    set(msvc_lib ${PROJECT_BINARY_DIR}/${dll}.lib)
    target_link_options(${dll} PRIVATE -Wl,--output-def,${def})
    # The .def names plain symbols; on i386 llvm-dlltool adds the leading
    # underscore of the cdecl convention for the linker and imports by the
    # plain name.
    add_custom_command(OUTPUT ${msvc_lib}
        COMMAND ${FALCREST_DLLTOOL} -m ${falcrest_dlltool_machine} -d ${def} -D ${dll}.dll
                -l ${msvc_lib}
        DEPENDS ${dll}
        VERBATIM)
    list(APPEND falcrest_msvc_libs ${msvc_lib})
    install(FILES ${def} ${msvc_lib} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endforeach()
add_custom_target(FalcrestMsvcImportLibs ALL DEPENDS ${falcrest_msvc_libs})

# Quenby's manual page as plain text, and the API reference from the header.
find_program(FALCREST_GROFF groff REQUIRED)
find_program(FALCREST_DOXYGEN doxygen REQUIRED)
set(falcrest_manual_text ${PROJECT_BINARY_DIR}/Quenby.txt)
add_custom_command(OUTPUT ${falcrest_manual_text}
    COMMAND ${FALCREST_GROFF} -man -Tascii -P-c -P-b -P-o -P-u
            ${PROJECT_SOURCE_DIR}/docs/Quenby.1 > ${falcrest_manual_text}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/Quenby.1)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/apidoc/html/index.html
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-apidoc.sh ${PROJECT_BINARY_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/include/falcrest/Falcrest.h ${PROJECT_SOURCE_DIR}/docs/Doxyfile)
add_custom_target(FalcrestKitDocs ALL
    DEPENDS ${falcrest_manual_text} ${PROJECT_BINARY_DIR}/apidoc/html/index.html)

install(FILES ${PROJECT_SOURCE_DIR}/docs/kit/README.md ${falcrest_manual_text} DESTINATION doc)
install(DIRECTORY ${PROJECT_BINARY_DIR}/apidoc/html/ DESTINATION doc/api)

install(FILES ${PROJECT_SOURCE_DIR}/examples/at_ok/at_ok.cpp DESTINATION examples/at_ok)
install(FILES ${PROJECT_SOURCE_DIR}/examples/at_ok/Makefile.mingw
    DESTINATION examples/at_ok RENAME Makefile)
