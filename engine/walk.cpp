#include "engine/walk.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>

namespace zorv::walk {
namespace {

// Walkers on other threads may be reading the word: it changes in one store.
void setbit(std::uint64_t* words, std::size_t stride, int x, int y, bool on) {
    std::uint64_t& word = words[static_cast<std::size_t>(y) * stride + (static_cast<unsigned>(x) >> 6)];
    const std::uint64_t mask = std::uint64_t{1} << (x & 63);
    std::atomic_ref<std::uint64_t>(word).store(on ? word | mask : word & ~mask, std::memory_order_relaxed);
}

bool inside(const ContactMap& map, int x, int y) {
    return static_cast<unsigned>(x) < static_cast<unsigned>(map.width) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(map.height);
}

// The near bit of one pixel, from the cluster map.
bool nearat(const ContactMap& map, int x, int y) {
    if (x == 0 || y == 0 || x == map.width - 1 || y == map.height - 1) return true;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if ((dx || dy) && testbit(map.cluster.data(), map.stride, x + dx, y + dy)) return true;
    return false;
}

// The row with every bit moved one pixel left and one right, ORed: the
// pixels whose left or right neighbour is set. Bits past the width are 0.
void sideways(const std::uint64_t* row, std::size_t stride, std::uint64_t* out) {
    for (std::size_t i = 0; i < stride; ++i) {
        const std::uint64_t left = i > 0 ? row[i - 1] : 0, right = i + 1 < stride ? row[i + 1] : 0;
        out[i] = (row[i] << 1) | (left >> 63) | (row[i] >> 1) | (right << 63);
    }
}

// The near map from the cluster map: a pixel's neighbours are its left and
// right in its own row and three each in the rows above and below.
void makenear(ContactMap& map) {
    const std::size_t stride = map.stride, rows = static_cast<std::size_t>(map.height);
    const std::uint64_t* c = map.cluster.data();
    std::vector<std::uint64_t> side(stride * rows);
    for (std::size_t y = 0; y < rows; ++y) sideways(c + stride * y, stride, side.data() + stride * y);
    map.near.assign(stride * rows, 0);
    for (std::size_t y = 0; y < rows; ++y) {
        std::uint64_t* out = map.near.data() + stride * y;
        for (std::size_t i = 0; i < stride; ++i) {
            std::uint64_t v = side[stride * y + i];
            if (y > 0) v |= side[stride * (y - 1) + i] | c[stride * (y - 1) + i];
            if (y + 1 < rows) v |= side[stride * (y + 1) + i] | c[stride * (y + 1) + i];
            out[i] = v;
        }
    }
    // The border's neighbours lie partly off the canvas.
    for (int x = 0; x < map.width; ++x) {
        setbit(map.near.data(), stride, x, 0, true);
        setbit(map.near.data(), stride, x, map.height - 1, true);
    }
    for (int y = 0; y < map.height; ++y) {
        setbit(map.near.data(), stride, 0, y, true);
        setbit(map.near.data(), stride, map.width - 1, y, true);
    }
}

void makemaps(ContactMap& map, HDC canvas, COLORREF background, bool neighbours) {
    map.width = canvas->width;
    map.height = canvas->height;
    map.stride = (static_cast<std::size_t>(map.width) + 63) / 64;
    map.cluster.assign(map.stride * static_cast<std::size_t>(map.height), 0);
    for (int y = 0; y < map.height; ++y) {
        const COLORREF* row = canvas->bits + static_cast<std::size_t>(y) * static_cast<unsigned>(map.width);
        std::uint64_t* out = map.cluster.data() + map.stride * static_cast<std::size_t>(y);
        for (int x0 = 0; x0 < map.width; x0 += 64) {
            const int n = std::min(64, map.width - x0);
            std::uint64_t word = 0;
            for (int i = 0; i < n; ++i) word |= std::uint64_t{row[x0 + i] != background} << i;
            out[x0 >> 6] = word;
        }
    }
    map.population = 0;
    for (std::uint64_t word : map.cluster) map.population += std::popcount(word);
    map.near.clear();
    if (neighbours) makenear(map);
    map.bits = canvas->bits;
    map.version = platform::SurfaceVersion(canvas);
    map.background = background;
    map.valid = true;
    ++map.generation;
}

// The largest dx >= 0 with dx * dx <= n, or -1 when n < 0.
std::int64_t rootfloor(std::int64_t n) {
    if (n < 0) return -1;
    auto r = static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)));
    while (r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return r;
}

