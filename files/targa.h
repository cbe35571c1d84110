// The Targa image writer: the whole canvas as uncompressed 24-bit, top row
// first, with a version-2 footer.
#pragma once

#include <cstdint>

#include "platform/win32.h"

#pragma pack(push, 1)
struct TGAHEADER {
    char idfield;
    char colormaptype;
    char imagetype;
    std::uint16_t colormapstart;
    std::uint16_t colormaplength;
    char colormapbits;
    std::uint16_t xstart;
    std::uint16_t ystart;
    std::uint16_t width;
    std::uint16_t height;
    char bits;
    char descriptor;
};
struct TGAFOOTER {
    std::uint32_t extoffset;
    std::uint32_t devdiroffset;
    char sig[18];
};
#pragma pack(pop)
static_assert(sizeof(TGAHEADER) == 18);
static_assert(sizeof(TGAFOOTER) == 26);

// Failure texts of the two writers, indexed by result - 1.
extern const char* const saveerror[3];

// Writes xres x yres pixels of hdc to tgafile. Returns 0, 1 (cannot open),
// 2 (no memory for the row buffer) or 3 (a write failed).
int writetga(HDC hdc);
