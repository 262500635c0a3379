/* What a Quillbrook host and its controllers agree on: the interface version, the
   command codes, the window classes and the reports. Plain C without Windows headers,
   used by the host, the client library, quillctl and the tests (the end-to-end tests
   read it with tests/e2e/protocol.py). A new command gets its code here. */
#ifndef QUILLBROOK_PROTOCOL_H
#define QUILLBROOK_PROTOCOL_H

/* The interface version a controller passes as v=; the host refuses higher ones. */
#define QB_INTERFACE_VERSION 3

/* Command codes, in the copy-data record's dwData. Every other code does nothing. */
#define QB_CODE_LOAD_SONG 1   /* payload: path of a Standard MIDI File */
#define QB_CODE_PLAY 2        /* payload: none */
#define QB_CODE_STOP 3        /* payload: none */
#define QB_CODE_FREE_STREAM 4 /* payload: none */
#define QB_CODE_LOAD_PLUGIN 5 /* payload: path of a VST instrument plug-in library */
#define QB_CODE_SHOW_EDITOR 6 /* payload: none */
#define QB_CODE_QUIT 7        /* payload: none */

/* A payload string, ending zero included, must fit in this many UTF-16 characters. */
#define QB_PAYLOAD_CHARS 1024

/* Window classes; the main window's title is its class name. */
#define QB_MAIN_CLASS_64 L"Quillbrook64"
#define QB_MAIN_CLASS_32 L"Quillbrook32"
#define QB_EDITOR_CLASS L"QuillbrookEmbed"

/* The editor report's two texts. (The song report repeats the load song payload.) */
#define QB_REPORT_HAS_EDITOR L"TRUE"
#define QB_REPORT_NO_EDITOR L"FALSE"

/* The two reports. */
typedef enum QbReportKind {
    QB_REPORT_SONG = 'S',  /* to the window of hwndpf= */
    QB_REPORT_EDITOR = 'E' /* to the window of hwndee= */
} QbReportKind;

#endif