// Calls f(x, y) for every pixel of the ring on the canvas. Outward, the
// walker stays within the disc d2 <= bound2 and the ring is the pixels
// outside it next to one inside; inward, it stays out of the disc
// d2 < bound2 and the ring is the pixels of that disc next to one outside.
// Row by row: halfwidth(dy) is the largest |dx| of the disc in that row.
template <class F>
void forring(const ContactMap& map, const ContactMap::Ring& ring, F&& f) {
    const std::int64_t limit = ring.outward ? ring.bound2 : ring.bound2 - 1;
    if (limit < 0) return;
    auto halfwidth = [limit](std::int64_t dy) { return rootfloor(limit - dy * dy); };
    const std::int64_t reach = rootfloor(limit) + 1;
    const std::int64_t top = std::max<std::int64_t>(ring.ycenter - reach, 0);
    const std::int64_t bottom = std::min<std::int64_t>(ring.ycenter + reach, map.height - 1);
    for (std::int64_t y = top; y <= bottom; ++y) {
        const std::int64_t dy = y - ring.ycenter;
        const std::int64_t here = halfwidth(dy), above = halfwidth(dy - 1), below = halfwidth(dy + 1);
        std::int64_t from, to;  // the ring's |dx| in this row
        if (ring.outward) {
            from = here + 1;
            to = std::max({here, above, below}) + 1;
        } else {
            from = std::max<std::int64_t>(std::min({here, above, below}), 0);
            to = here;
        }
        for (std::int64_t adx = from; adx <= to; ++adx)
            for (std::int64_t x : {ring.xcenter - adx, ring.xcenter + adx}) {
                if (x >= 0 && x < map.width) f(static_cast<int>(x), static_cast<int>(y));
                if (adx == 0) break;
            }
    }
}

const std::vector<std::uint64_t>& rulemap(const ContactMap& map, int rule) {
    return rule == LANDING ? map.cluster : map.near;
}

// The folded map has a border of one pixel all round, every bit of it set:
// pixel (x, y) of the canvas is its bit (x + 1, y + 1).
void setfolded(ContactMap& map, int x, int y, bool on) { setbit(map.folded.data(), map.foldedstride, x + 1, y + 1, on); }
bool testfolded(const ContactMap& map, int x, int y) {
    return testbit(map.folded.data(), map.foldedstride, x + 1, y + 1);
}

// The rule's map with a border of set bits, as the folded map starts.
void makefolded(ContactMap& map, const std::vector<std::uint64_t>& contact) {
    map.pitchshift = pitchshiftfor(map.width);
    map.foldedstride = std::size_t{1} << (map.pitchshift - 6);
    map.folded.assign(map.foldedstride * (static_cast<std::size_t>(map.height) + 2), 0);
    for (int x = -1; x <= map.width; ++x) {
        setfolded(map, x, -1, true);
        setfolded(map, x, map.height, true);
    }
    for (int y = 0; y < map.height; ++y) {
        setfolded(map, -1, y, true);
        setfolded(map, map.width, y, true);
        for (int x = 0; x < map.width; ++x)
            if (testbit(contact.data(), map.stride, x, y)) setfolded(map, x, y, true);
    }
}

}  // namespace

void syncmap(ContactMap& map, HDC canvas, COLORREF background, bool neighbours) {
    const bool fresh = map.valid && map.bits == canvas->bits && map.width == canvas->width &&
                       map.height == canvas->height && map.version == platform::SurfaceVersion(canvas) &&
                       map.background == background;
    if (!fresh) {
        makemaps(map, canvas, background, neighbours);
    } else if (neighbours && map.near.empty()) {
        makenear(map);
    }
}

void plot(ContactMap& map, HDC canvas, int x, int y, COLORREF colour) {
    const bool insync = map.valid && map.bits == canvas->bits && map.version == platform::SurfaceVersion(canvas);
    SetPixel(canvas, x, y, colour);
    if (!insync || !inside(map, x, y)) return;
    // A colour equal to the background leaves the pixel empty space.
    const bool on = GetPixel(canvas, x, y) != map.background;
    if (on != testbit(map.cluster.data(), map.stride, x, y)) {
        setbit(map.cluster.data(), map.stride, x, y, on);
        map.population += on ? 1 : -1;
        const bool folds = map.ring.rule >= 0 && map.ring.generation == map.generation;
        if (folds && map.ring.rule == LANDING) setfolded(map, x, y, on || inring(map.ring, x, y));
        if (!map.near.empty())
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((dx || dy) && inside(map, x + dx, y + dy)) {
                        const bool near = nearat(map, x + dx, y + dy);
                        setbit(map.near.data(), map.stride, x + dx, y + dy, near);
                        if (folds && map.ring.rule == NEIGHBOURS_AFTER)
                            setfolded(map, x + dx, y + dy, near || inring(map.ring, x + dx, y + dy));
                    }
    }
    map.version = platform::SurfaceVersion(canvas);
}

