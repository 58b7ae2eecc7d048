# A fuzz target's entry point builds two ways. In the fuzz build (clang,
# FALCREST_FUZZ) it is fuzz_<what>, linked with libFuzzer. In the test builds
# it is replay_<what>, which feeds every input kept in the folder's
# regressions/ to it, registered as a test; so the native and sanitizer suites
# keep what the fuzzer once found.
# falcrest_fuzz_target(fuzz_<what> SOURCES ... [LIBRARIES ...] [INCLUDES ...]
#                      [DEFINITIONS ...] [NO_WARNINGS])
function(falcrest_fuzz_target name)
    cmake_parse_arguments(F "NO_WARNINGS" "" "SOURCES;LIBRARIES;INCLUDES;DEFINITIONS" ${ARGN})
    if(FALCREST_FUZZ)
        set(target ${name})
        add_executable(${target} ${F_SOURCES})
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
        target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    else()
        string(REGEX REPLACE "^fuzz_" "replay_" target ${name})
        add_executable(${target} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/ReplayMain.cpp)
        add_test(NAME ${target} COMMAND ${target} ${CMAKE_CURRENT_SOURCE_DIR}/regressions)
        set_tests_properties(${target} PROPERTIES LABELS "unit;fuzz")
    endif()
    target_include_directories(${target} PRIVATE ${F_INCLUDES})
    target_compile_definitions(${target} PRIVATE ${F_DEFINITIONS})
    target_link_libraries(${target} PRIVATE ${F_LIBRARIES})
    if(NOT F_NO_WARNINGS)
        falcrest_warnings(${target})
    endif()
endfunction()
