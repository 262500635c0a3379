# The Windows programs: Quillbrook64 or Quillbrook32 (by the toolchain's width), the
# stand-in audio libraries and the reference controller.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QB_WIDTH 64)
else()
    set(QB_WIDTH 32)
endif()

set(QB_WARNINGS -Wall -Wextra -Wno-cast-function-type)
# The whole runtime is linked in, so each program is a single executable.
set(QB_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# Import libraries for the three audio libraries, made from our own .def files. The
# 32-bit ones map the decorated __stdcall names to the undecorated exports; 64-bit
# names carry no decoration at all.
function(qb_import_library name)
    set(def "${CMAKE_SOURCE_DIR}/audio/${name}.def")
    set(lib "${CMAKE_BINARY_DIR}/imports/lib${name}.a")
    if(QB_WIDTH EQUAL 64)
        file(READ "${def}" text)
        string(REGEX REPLACE "@[0-9]+" "" text "${text}")
        set(plain_def "${CMAKE_BINARY_DIR}/imports/${name}.def")
        file(WRITE "${plain_def}" "${text}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${def}")
        set(tool_args -d "${plain_def}")
    else()
        set(tool_args -d "${def}" --kill-at)
    endif()
    add_custom_command(OUTPUT "${lib}"
        COMMAND "${QB_DLLTOOL}" ${tool_args} -l "${lib}" -D ${name}.dll
        DEPENDS "${def}"
        COMMENT "Import library for ${name}.dll")
    add_custom_target(import_${name} DEPENDS "${lib}")
    add_library(qb_${name} INTERFACE)
    add_dependencies(qb_${name} import_${name})
    target_link_libraries(qb_${name} INTERFACE "${lib}")
endfunction()

# The cross toolchain files name the tool; a native MinGW build (MSYS2) uses the one
# CMake found beside the compiler.
if(NOT QB_DLLTOOL)
    set(QB_DLLTOOL "${CMAKE_DLLTOOL}")
endif()
if(NOT QB_DLLTOOL)
    message(FATAL_ERROR "dlltool not found: it comes with the MinGW binutils")
endif()
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/imports")
qb_import_library(bass)
qb_import_library(bassmidi)
qb_import_library(bass_vst)

# Icons, drawn at build time by our own script.
set(QB_ICON_DIR "${CMAKE_BINARY_DIR}/icons")
add_custom_command(
    OUTPUT "${QB_ICON_DIR}/quillbrook_large.ico" "${QB_ICON_DIR}/quillbrook_small.ico"
    COMMAND ${Python3_EXECUTABLE} "${CMAKE_SOURCE_DIR}/res/draw_icons.py" "${QB_ICON_DIR}"
    DEPENDS "${CMAKE_SOURCE_DIR}/res/draw_icons.py"
    COMMENT "Drawing the icons")
set_source_files_properties("${CMAKE_SOURCE_DIR}/res/quillbrook.rc" PROPERTIES
    OBJECT_DEPENDS "${QB_ICON_DIR}/quillbrook_large.ico;${QB_ICON_DIR}/quillbrook_small.ico;${CMAKE_SOURCE_DIR}/res/quillbrook.manifest")

# The host: its objects are linked twice, once with symbols and debug information for
# debugging (build/winNN/unstripped), once stripped into the dist folder. Both builds
# of a commit are byte for byte the same wherever they are made: no time stamps, no
# build paths.
set(QB_PROGRAM Quillbrook${QB_WIDTH})
add_library(qb_host OBJECT
    ${QB_CORE_SOURCES}
    audio/find_library_function.cpp
    host/command_table.cpp
    host/main.cpp
    host/main_window.cpp
    host/parent_watcher.cpp
    host/host_globals.cpp
    host/copy_data.cpp
    host/host_end.cpp
    host/reports.cpp
    host/render_command.cpp
    host/music_commands.cpp
    host/watch.cpp
    host/device_commands.cpp
    host/device_loss.cpp
    plugin/editor_window.cpp
    plugin/plugin_commands.cpp
    plugin/instrument_controls.cpp
    plugin/instrument_state.cpp
    plugin/state_file_io.cpp
    common/pending_file.cpp
    res/window_class.cpp
    res/quillbrook.rc)
configure_file(res/version_info.h.in "${CMAKE_BINARY_DIR}/generated/version_info.h" @ONLY)
target_include_directories(qb_host PRIVATE "${CMAKE_SOURCE_DIR}/res" "${QB_ICON_DIR}"
    "${CMAKE_BINARY_DIR}/generated")
target_compile_definitions(qb_host PRIVATE UNICODE _UNICODE)
target_compile_options(qb_host PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${QB_WARNINGS} -g -fno-exceptions -fno-rtti
                              -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                              -ffile-prefix-map=${CMAKE_BINARY_DIR}=build>
    $<$<COMPILE_LANGUAGE:RC>:-I${QB_ICON_DIR} -I${CMAKE_BINARY_DIR}/generated>)
# The programs are optimised for size, but for the render callback's plain loop, which
# is optimised for speed: the size budget holds, and so does the callback's cost.
target_compile_options(qb_host PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Os>)
# Without exceptions nothing unwinds the 32-bit program's frames by their tables (its
# crash handler is a frame of its own), so it carries none.
if(QB_WIDTH EQUAL 32)
    target_compile_options(qb_host PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:-fno-asynchronous-unwind-tables -fno-unwind-tables>)
endif()
set_source_files_properties(player/render_stream.cpp TARGET_DIRECTORY qb_host
    PROPERTIES COMPILE_OPTIONS -O3)
foreach(variant unstripped dist)
    if(variant STREQUAL dist)
        set(target ${QB_PROGRAM})
        set(folder "${QB_DIST_DIR}")
        set(strip -s)
    else()
        set(target ${QB_PROGRAM}_unstripped)
        set(folder "${CMAKE_BINARY_DIR}/unstripped")
        set(strip "")
    endif()
    add_executable(${target} WIN32 $<TARGET_OBJECTS:qb_host>)
    target_link_options(${target} PRIVATE -municode ${QB_STATIC_RUNTIME} ${strip}
        -Wl,--no-insert-timestamp)
    target_link_libraries(${target} PRIVATE qb_bass qb_bassmidi qb_bass_vst)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${folder}"
        OUTPUT_NAME ${QB_PROGRAM})
