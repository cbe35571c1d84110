// The interactive program's growth runs. Each call walks one particle to
// rest (or until the user stops it) and returns: 0 when this call reached
// the limit and ended the run, 1 when the user stopped the walk, 2 when a
// stop was already requested on entry; any other value means a particle came
// to rest and the run goes on.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

int dla_centrifugal();
int dla_centripetal();

// A particle came to rest and the run goes on.
constexpr int GROWTH_CONTINUES = 3;

// What a growth run keeps between its calls. Each run has its own copy; the
// centrifugal run follows distancemax, the centripetal one distancemin.
struct GrowthState {
    int xcenter = 0, ycenter = 0;  // centre of the image
    int radius = 0;                // radius of the seeding circle
    double distancemax = 0.0;      // farthest distance of a particle at rest
    double distancemin = 0.0;      // nearest distance of a particle at rest
    COLORREF frgd = 0;             // colour of the pixel being drawn
    int color = 1;                 // palette index of the next particle, 1 to 255
    int colorcount = 0;            // particles drawn with the current index
    int colorfactor = 1;           // particles per index are 64 x colorfactor
    int ulx = 0, uly = 0, lrx = 0, lry = 0;  // box of the debugging circle as last drawn
    std::int64_t pixelcount = 0;   // particles at rest while debugging was on
    std::int64_t moves = 0;        // random-walk steps of the current image
    DWORD starttime = 0;           // tick count at the start of the image
    HCURSOR hourglass = nullptr;   // the wait cursor shown while growing
    HCURSOR cross = nullptr;       // the cursor it replaced, restored at a stop
    // The particle that came to rest in the last call that returned
    // GROWTH_CONTINUES: where it rests, the pixel its contact rule found
    // (cluster, or off the canvas), and the palette index it was drawn in,
    // 0 for a grey shade; and its walk: the steps it took, the times it was
    // put back past its bound and the contacts the stickiness refused.
    int restx = 0, resty = 0;
    int foundx = 0, foundy = 0;
    int restindex = 0;
    std::int64_t reststeps = 0, restescapes = 0, restrefused = 0;
};

// The runs' own state, for the debugging display and for tests.
GrowthState& centrifugalstate();
GrowthState& centripetalstate();

// Called by a run once the seed of a new image is on the canvas, before
// its first particle walks; null by default. The batch tool lists the seed
// pixels from it.
extern void (*seedplanted)();

// The texts the runs show.
extern const char* const HELP_TEXT;
// The statistics box text of a run for its state; distancelabel is
// "distancemax" or "distancemin" and reach the distance it names.
std::string statisticstext(const GrowthState& s, const char* distancelabel, double reach);
