# What `cmake --install` places under the prefix: the two shared libraries with
# their public headers, Quenby and vmodem, Quenby's manual page, a pkg-config
# file and a CMake package (find_package(Falcrest) -> Falcrest::Falcrest).
# Tests, benchmarks, fuzz targets and the static libraries stay in the build.
include(CMakePackageConfigHelpers)

set_target_properties(Falcrest Tamsel PROPERTIES
    VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0
    SOVERSION ${PROJECT_VERSION_MAJOR})

# The platform layer is linked privately into both libraries: it is part of
# their objects, not of their interface, so it is neither installed nor named
# by the exported targets.
install(TARGETS Falcrest Tamsel EXPORT FalcrestTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/falcrest/Falcrest.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/falcrest)
# Callers release the blocks the library hands out with Tamsel's Realloc.
install(FILES ${PROJECT_SOURCE_DIR}/support/Tamsel.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tamsel)

install(TARGETS Quenby RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(NOT WIN32)
    install(TARGETS vmodem RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/docs/Quenby.1 ${PROJECT_SOURCE_DIR}/docs/vmodem.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# CMake package.
set(falcrest_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Falcrest)
install(EXPORT FalcrestTargets NAMESPACE Falcrest:: DESTINATION ${falcrest_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/FalcrestConfig.cmake.in
    ${PROJECT_BINARY_DIR}/FalcrestConfig.cmake INSTALL_DESTINATION ${falcrest_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/FalcrestConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/FalcrestConfig.cmake
    ${PROJECT_BINARY_DIR}/FalcrestConfigVersion.cmake DESTINATION ${falcrest_cmake_dir})

# pkg-config, relocatable: the prefix is found from the file's own place, so
# `cmake --install --prefix` anywhere gives a working file.
file(RELATIVE_PATH falcrest_pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
    ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" falcrest_pc_to_prefix "${falcrest_pc_to_prefix}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/falcrest.pc.in ${PROJECT_BINARY_DIR}/falcrest.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/falcrest.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Windows developer kit's extra parts, and the packages cpack makes.
if(WIN32)
    # A test build's DLL carries the checks of the Win32 rules: no kit from it.
    if(FALCREST_WINDOWS_TESTS)
        set(falcrest_kit_default OFF)
    else()
        set(falcrest_kit_default ON)
    endif()
    option(FALCREST_WINDOWS_KIT
        "Windows builds: MSVC import libraries and documentation for the kit (llvm-dlltool, groff, doxygen)"
        ${falcrest_kit_default})
    if(FALCREST_WINDOWS_KIT)
        include(${CMAKE_CURRENT_LIST_DIR}/FalcrestWindowsKit.cmake)
    endif()
endif()
include(${CMAKE_CURRENT_LIST_DIR}/FalcrestPackage.cmake)