endforeach()

# Stand-in audio libraries: for tests and the demo only, kept out of the dist folder.
# bassmidi and bass_vst build on bass.dll through its public interface, as the real
# add-ons do.
add_library(qb_standin_common STATIC doubles/standin/trace.cpp doubles/standin/standin_env.cpp)
target_compile_options(qb_standin_common PRIVATE ${QB_WARNINGS})
set(QB_STANDIN_DIR "${CMAKE_BINARY_DIR}/standin")
function(qb_standin lib)
    add_library(standin_${lib} SHARED ${ARGN})
    target_compile_options(standin_${lib} PRIVATE ${QB_WARNINGS})
    target_link_libraries(standin_${lib} PRIVATE qb_standin_common)
    target_link_options(standin_${lib} PRIVATE -Wl,--kill-at ${QB_STATIC_RUNTIME})
    set_target_properties(standin_${lib} PROPERTIES
        OUTPUT_NAME ${lib} PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${QB_STANDIN_DIR}")
endfunction()
qb_standin(bass doubles/standin/bass_standin.cpp doubles/standin/mixer.cpp
    doubles/standin/wav_writer.cpp ${QB_STREAM_MODEL_SOURCES})
qb_standin(bassmidi doubles/standin/bassmidi_standin.cpp ${QB_MIDI_READER_SOURCES})
target_link_libraries(standin_bassmidi PRIVATE qb_bass)
qb_standin(bass_vst doubles/standin/bass_vst_standin.cpp)
target_link_libraries(standin_bass_vst PRIVATE qb_bass)

# Test instruments for the stand-in bass_vst.dll: name, editor size, key that crashes
# (128: none), then any further settings of doubles/instruments/test_synth.cpp.
function(qb_instrument name width height crash_key)
    add_library(${name} SHARED doubles/instruments/test_synth.cpp ${QB_SYNTH_ENGINE_SOURCES}
                               doubles/instruments/synth_editor.cpp)
    target_compile_definitions(${name} PRIVATE UNICODE _UNICODE QB_SYNTH_NAME="${name}"
        QB_EDITOR_WIDTH=${width} QB_EDITOR_HEIGHT=${height} QB_CRASH_KEY=${crash_key} ${ARGN})
    target_compile_options(${name} PRIVATE ${QB_WARNINGS})
    target_link_options(${name} PRIVATE -Wl,--kill-at ${QB_STATIC_RUNTIME})
    target_link_libraries(${name} PRIVATE gdi32)
    set_target_properties(${name} PROPERTIES
        PREFIX "" RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/instruments")
endfunction()
qb_instrument(qb_synth 400 300 128)
qb_instrument(qb_synth_wide 640 480 128)
qb_instrument(qb_synth_plain 0 0 128)
qb_instrument(qb_synth_crash 0 0 60)
qb_instrument(qb_synth_slow 400 300 128 QB_RENDER_MS=4)
qb_instrument(qb_synth_late_size 320 200 128 QB_SIZE_WHEN_OPEN)
qb_instrument(qb_synth_hang_load 400 300 128 QB_HANG_ON_LOAD)
qb_instrument(qb_synth_hang_editor 400 300 128 QB_HANG_IN_EDITOR)
qb_instrument(qb_synth_sends 400 300 128 QB_SEND_TO_EDITOR)
qb_instrument(qb_synth_slow_sends 400 300 128 QB_SEND_TO_EDITOR QB_RENDER_MS=4)
qb_instrument(qb_synth_modal_editor 400 300 128 QB_LOOP_IN_EDITOR_MS=3000)
qb_instrument(qb_synth_hang_exit 400 300 128 QB_HANG_ON_EXIT)
qb_instrument(qb_synth_planted 400 300 128 QB_PLANTED_LIBRARY=L"qb_planted.dll")
qb_instrument(qb_synth_chunk 400 300 128 QB_CHUNKS QB_SYNTH_ID=0x51424B43 QB_SYNTH_VERSION=3)
qb_instrument(qb_synth_grows 400 300 128 QB_RESIZE_AFTER_MS=300)
qb_instrument(qb_synth_delayed 400 300 128 QB_INITIAL_DELAY=480)
qb_instrument(qb_synth_slow_thread_end 400 300 128 QB_SLOW_THREAD_END=1000)

# The client library for controller authors: plain C.
add_library(quillbrook_client STATIC client/quillbrook_client.c client/quillbrook_controls.c
    client/quillbrook_instrument.c client/quillbrook_render.c client/quillbrook_events.c
    ${QB_CLIENT_PORTABLE_SOURCES})
target_compile_definitions(quillbrook_client PRIVATE UNICODE _UNICODE)
target_compile_options(quillbrook_client PRIVATE -Wall -Wextra -std=c99 -pedantic)
target_link_libraries(quillbrook_client PUBLIC user32)

# The reference controller, built on the client library.
add_executable(quillctl
    controller/quillctl.cpp
    controller/commands.cpp
    controller/control_commands.cpp
    controller/instrument_commands.cpp
    controller/music_commands.cpp
    controller/device_commands.cpp
    controller/render_command.cpp
    controller/editor_windows.cpp
    controller/text.cpp)
target_compile_definitions(quillctl PRIVATE UNICODE _UNICODE)
target_compile_options(quillctl PRIVATE ${QB_WARNINGS})
target_link_options(quillctl PRIVATE -municode ${QB_STATIC_RUNTIME})
target_link_libraries(quillctl PRIVATE quillbrook_client)
set_target_properties(quillctl PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/controller")

# A program that exercises the stand-ins through their public interface, for tests.
add_executable(standin_probe doubles/probe/standin_probe.cpp)
target_compile_options(standin_probe PRIVATE ${QB_WARNINGS})
target_link_options(standin_probe PRIVATE ${QB_STATIC_RUNTIME})
target_link_libraries(standin_probe PRIVATE qb_bass qb_bassmidi qb_bass_vst)
set_target_properties(standin_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")

# A test controller on the client library, for cases quillctl never meets.
add_executable(client_driver doubles/client_driver/client_driver.c)
target_compile_definitions(client_driver PRIVATE UNICODE _UNICODE)
target_compile_options(client_driver PRIVATE -Wall -Wextra -std=c99)
target_link_options(client_driver PRIVATE -municode ${QB_STATIC_RUNTIME})
target_link_libraries(client_driver PRIVATE quillbrook_client)
set_target_properties(client_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
