// The two growth directions as the growth runs use them: how a run plants
// its seed, where an escaped walker goes back to, how the seeding circle
// follows the cluster and when the image is complete.
#pragma once

#include "engine/growthrun.h"

namespace zorv::growth {

// Outward from one seed pixel at the centre, until the circle comes within
// 10 pixels of the image border.
struct Centrifugal {
    static constexpr bool SHOWS_HELP = true;
    static constexpr bool OUTWARD = true;
    static constexpr int BACK = -1;  // an escaped walker goes back beside its launch point, up and left
    static constexpr const char* DISTANCE_LABEL = "distancemax";

    // The seeding circle at its starting radius and the seed pixel.
    static void plant(GrowthState& s, HDC windowdc) {
        s.radius = static_cast<int>(std::min(margin(), FAR));
        s.distancemax = 0.0;
        startprogress(s);
        SetPixel(g_vhdc, s.xcenter, s.ycenter, s.frgd);
        if (windowdc && s.xcenter < ClientRes.right && s.ycenter < ClientRes.bottom)
            SetPixel(windowdc, s.xcenter, s.ycenter, s.frgd);
    }

    // The circle stays the margin beyond the farthest distance reached, and never shrinks.
    static void reach(GrowthState& s, double distance) {
        if (distance > s.distancemax) s.distancemax = distance;
        const std::int64_t farthest = truncto(s.distancemax, 0, 4 * FAR);
        if (farthest > s.radius - margin()) s.radius = static_cast<int>(clamp64(farthest + margin(), -FAR, FAR));
    }

    // Within 10 pixels of the border.
    static bool limit(const GrowthState& s) {
        return std::int64_t{s.xcenter} - s.radius < 10 || std::int64_t{s.ycenter} - s.radius < 10;
    }
};

// Inward from a seed ellipse along the image border, until the circle's
// radius falls below 10 pixels.
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

}  // namespace zorv::growth
