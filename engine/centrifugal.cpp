// The centrifugal growth run: one seed pixel at the centre, particles
// launched from a seeding circle that follows the cluster outward, until the
// circle comes within 10 pixels of the image border. Also the parts both
// runs share: settling a particle and the texts they show.
#include <climits>

#include "engine/directions.h"

const char* const HELP_TEXT =
    "Start or resume using 'Plot Image' (F1)\n\n"
    "Stop with PAUSE key or mouse click\n\n"
    "Rendering stops automatically when seeding\n"
    "   circle approaches limit\n\n"
    "Press D to toggle debugging information:\n"
    "   animated seeding circle, elapsed time,\n"
    "   and values of variables";

std::string statisticstext(const GrowthState& s, const char* distancelabel, double reach) {
    const DWORD elapsed = GetTickCount() - s.starttime;  // one wrap of the counter does no harm
    const unsigned totalseconds = elapsed / 1000;
    const unsigned hours = totalseconds / 3600;
    const unsigned minutesinseconds = totalseconds % 3600;
    const unsigned minutes = minutesinseconds / 60;
    const unsigned seconds = minutesinseconds % 60;
    const long long distance = zorv::growth::truncto(reach, LLONG_MIN / 2, LLONG_MAX / 2);

    std::array<char, 512> buffer{};
    std::snprintf(buffer.data(), buffer.size(),
                  "hours: %u\nminutes: %u\nseconds: %u\n\nstartradius: %d\nstickiness: %d %c\n\n"
                  "%s: %lld\nradius: %d\npixel count: %lld\nrandom walk moves: %lld",
                  hours, minutes, seconds, startradius, probability, '%', distancelabel, distance, s.radius,
                  static_cast<long long>(s.pixelcount), static_cast<long long>(s.moves));
    std::string text = buffer.data();
    text += algorithm == 0   ? "\n\nDLA algorithm: Durero-Rudo"
            : algorithm == 1 ? "\n\nDLA algorithm: Fractint"
                             : "\n\nDLA algorithm: Fractint with Spaces";
    text += coloring == 0 ? "\n\nColoring algorithm: pixel count" : "\n\nColoring algorithm: distance from center";
    return text;
}

void (*seedplanted)() = nullptr;

namespace zorv::growth {

zorv::walk::ContactMap& canvasmap() {
    static zorv::walk::ContactMap map;
    return map;
}

bool stopsthewalk(HWND hwnd, MSG& msg, HCURSOR hourglass) {
    TranslateMessage(&msg);
    PeekMessageA(&msg, hwnd, INPUT_FIRST, INPUT_LAST, PM_REMOVE);
    if ((msg.message == WM_KEYDOWN && msg.wParam == VK_PAUSE) || msg.message == WM_LBUTTONDOWN ||
        msg.message == WM_RBUTTONDOWN)
        return true;
    if (msg.message == WM_MOUSEMOVE) SetCursor(hourglass);
    return false;
}

void findcontact(GrowthState& s, const zorv::walk::WalkEnd& end) {
    // The neighbours in the order the rules read them.
    static constexpr int ORDER[8][2] = {{1, 1}, {1, 0}, {1, -1}, {0, 1}, {0, -1}, {-1, 1}, {-1, 0}, {-1, -1}};
    s.foundx = end.xpos2;
    s.foundy = end.ypos2;
    if (algorithm == 0) return;
    const int x = algorithm == 1 ? end.xpos1 : end.xpos2, y = algorithm == 1 ? end.ypos1 : end.ypos2;
    for (const auto& [dx, dy] : ORDER)
        // A read off the canvas gives CLR_INVALID, which is no background.
        if (GetPixel(g_vhdc, x + dx, y + dy) != bkgd) {
            s.foundx = x + dx;
            s.foundy = y + dy;
            return;
        }
}

void settle(GrowthState& s, const zorv::walk::WalkEnd& end, double distance, HDC windowdc, int grey) {
    if (greyscale) {
        const int greyindex = 128 + 20 * grey;
        s.frgd = RGB(greyindex, greyindex, greyindex);
    } else {
        if (coloring == 1) s.color = static_cast<int>(truncto(distance, 0, 4 * FAR) % 255) + 1;
        s.frgd = palettecolor(s.color);
    }

    zorv::walk::plot(canvasmap(), g_vhdc, end.xpos1, end.ypos1, s.frgd);
    s.restx = end.xpos1;
    s.resty = end.ypos1;
    s.restindex = greyscale ? 0 : s.color;
    s.reststeps = end.steps;
    s.restescapes = end.escapes;
    s.restrefused = end.refused;
    if (windowdc && s.xcenter < ClientRes.right && s.ycenter < ClientRes.bottom)
        SetPixel(windowdc, end.xpos1, end.ypos1, s.frgd);

    if (coloring == 0 && ++s.colorcount == 64 * s.colorfactor) {
        s.colorcount = 0;
        if (++s.color == 256) {
            s.color = 1;
            // Past 2^24 a pass would take more particles than any image
            // holds; stopping there keeps 64 x colorfactor within int.
            if (s.colorfactor < (1 << 24)) s.colorfactor *= 4;
        }
    }

    if (debug) {
        ++s.pixelcount;
        // The circle lives on the window only, so walkers never take it for cluster.
        drawellipse(windowdc, s.ulx, s.uly, s.lrx, s.lry, 1, bkgd);
        s.ulx = coordinate(std::int64_t{s.xcenter} - s.radius);
        s.uly = coordinate(std::int64_t{s.ycenter} - s.radius);
        s.lrx = coordinate(std::int64_t{s.xcenter} + s.radius);
        s.lry = coordinate(std::int64_t{s.ycenter} + s.radius);
        drawellipse(windowdc, s.ulx, s.uly, s.lrx, s.lry, 1, DEBUG_GREY);
    }
}

namespace {

GrowthState state;

}  // namespace
}  // namespace zorv::growth

GrowthState& centrifugalstate() { return zorv::growth::state; }

int dla_centrifugal() { return zorv::growth::run<zorv::growth::Centrifugal>(zorv::growth::state); }
