/* Tells a plug-in file's width from its PE header: whether it needs Quillbrook32 or
   Quillbrook64. Portable C, no Windows headers, so it is unit-tested and fuzzed
   natively. */
#ifndef QB_PE_WIDTH_H
#define QB_PE_WIDTH_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* How much of the start of a file qb_pe_width wants to see. */
#define QB_PE_HEAD_BYTES 65536

/* Reads the start of a file (`size` bytes of it, at most QB_PE_HEAD_BYTES are looked
   at). Gives 32 for an x86 DLL, 64 for an x64 DLL, and 0 for anything else, with a
   sentence in `what` (zero-ended, cut to `what_size`) that names what was found. */
int qb_pe_width(const unsigned char* head, size_t size, char* what, size_t what_size);

/* The width of any x86 (32) or x64 (64) Windows image, program or library; else 0. */
int qb_pe_program_width(const unsigned char* head, size_t size);

#ifdef __cplusplus
}
#endif

#endif
