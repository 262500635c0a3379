#include "pe_width.h"

#include <stdio.h>

#define MACHINE_X86 0x014C
#define MACHINE_X64 0x8664
#define CHARACTERISTIC_DLL 0x2000
#define OPTIONAL_MAGIC_PE32 0x010B
#define OPTIONAL_MAGIC_PE32_PLUS 0x020B

static unsigned read16(const unsigned char* at) {
    return (unsigned)at[0] | (unsigned)at[1] << 8;
}

static unsigned long read32(const unsigned char* at) {
    return (unsigned long)at[0] | (unsigned long)at[1] << 8 | (unsigned long)at[2] << 16 |
           (unsigned long)at[3] << 24;
}

static int say(char* what, size_t what_size, const char* text, unsigned long value) {
    if (what != NULL && what_size > 0) {
        snprintf(what, what_size, text, value);
    }
    return 0;
}

static const char* machine_name(unsigned machine) {
    switch (machine) {
    case 0xAA64:
        return "ARM64";
    case 0x01C4:
        return "ARM";
    case 0x0200:
        return "Itanium";
    default:
        return NULL;
    }
}

/* The width of an x86 or x64 image, program or library; its characteristics go to
   `characteristics`. */
static int image_width(const unsigned char* head, size_t size, unsigned* characteristics_out,
                       char* what, size_t what_size) {
    unsigned long header;
    unsigned machine;
    unsigned characteristics;
    unsigned magic;
    int width;
    if (size > QB_PE_HEAD_BYTES) {
        size = QB_PE_HEAD_BYTES;
    }
    if (head == NULL || size < 64 || head[0] != 'M' || head[1] != 'Z') {
        return say(what, what_size, "not a Windows program or library (no MZ header)", 0);
    }
    header = read32(head + 60);
    /* The PE signature, the file header (20 bytes) and the optional header's magic. */
    if (header > size - 4 || size - header < 4 + 20 + 2) {
        return say(what, what_size,
                   "an MZ file whose PE header (at byte %lu) is missing or cut short", header);
    }
    if (read32(head + header) != 0x00004550UL) {
        return say(what, what_size, "an MS-DOS program, not a Windows library (no PE header)", 0);
    }
    machine = read16(head + header + 4);
    characteristics = read16(head + header + 4 + 18);
    magic = read16(head + header + 24);
    if (machine == MACHINE_X86 && magic == OPTIONAL_MAGIC_PE32) {
        width = 32;
    } else if (machine == MACHINE_X64 && magic == OPTIONAL_MAGIC_PE32_PLUS) {
        width = 64;
    } else if (machine == MACHINE_X86 || machine == MACHINE_X64) {
        return say(what, what_size,
                   "a damaged Windows file (machine 0x%04lX with an optional header that does "
                   "not match it)",
                   machine);
    } else if (machine_name(machine) != NULL) {
        if (what != NULL && what_size > 0) {
            snprintf(what, what_size, "a library for %s processors, which neither host can load",
                     machine_name(machine));
        }
        return 0;
    } else {
        return say(what, what_size,
                   "a Windows file for another processor (machine 0x%04lX), which neither host "
                   "can load",
                   machine);
    }
    *characteristics_out = characteristics;
    return width;
}

int qb_pe_width(const unsigned char* head, size_t size, char* what, size_t what_size) {
    unsigned characteristics = 0;
    const int width = image_width(head, size, &characteristics, what, what_size);
    if (width == 0) {
        return 0;
    }
    if ((characteristics & CHARACTERISTIC_DLL) == 0) {
        return say(what, what_size, "a %lu-bit Windows program (.exe), not a plug-in library",
                   (unsigned long)width);
    }
    say(what, what_size, "a %lu-bit Windows library", (unsigned long)width);
    return width;
}

int qb_pe_program_width(const unsigned char* head, size_t size) {
    unsigned characteristics = 0;
    return image_width(head, size, &characteristics, NULL, 0);
}
