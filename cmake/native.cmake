# Native build: the portable code under sanitizers with its unit tests, fuzz targets
# and benchmarks, plus the checks and end-to-end tests that run the Windows builds.
include(CTest)
find_package(GTest REQUIRED)

set(QB_SANITIZE "" CACHE STRING "Sanitizers for the native build, e.g. address,undefined or thread")
if(QB_SANITIZE)
    add_compile_options(-fsanitize=${QB_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${QB_SANITIZE})
endif()
add_compile_options(-Wall -Wextra)

add_library(qb_portable STATIC
    host/command_line.cpp
    host/payload.cpp)
target_include_directories(qb_portable PUBLIC "${CMAKE_SOURCE_DIR}")

add_executable(unit_tests
    tests/unit/command_line_test.cpp
    tests/unit/payload_test.cpp)
target_link_libraries(unit_tests PRIVATE qb_portable GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST)

# Fuzz targets need clang's libFuzzer; each runs for a bounded time with the tests.
set(QB_FUZZ_SECONDS 15 CACHE STRING "How long each fuzz target runs in the tests")
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND QB_SANITIZE MATCHES "address")
    function(qb_fuzz_target name)
        add_executable(${name} tests/fuzz/${name}.cpp ${ARGN})
        target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        set(corpus "${CMAKE_BINARY_DIR}/fuzz-corpus/${name}")
        file(MAKE_DIRECTORY "${corpus}")
        add_test(NAME ${name}
            COMMAND ${name} -max_total_time=${QB_FUZZ_SECONDS} -seed=1 -print_final_stats=1
                    "${corpus}" "${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name}")
    endfunction()
    qb_fuzz_target(fuzz_command_line host/command_line.cpp)
    qb_fuzz_target(fuzz_payload host/payload.cpp)
endif()

include(cmake/windows_checks.cmake)
