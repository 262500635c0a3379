# The portable sources, each listed once: the native build (tests, fuzzing, benchmarks)
# and the Windows build (the programs, the stand-ins) both take them from here.

# The host's and the player's portable code: command line, payloads, the command
# queue, the player state, the render callback, the song and instrument commands, the
# live MIDI queue, the state file format and the WAV encoder.
set(QB_CORE_SOURCES
    host/command_line.cpp
    host/command_queue.cpp
    host/payload.cpp
    host/payload_words.cpp
    host/midi_payload.cpp
    audio/further_functions.cpp
    player/instrument.cpp
    player/jump.cpp
    player/live_midi.cpp
    player/output_stream.cpp
    player/player_state.cpp
    player/render_stream.cpp
    player/render_steps.cpp
    player/render_controlled.cpp
    player/event_controls.cpp
    player/event_commands.cpp
    player/song_marks.cpp
    player/watch_log.cpp
    player/song_commands.cpp
    player/transport.cpp
    player/wav_encoder.cpp
    player/song_render.cpp
    host/render_options.cpp
    plugin/state_file.cpp)

# The client library's portable part: the plug-in width reader.
set(QB_CLIENT_PORTABLE_SOURCES client/pe_width.c)

# The portable parts of the test doubles: the stand-in MIDI file reader, the stream
# model and the test instruments' synth.
set(QB_MIDI_READER_SOURCES doubles/standin/midi_file.cpp)
# The one model of bass.dll's streams, syncs and mixing: the stand-in bass.dll and the
# native fake of the libraries are both layers over it.
set(QB_STREAM_MODEL_SOURCES doubles/standin/stream_core.cpp)
set(QB_SYNTH_ENGINE_SOURCES doubles/instruments/synth_engine.cpp
    doubles/instruments/synth_programs.cpp)

# Every source finds the others by their path from the repository root; the client
# library's and the protocol's headers, shipped to controller authors, by name.
include_directories("${CMAKE_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/protocol")
