/* The small C interface between the stand-in bass_vst.dll and the test instruments.
   An instrument is a DLL that exports QbPluginEntry (undecorated in both widths); the
   stand-in calls it once after loading the DLL and uses the table it returns. All
   functions use the Windows calling convention. */
#ifndef QB_PLUGIN_INTERFACE_H
#define QB_PLUGIN_INTERFACE_H

#include <windows.h>

#define QB_PLUGIN_ENTRY_NAME "QbPluginEntry"
#define QB_PLUGIN_INTERFACE_VERSION 3

/* The editor's size is known only once it is open: until then the size is 0 x 0. */
#define QB_PLUGIN_SIZE_WHEN_OPEN 1

#ifdef __cplusplus
extern "C" {
#endif

/* The library's function an instrument calls to have its editor resized. */
typedef void(WINAPI* QbSizeEditorProc)(void* hostData, DWORD width, DWORD height);

/* The longest program name, ending zero included. */
#define QB_PLUGIN_NAME_CHARS 24

typedef struct QbPluginTable {
    DWORD interfaceVersion; /* QB_PLUGIN_INTERFACE_VERSION */
    const char* name;
    DWORD uniqueId;
    DWORD editorWidth; /* 0 when the instrument has no editor */
    DWORD editorHeight;

    /* Makes an instance rendering at sampleRate, 2 channels of float. */
    void*(WINAPI* create)(DWORD sampleRate);
    /* One MIDI event in the numbering of the event records (note, sustain, ...). */
    void(WINAPI* processEvent)(void* instance, DWORD channel, DWORD event, DWORD param);
    /* Writes frameCount interleaved stereo frames. */
    void(WINAPI* render)(void* instance, float* frames, DWORD frameCount);
    /* Opens the editor as a child of parent; returns its window or null. */
    HWND(WINAPI* openEditor)(void* instance, HWND parent);
    /* Closes the editor if open and releases the instance. */
    void(WINAPI* destroy)(void* instance);
    /* Closes the editor if open; null when there is no editor. */
    void(WINAPI* closeEditor)(void* instance);
    DWORD flags; /* QB_PLUGIN_SIZE_WHEN_OPEN */

    /* Parameters (values 0 to 1) and programs; counts of 0 when there are none. */
    DWORD paramCount;
    float(WINAPI* getParam)(void* instance, DWORD index);
    void(WINAPI* setParam)(void* instance, DWORD index, float value);
    /* Writes the name, unit and display text, 16 characters each with the zero. */
    void(WINAPI* describeParam)(void* instance, DWORD index, char* name, char* unit, char* display);
    DWORD programCount;
    DWORD(WINAPI* getProgram)(void* instance);
    void(WINAPI* setProgram)(void* instance, DWORD index);
    /* Writes the program's name (QB_PLUGIN_NAME_CHARS with the zero). */
    void(WINAPI* programName)(void* instance, DWORD index, char* name);
    /* The whole bank as one chunk; both null when the instrument keeps no chunks.
       getChunk gives the chunk's size and writes it when `buffer` has room for it;
       setChunk gives false for a chunk that is not the instrument's. */
    DWORD(WINAPI* getChunk)(void* instance, void* buffer, DWORD capacity);
    BOOL(WINAPI* setChunk)(void* instance, const void* chunk, DWORD length);
    /* Gives the instrument the library's function for resizing its editor. */
    void(WINAPI* attachHost)(void* instance, QbSizeEditorProc sizeEditor, void* hostData);
    DWORD version;
    DWORD initialDelay; /* frames of latency: the sound of each event comes that much later */
} QbPluginTable;

typedef const QbPluginTable*(WINAPI* QbPluginEntryProc)(void);

#ifdef __cplusplus
}
#endif

#endif
