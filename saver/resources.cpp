// The saver's resources: the icon "VORMIXICON", a 32 x 32 true-colour
// picture of a small cluster on black.
#include <cmath>

#include "canvas/defpalette.h"
#include "saver/saver.h"

namespace {

// drawicon paints eight branching arms from the centre, coloured from the
// default palette by distance, the way the saver colours a growing cluster.
IconResource drawicon() {
    constexpr int size = 32;
    IconResource icon;
    icon.width = size;
    icon.height = size;
    icon.pixels.assign(size * size, RGB(0, 0, 0));
    auto plot = [&](double x, double y) {
        const int ix = static_cast<int>(std::lround(x)), iy = static_cast<int>(std::lround(y));
        if (ix < 0 || iy < 0 || ix >= size || iy >= size) return;
        const double d = std::hypot(ix - 15.5, iy - 15.5);
        const int entry = 1 + static_cast<int>(d * 14.0) % 255;
        icon.pixels[iy * size + ix] = RGB(defaultpalette[entry][0], defaultpalette[entry][1], defaultpalette[entry][2]);
    };
    const double pi = 3.141592653589793;
    for (int arm = 0; arm < 8; ++arm) {
        const double a = arm * pi / 4.0;
        for (int r = 0; r <= 14; ++r) {
            const double x = 15.5 + r * std::cos(a), y = 15.5 + r * std::sin(a);
            plot(x, y);
            // Side twigs halfway out and near the tip.
            if (r == 6 || r == 11)
                for (int t = 1; t <= 3; ++t) {
                    plot(x + t * std::cos(a + pi / 4.0), y + t * std::sin(a + pi / 4.0));
                    plot(x + t * std::cos(a - pi / 4.0), y + t * std::sin(a - pi / 4.0));
                }
        }
    }
    return icon;
}

const IconResource vormixicon = drawicon();

}  // namespace

const Module saverModule{
    "zorv-dla-ss",
    {},
    {},
    {{0, "VORMIXICON", &vormixicon}},
    {},
};
