/* The small C interface between the stand-in bass_vst.dll and the test instruments.
   An instrument is a DLL that exports QbPluginEntry (undecorated in both widths); the
   stand-in calls it once after loading the DLL and uses the table it returns. All
   functions use the Windows calling convention. */
#ifndef QB_PLUGIN_INTERFACE_H
#define QB_PLUGIN_INTERFACE_H

#include <windows.h>

#define QB_PLUGIN_ENTRY_NAME "QbPluginEntry"
#define QB_PLUGIN_INTERFACE_VERSION 2

/* The editor's size is known only once it is open: until then the size is 0 x 0. */
#define QB_PLUGIN_SIZE_WHEN_OPEN 1

#ifdef __cplusplus
extern "C" {
#endif

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
} QbPluginTable;

typedef const QbPluginTable*(WINAPI* QbPluginEntryProc)(void);

#ifdef __cplusplus
}
#endif

#endif
