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
        COMMAND ${QB_DLLTOOL} ${tool_args} -l "${lib}" -D ${name}.dll
        DEPENDS "${def}"
        COMMENT "Import library for ${name}.dll")
    add_custom_target(import_${name} DEPENDS "${lib}")
    add_library(qb_${name} INTERFACE)
    add_dependencies(qb_${name} import_${name})
    target_link_libraries(qb_${name} INTERFACE "${lib}")
endfunction()

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

# The host.
set(QB_PROGRAM Quillbrook${QB_WIDTH})
add_executable(${QB_PROGRAM} WIN32
    host/main.cpp
    host/main_window.cpp
    host/host_globals.cpp
    host/command_line.cpp
    host/copy_data.cpp
    host/payload.cpp
    player/instrument.cpp
    player/player_state.cpp
    player/render_stream.cpp
    player/song_commands.cpp
    plugin/editor_window.cpp
    plugin/plugin_commands.cpp
    res/quillbrook.rc)
target_include_directories(${QB_PROGRAM} PRIVATE "${CMAKE_SOURCE_DIR}/res" "${QB_ICON_DIR}")
target_compile_definitions(${QB_PROGRAM} PRIVATE UNICODE _UNICODE)
target_compile_options(${QB_PROGRAM} PRIVATE ${QB_WARNINGS} -fno-exceptions -fno-rtti
    $<$<COMPILE_LANGUAGE:RC>:-I${QB_ICON_DIR}>)
target_link_options(${QB_PROGRAM} PRIVATE -municode ${QB_STATIC_RUNTIME})
target_link_libraries(${QB_PROGRAM} PRIVATE qb_bass qb_bassmidi qb_bass_vst)
set_target_properties(${QB_PROGRAM} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${QB_DIST_DIR}")

# Stand-in audio libraries: for tests and the demo only, kept out of the dist folder.
add_library(qb_standin_trace STATIC standin/trace.cpp)
target_compile_options(qb_standin_trace PRIVATE ${QB_WARNINGS})
foreach(lib bass bassmidi bass_vst)
    add_library(standin_${lib} SHARED standin/${lib}_standin.cpp)
    target_compile_options(standin_${lib} PRIVATE ${QB_WARNINGS})
    target_link_libraries(standin_${lib} PRIVATE qb_standin_trace)
    target_link_options(standin_${lib} PRIVATE -Wl,--kill-at ${QB_STATIC_RUNTIME})
    set_target_properties(standin_${lib} PROPERTIES
        OUTPUT_NAME ${lib} PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/standin")
endforeach()

# The reference controller.
add_executable(quillctl
    controller/quillctl.cpp
    controller/host_process.cpp
    controller/report_windows.cpp)
target_compile_definitions(quillctl PRIVATE UNICODE _UNICODE)
target_compile_options(quillctl PRIVATE ${QB_WARNINGS})
target_link_options(quillctl PRIVATE -municode ${QB_STATIC_RUNTIME})
set_target_properties(quillctl PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/controller")