bool agrees(const ContactMap& map, HDC canvas, COLORREF background) {
    if (!map.valid || map.width != canvas->width || map.height != canvas->height) return false;
    for (int y = 0; y < map.height; ++y)
        for (int x = 0; x < map.width; ++x) {
            const bool on = GetPixel(canvas, x, y) != background;
            if (testbit(map.cluster.data(), map.stride, x, y) != on) return false;
        }
    if (map.ring.rule >= 0 && map.ring.generation == map.generation) {
        const std::vector<std::uint64_t>& contact = rulemap(map, map.ring.rule);
        for (int y = 0; y < map.height; ++y)
            for (int x = 0; x < map.width; ++x)
                if (testfolded(map, x, y) != (testbit(contact.data(), map.stride, x, y) || inring(map.ring, x, y)))
                    return false;
        for (int x = -1; x <= map.width; ++x)
            if (!testfolded(map, x, -1) || !testfolded(map, x, map.height)) return false;
        for (int y = 0; y < map.height; ++y)
            if (!testfolded(map, -1, y) || !testfolded(map, map.width, y)) return false;
    }
    if (map.near.empty()) return true;
    for (int y = 0; y < map.height; ++y)
        for (int x = 0; x < map.width; ++x) {
            bool want = x == 0 || y == 0 || x == map.width - 1 || y == map.height - 1;
            for (int dy = -1; dy <= 1 && !want; ++dy)
                for (int dx = -1; dx <= 1 && !want; ++dx)
                    if ((dx || dy) && GetPixel(canvas, x + dx, y + dy) != background) want = true;
            if (testbit(map.near.data(), map.stride, x, y) != want) return false;
        }
    return true;
}

bool inring(const ContactMap::Ring& ring, int x, int y) {
    const std::int64_t dx = std::abs(std::int64_t{x} - ring.xcenter), dy = std::abs(std::int64_t{y} - ring.ycenter);
    const std::int64_t d2 = dx * dx + dy * dy;
    if (ring.outward) {
        // Outside, with the neighbour nearest the centre inside.
        const std::int64_t nx = std::max<std::int64_t>(dx - 1, 0), ny = std::max<std::int64_t>(dy - 1, 0);
        return d2 > ring.bound2 && nx * nx + ny * ny <= ring.bound2;
    }
    // Inside the escape disc, with the neighbour farthest from the centre outside it.
    return d2 < ring.bound2 && (dx + 1) * (dx + 1) + (dy + 1) * (dy + 1) >= ring.bound2;
}

void syncring(ContactMap& map, int rule, int xcenter, int ycenter, bool outward, std::int64_t bound2) {
    ContactMap::Ring want{rule, xcenter, ycenter, bound2, outward, map.generation};
    if (rule == NEIGHBOURS_BEFORE || (outward && bound2 < 0) || !map.valid ||
        (rule == NEIGHBOURS_AFTER && map.near.empty())) {
        map.ring = ContactMap::Ring{};
        return;
    }
    ContactMap::Ring& have = map.ring;
    if (have.rule == want.rule && have.generation == want.generation && have.xcenter == want.xcenter &&
        have.ycenter == want.ycenter && have.bound2 == want.bound2 && have.outward == want.outward)
        return;
    const std::vector<std::uint64_t>& contact = rulemap(map, rule);
    if (have.rule != want.rule || have.generation != want.generation) {
        makefolded(map, contact);
    } else {
        // Only the ring moves: its old pixels go back to what the rule's map says.
        forring(map, have, [&](int x, int y) { setfolded(map, x, y, testbit(contact.data(), map.stride, x, y)); });
    }
    forring(map, want, [&](int x, int y) { setfolded(map, x, y, true); });
    have = want;
}

void release(ContactMap& map) { map = ContactMap{}; }

}  // namespace zorv::walk
