#include "host/host_end.h"

#include <excpt.h>

namespace {

LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* exception) {
    EndHost(exception->ExceptionRecord->ExceptionCode);
}

} // namespace

void EndHost(UINT status) {
    TerminateProcess(GetCurrentProcess(), status);
    // TerminateProcess on the own process does not return; should it, nothing else
    // may run.
    for (;;) {
        Sleep(INFINITE);
    }
}

void EndHostOnCrash() {
    // The host has no user to answer a dialog: no crash box, no "insert a disk" box,
    // whatever error mode the controller passed down.
    const UINT mode = SetErrorMode(0);
    SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndOnUnhandledException);
}

#ifdef _WIN64
// The filter of the frame RunEndingOnCrash sets up (its name is given to the assembler,
// so it has C linkage). Called only for an exception no inner frame has taken.
extern "C" LONG QbEndOnCrashFilter(EXCEPTION_POINTERS* exception, void* /*frame*/) {
    EndHost(exception->ExceptionRecord->ExceptionCode);
}

// The frame handler is one scope record of this function's unwind data, so the function
// must stay a function of its own.
__attribute__((noinline)) void RunEndingOnCrash(void (*run)(void* context), void* context) {
    __try1(QbEndOnCrashFilter) run(context);
    __except1
}
#else
namespace {

// A 32-bit frame handler, linked into the thread's chain of them.
struct FrameHandlerRecord {
    FrameHandlerRecord* previous;
    EXCEPTION_DISPOSITION(__cdecl* handler)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);
};

EXCEPTION_DISPOSITION __cdecl EndOnCrashHandler(EXCEPTION_RECORD* record, void* /*frame*/,
                                                CONTEXT* /*context*/, void* /*dispatcher*/) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
        return ExceptionContinueSearch;
    }
    EndHost(record->ExceptionCode);
}

// The chain's head is the first word of the thread's information block, at fs:0.
FrameHandlerRecord* ChainHead() {
    FrameHandlerRecord* head = nullptr;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(FrameHandlerRecord* head) {
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(head) : "memory");
}

} // namespace

void RunEndingOnCrash(void (*run)(void* context), void* context) {
    // The record lives in this frame, below every older one on the stack, as the chain
    // requires.
    FrameHandlerRecord record = {ChainHead(), EndOnCrashHandler};
    SetChainHead(&record);
    run(context);
    SetChainHead(record.previous);
}
#endif
