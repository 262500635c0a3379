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
set(QB_TEST_PREFIX "" CACHE STRING "Prefix for the names of this build's tests")

add_library(qb_portable STATIC ${QB_CORE_SOURCES} ${QB_CLIENT_PORTABLE_SOURCES})

# The portable parts of the stand-in libraries and test instruments.
add_library(qb_standin_portable STATIC ${QB_MIDI_READER_SOURCES} ${QB_SYNTH_ENGINE_SOURCES})

# The audio libraries' fake, for the player's tests and benchmarks.
add_library(qb_fake_audio STATIC doubles/fake_audio/fake_audio.cpp ${QB_STREAM_MODEL_SOURCES})
find_package(Threads REQUIRED)
target_link_libraries(qb_fake_audio PUBLIC Threads::Threads)

add_executable(stress_tests tests/stress/player_stress_test.cpp)
target_link_libraries(stress_tests PRIVATE qb_portable qb_fake_audio GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(stress_tests DISCOVERY_MODE PRE_TEST TEST_PREFIX "${QB_TEST_PREFIX}")

# Benchmarks, meaningful only in an optimised build without sanitizers.
find_package(benchmark QUIET)
if(benchmark_FOUND AND NOT QB_SANITIZE)
    add_executable(render_bench tests/bench/render_bench.cpp)
    target_link_libraries(render_bench PRIVATE qb_portable qb_fake_audio benchmark::benchmark)
endif()

# The thread-sanitizer build runs the stress tests only; everything else runs once,
# in the address-sanitizer build.
if(QB_SANITIZE STREQUAL "thread")
    return()
endif()

add_executable(unit_tests
    tests/unit/command_line_test.cpp
    tests/unit/command_queue_test.cpp
    tests/unit/midi_file_test.cpp
    tests/unit/payload_test.cpp
    tests/unit/payload_words_test.cpp
    tests/unit/pe_width_test.cpp
    tests/unit/render_stream_test.cpp
    tests/unit/song_commands_test.cpp
    tests/unit/synth_engine_test.cpp
    tests/unit/transport_test.cpp
    tests/unit/state_file_test.cpp
    tests/unit/live_midi_test.cpp
    tests/unit/wav_encoder_test.cpp
    tests/unit/song_render_test.cpp
    tests/unit/event_controls_test.cpp
    tests/unit/song_marks_test.cpp)
target_link_libraries(unit_tests PRIVATE qb_portable qb_standin_portable qb_fake_audio
    GTest::gtest_main)
include(GoogleTest)
# An allocation beyond the cap fails cleanly, so a table that cannot be had is testable.
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=4096")

# Fuzz targets need clang's libFuzzer; each runs for a bounded time with the tests.
set(QB_FUZZ_SECONDS 15 CACHE STRING "How long each fuzz target runs in the tests")
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang" AND QB_SANITIZE MATCHES "address")
    # The same sources again, with the fuzzer's coverage instrumentation.
    add_library(qb_portable_fuzz STATIC ${QB_CORE_SOURCES} ${QB_CLIENT_PORTABLE_SOURCES}
                                        ${QB_MIDI_READER_SOURCES})
    target_compile_options(qb_portable_fuzz PRIVATE -fsanitize=fuzzer-no-link)
    function(qb_fuzz_target name)
        add_executable(${name} tests/fuzz/${name}.cpp)
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_libraries(${name} PRIVATE qb_portable_fuzz)
        set(corpus "${CMAKE_BINARY_DIR}/fuzz-corpus/${name}")
        file(MAKE_DIRECTORY "${corpus}")
        add_test(NAME ${name}
            COMMAND ${name} -max_total_time=${QB_FUZZ_SECONDS} -seed=1 -print_final_stats=1
                    "${corpus}" "${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${name}")
    endfunction()
    qb_fuzz_target(fuzz_command_line)
    qb_fuzz_target(fuzz_payload)
    qb_fuzz_target(fuzz_midi_file)
    qb_fuzz_target(fuzz_pe_width)
    qb_fuzz_target(fuzz_state_file)
endif()

include(cmake/windows_checks.cmake)
