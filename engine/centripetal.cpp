// The centripetal growth run: a seed ellipse along the image border,
// particles launched from a seeding circle inside it that follows the
// cluster inward, until the circle's radius falls below 10 pixels.
#include "engine/growthrun.h"

namespace zorv::growth {
namespace {

GrowthState state;

struct Centripetal {
    static constexpr bool SHOWS_HELP = false;
    static constexpr bool OUTWARD = false;
    static constexpr int BACK = 1;  // an escaped walker goes back beside its launch point, down and right
    static constexpr const char* DISTANCE_LABEL = "distancemin";

    // The seeding circle, its radius taken from the width, and the seed
    // ellipse, 2 pixels wide so no diagonal step crosses it.
    static void plant(GrowthState& s, HDC windowdc) {
        s.radius = static_cast<int>(clamp64(std::int64_t{s.xcenter} - margin(), -FAR, FAR));
        s.distancemin = s.xcenter;
        s.ulx = 1;
        s.uly = 1;
        s.lrx = coordinate(std::int64_t{xres} - 2);
        s.lry = coordinate(std::int64_t{yres} - 2);
        const COLORREF colour = greyscale ? DEBUG_GREY : s.frgd;
        HPEN pen = CreatePen(PS_SOLID, 2, colour);
        HGDIOBJ oldcanvas = SelectObject(g_vhdc, pen);
        Arc(g_vhdc, s.ulx, s.uly, s.lrx, s.lry, 1, 1, 1, 1);
        SelectObject(g_vhdc, oldcanvas);
        HGDIOBJ oldwindow = SelectObject(windowdc, pen);
        Arc(windowdc, s.ulx, s.uly, s.lrx, s.lry, 1, 1, 1, 1);
        SelectObject(windowdc, oldwindow);
        DeleteObject(pen);
        startprogress(s);
    }

    // The circle stays the margin inside the nearest distance reached, and never grows.
    static void reach(GrowthState& s, double distance) {
        if (distance < s.distancemin) s.distancemin = distance;
        const std::int64_t nearest = truncto(s.distancemin, -4 * FAR, 4 * FAR);
        if (nearest < s.radius + margin()) s.radius = static_cast<int>(clamp64(nearest - margin(), -FAR, FAR));
    }

    static bool limit(const GrowthState& s) { return s.radius < 10; }
};

}  // namespace
}  // namespace zorv::growth

GrowthState& centripetalstate() { return zorv::growth::state; }

int dla_centripetal() { return zorv::growth::run<zorv::growth::Centripetal>(zorv::growth::state); }
