# Checks and end-to-end tests of the Windows builds, registered in the native build
# so one test run covers everything. The Windows build folders are passed in.
set(QB_WIN64_DIR "${CMAKE_SOURCE_DIR}/build/win64" CACHE PATH "64-bit Windows build folder")
set(QB_WIN32_DIR "${CMAKE_SOURCE_DIR}/build/win32" CACHE PATH "32-bit Windows build folder")
option(QB_WINDOWS_TESTS "Check and run the Windows builds (needs both built, and Wine)" ON)

if(QB_WINDOWS_TESTS)
    add_test(NAME windows_program_files
        COMMAND ${Python3_EXECUTABLE} "${CMAKE_SOURCE_DIR}/tests/build/check_programs.py"
                "${QB_DIST_DIR}" "${QB_WIN64_DIR}" "${QB_WIN32_DIR}" "${CMAKE_SOURCE_DIR}")

    # Two builds of the commit from two fresh clones give the same programs.
    add_test(NAME reproducible_programs
        COMMAND "${CMAKE_SOURCE_DIR}/tests/build/check_reproducible.sh" "${CMAKE_SOURCE_DIR}")
    set_tests_properties(reproducible_programs PROPERTIES TIMEOUT 900)

    # The road where 32-bit programs cannot run: the probe, a Wine session of its own
    # that keeps away from the 32-bit loader, the skips and how the closing line counts.
    add_test(NAME scripts_without_32bit
        COMMAND ${Python3_EXECUTABLE} "${CMAKE_SOURCE_DIR}/tests/scripts/test_scripts.py"
                "${CMAKE_SOURCE_DIR}" "${CMAKE_BINARY_DIR}")
    set_tests_properties(scripts_without_32bit PROPERTIES RESOURCE_LOCK wine TIMEOUT 600)

    # One Wine session (display and prefix) for the whole test run.
    set(QB_SESSION_DIR "${CMAKE_BINARY_DIR}/wine-session")
    add_test(NAME wine_session_start
        COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine_session.sh" start "${QB_SESSION_DIR}")
    add_test(NAME wine_session_stop
        COMMAND "${CMAKE_SOURCE_DIR}/scripts/wine_session.sh" stop "${QB_SESSION_DIR}")
    set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
    set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

    # A test of a width this machine cannot run (32-bit, on a machine that runs only
    # 64-bit programs) says so and exits 77: ctest counts it as skipped.
    function(qb_e2e_test script)
        foreach(width 64 32)
            set(name "${script}_${width}")
            add_test(NAME ${name}
                COMMAND ${Python3_EXECUTABLE} "${CMAKE_SOURCE_DIR}/tests/e2e/${script}.py")
            set_tests_properties(${name} PROPERTIES
                FIXTURES_REQUIRED wine
                RESOURCE_LOCK wine
                TIMEOUT 600
                SKIP_RETURN_CODE 77
                ENVIRONMENT "QB_SESSION_DIR=${QB_SESSION_DIR};QB_WIDTH=${width};QB_BUILD_DIR=${QB_WIN${width}_DIR};QB_DIST_DIR=${QB_DIST_DIR};PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/e2e")
        endforeach()
    endfunction()
    qb_e2e_test(test_host_startup)
    qb_e2e_test(test_standins)
    qb_e2e_test(test_render_timing)
    qb_e2e_test(test_no_instrument)
    qb_e2e_test(test_plugin_editor)
    qb_e2e_test(test_protocol)
    qb_e2e_test(test_worst_case_library)
    qb_e2e_test(test_client)
    qb_e2e_test(test_hostile_plugins)
    qb_e2e_test(test_player_controls)
    qb_e2e_test(test_instrument_state)
    qb_e2e_test(test_render)
    qb_e2e_test(test_output_devices)
endif()
