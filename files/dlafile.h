// The parameter file: an 804-byte record of the settings that shape a
// cluster's look, and the palette.
#pragma once

#include <cstdint>
#include <string>

#pragma pack(push, 1)
struct DLA {
    std::int32_t algorithm;
    std::int32_t growth;
    std::int32_t startradius;
    std::int32_t probability;
    std::int32_t coloring;
    std::int32_t greyscale;
    std::int32_t rback;
    std::int32_t gback;
    std::int32_t bback;
    unsigned char palette[256][3];
};
#pragma pack(pop)
static_assert(sizeof(DLA) == 804);

extern DLA dla;
extern std::string odlatemp;  // the command-line argument

// Option 1: beside the image, tgafile with "dla" as its last three
// characters (or with ".dla" appended when that would be the image itself),
// kept in sdlafile; option 0: sdlafile. Returns 0, 1 (cannot open) or 3
// (write incomplete); on a failure an earlier file at the path is intact.
int writedla(int option);

// Reads odlafile. Returns 0, or 1 when it cannot be read, is not a regular
// file (a named pipe is refused without waiting for a writer) or is not a valid
// parameter file; on 1 no setting changes.
int loaddla();

// At start-up: loads the file named by odlatemp (its outer quotes dropped),
// silently.
void loadcommandline();
