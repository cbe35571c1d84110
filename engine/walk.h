// The random walk of the growth runs, shared by zorv-dla's runs and the
// saver's: a walker launched beside the cluster steps to one of its 8
// neighbours or stays where it is, each with chance 1/9, is put back beside
// its launch point when it strays past its bound, and ends when it touches
// the cluster.
//
// The walk reads contact from bit maps of the cluster kept beside the canvas
// rather than from the canvas's 32-bit pixels: "this pixel is cluster" and,
// for the neighbour rules, "one of my 8 neighbours is cluster or off the
// canvas". The maps are made from the canvas and stamped with its surface
// version; whatever draws on the canvas other than plot() changes the
// version, and the next syncmap() makes the maps again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/random.h"
#include "platform/win32.h"

namespace zorv::walk {

struct ContactMap {
    int width = 0, height = 0;           // the canvas's size
    std::size_t stride = 0;              // 64-bit words per row
    std::vector<std::uint64_t> cluster;  // the pixel differs from the background
    std::vector<std::uint64_t> near;     // a neighbour is cluster or off the canvas; empty until asked for
    std::int64_t population = 0;         // cluster pixels on the canvas
    // What the maps stand for; they are remade when any of it changes.
    const COLORREF* bits = nullptr;
    std::uint64_t version = 0;
    COLORREF background = 0;
    bool valid = false;
    std::uint64_t generation = 0;        // times the maps were made
    // For rules 0 and 2 the walk reads one map, `folded`: the rule's map
    // with the ring of pixels just past the escape bound set as well, and a
    // border of set bits one pixel wide all round the canvas, so it looks at
    // the distance and the canvas's bounds only when it meets a set bit. The
    // ring is the pixels a step from within the bound can reach past it.
    // Pixel (x, y) is its bit (x + 1, y + 1).
    std::vector<std::uint64_t> folded;
    std::size_t foldedstride = 0;        // words per row: a power of two (see packread)
    int pitchshift = 0;                  // log2 of the folded map's pixels per row
    struct Ring {
        int rule = -1;                   // -1: no folded map
        int xcenter = 0, ycenter = 0;
        std::int64_t bound2 = 0;
        bool outward = true;
        std::uint64_t generation = 0;    // the maps' generation it was made from
    } ring;
};

// Makes the maps agree with the canvas for this background, remaking them
// when anything has drawn on the canvas since they were last made or kept.
// neighbours asks for the near map as well.
void syncmap(ContactMap& map, HDC canvas, COLORREF background, bool neighbours);

// Makes the folded map the rule's map with the ring of the escape bound
// bound2 (see escapebound) about (xcenter, ycenter). Rule 1, whose read
// lies before the step, and an outward bound that everything exceeds have
// no folded map.
void syncring(ContactMap& map, int rule, int xcenter, int ycenter, bool outward, std::int64_t bound2);

// Whether pixel (x, y) is in the ring of the map's folded bound.
bool inring(const ContactMap::Ring& ring, int x, int y);

// SetPixel on the canvas that keeps maps which were in step with it in step.
void plot(ContactMap& map, HDC canvas, int x, int y, COLORREF colour);

// Whether the maps hold exactly what the canvas shows, and the folded map
// its rule's map and ring (for tests).
bool agrees(const ContactMap& map, HDC canvas, COLORREF background);

// Frees the maps' memory; the next sync makes them afresh.
void release(ContactMap& map);

inline bool testbit(const std::uint64_t* words, std::size_t stride, int x, int y) {
    return (words[static_cast<std::size_t>(y) * stride + (static_cast<unsigned>(x) >> 6)] >> (x & 63)) & 1u;
}

// The contact rules: the pixel the step lands on, the neighbours of the
// position before the step, the neighbours of the position after it.
enum Rule { LANDING = 0, NEIGHBOURS_BEFORE = 1, NEIGHBOURS_AFTER = 2 };

// One particle's walk.
struct Walker {
    int x, y;              // launch point
    int backx, backy;      // where a walker past its bound is put back
    int xcenter, ycenter;  // centre of the distances
    // The bound on squared distances: an outward walker escapes when its
    // squared distance exceeds it, an inward one when it falls below it.
    // For whole-pixel positions this decides exactly as the distance
    // compared with radius + 2 or radius - 2 would (see escapebound).
    std::int64_t bound2;
    std::uint64_t stick;   // stickthreshold() of the stickiness
};

// The squared-distance bound for a distance bound of radius + 2 (outward)
// or radius - 2 (inward). sqrt(n) > b is n > b^2 and sqrt(n) < b is n < b^2
// for integers n, b >= 0; a negative outward bound is always exceeded, and
// nothing is nearer than a bound of 0 or less.
inline std::int64_t escapebound(bool outward, std::int64_t bound) {
    if (outward) return bound < 0 ? -1 : bound * bound;
    return bound <= 0 ? 0 : bound * bound;
}

// Where a walk stands between two steps.
struct WalkState {
    int xpos2, ypos2;          // the position now: after the last step and any escape
    int xpos1, ypos1;          // the position before the last step
    std::uint64_t rng;         // the step generator's state
    std::int64_t distance2;    // squared distance reached by the last step, before any escape
    std::int64_t steps;        // steps taken
    std::int64_t escapes;      // times put back past the bound
    std::int64_t refused;      // contacts refused by the stickiness draw
};

// A walk about to take its first step from the walker's launch point.
inline WalkState startwalk(const Walker& w, std::uint64_t rng) {
    return WalkState{w.x, w.y, w.x, w.y, rng, 0, 0, 0, 0};
}

struct WalkEnd {
    int xpos1, ypos1;         // the position before the last step: where the particle rests
    int xpos2, ypos2;         // the position after it (and after any escape)
    std::int64_t distance2;   // squared distance reached by the last step, before any escape
    std::int64_t steps;
    std::int64_t escapes;     // times put back past the bound
    std::int64_t refused;     // contacts refused by the stickiness draw
    bool stopped;             // the poll asked to stop
};

inline WalkEnd endof(const WalkState& s, bool stopped) {
    return WalkEnd{s.xpos1, s.ypos1, s.xpos2, s.ypos2, s.distance2, s.steps, s.escapes, s.refused, stopped};
}

// The position a step reads its contact from: the one before the step for
// rule 1, the one after it otherwise.
template <Rule ContactRule>
inline int readx(const WalkState& s) { return ContactRule == NEIGHBOURS_BEFORE ? s.xpos1 : s.xpos2; }
template <Rule ContactRule>
inline int ready(const WalkState& s) { return ContactRule == NEIGHBOURS_BEFORE ? s.ypos1 : s.ypos2; }

// A contact read as a walk records it: the pixel's bit number in a map of
// the canvas with a border of one pixel all round and 2^pitchshift pixels
// per row, as the folded map is laid out, so the folded walk records the
// bit number it reads anyway. 0, the border's corner, stands for a read
// off the canvas, which nothing can change.
constexpr std::uint32_t OFFCANVAS = 0;
inline std::uint32_t packread(int x, int y, int pitchshift) {
    return (static_cast<std::uint32_t>(y + 1) << pitchshift) + static_cast<std::uint32_t>(x + 1);
}
// The smallest pitchshift for a canvas this wide.
inline int pitchshiftfor(int width) {
    int shift = 6;
    while ((1 << shift) < width + 2) ++shift;
    return shift;
}

// Reads one word of a map that another thread may be writing.
inline std::uint64_t loadword(const std::uint64_t& word) {
    return std::atomic_ref<std::uint64_t>(const_cast<std::uint64_t&>(word)).load(std::memory_order_relaxed);
}

// The map a rule reads its contact from.
struct MapView {
    const std::uint64_t* words;
    std::size_t stride;
    unsigned width, height;
    int pitchshift;       // of the recorded reads
    std::int64_t pitch;   // 1 << pitchshift, kept apart so the loop multiplies by it
};
template <Rule ContactRule>
inline MapView viewof(const ContactMap& map) {
    return MapView{ContactRule == LANDING ? map.cluster.data() : map.near.data(), map.stride,
                   static_cast<unsigned>(map.width), static_cast<unsigned>(map.height), pitchshiftfor(map.width),
                   std::int64_t{1} << pitchshiftfor(map.width)};
}

// Takes up to `limit` steps of the walk, stopping early at the first step
// whose read finds contact (a cluster bit, or a position off the canvas);
// the stickiness draw is the caller's. Returns true at such a contact. The
// loop makes no call and keeps its state in registers. With Record, the
// read of every step without contact is written to `record`, packed.
template <bool Outward, Rule ContactRule, bool Record = false>
[[gnu::noinline]] bool steps(WalkState& st, const Walker& w, const MapView& m, std::int64_t limit,
                             std::uint32_t* record = nullptr) {
    // The loop keeps positions relative to the centre, as 64-bit values:
    // the distance needs no subtraction and the positions no sign extension.
    const std::int64_t xc = w.xcenter, yc = w.ycenter, bound2 = w.bound2;
    std::int64_t u2 = st.xpos2 - xc, v2 = st.ypos2 - yc, u1 = st.xpos1 - xc, v1 = st.ypos1 - yc;
    std::uint64_t rng = st.rng;
    std::int64_t distance2 = st.distance2, escapes = st.escapes;
    const std::uint64_t* const words = m.words;
    const std::size_t stride = m.stride;
    const std::uint64_t width = m.width, height = m.height;
    std::uint64_t left = static_cast<std::uint64_t>(limit);
    bool contact = false;
    while (left != 0) {
        --left;
        u1 = u2;
        v1 = v2;
        const std::uint64_t r = zorvsteps(rng);
        u2 += unitstep64(static_cast<std::uint32_t>(r));
        v2 += unitstep64(static_cast<std::uint32_t>(r >> 32));
        distance2 = u2 * u2 + v2 * v2;
        if (Outward ? distance2 > bound2 : distance2 < bound2) {
            u2 = w.backx - xc;
            v2 = w.backy - yc;
            ++escapes;
        }
        const std::int64_t cx = (ContactRule == NEIGHBOURS_BEFORE ? u1 : u2) + xc;
        const std::int64_t cy = (ContactRule == NEIGHBOURS_BEFORE ? v1 : v2) + yc;
        // Off the canvas counts as contact (a negative position is a large unsigned one).
        if (static_cast<std::uint64_t>(cx) >= width || static_cast<std::uint64_t>(cy) >= height) [[unlikely]] {
            contact = true;
            break;
        }
        const std::uint64_t word =
            loadword(words[static_cast<std::size_t>(cy) * stride + (static_cast<std::size_t>(cx) >> 6)]);
        if ((word >> (cx & 63)) & 1u) [[unlikely]] {
            contact = true;
            break;
        }
        if constexpr (Record) *record++ = packread(static_cast<int>(cx), static_cast<int>(cy), m.pitchshift);
    }
    st = WalkState{static_cast<int>(u2 + xc), static_cast<int>(v2 + yc), static_cast<int>(u1 + xc),
                   static_cast<int>(v1 + yc), rng, distance2, st.steps + (limit - static_cast<std::int64_t>(left)),
                   escapes, st.refused};
    return contact;
}

// Whether a walker at (x, y) is past its bound.
inline bool escaped(const Walker& w, bool outward, int x, int y) {
    const std::int64_t dx = std::int64_t{x} - w.xcenter, dy = std::int64_t{y} - w.ycenter;
    return outward ? dx * dx + dy * dy > w.bound2 : dx * dx + dy * dy < w.bound2;
}

// steps() for rules 0 and 2 reading the folded map: while the walker is on
// the canvas, a step can only meet a set bit of it (the cluster, the ring,
// or the border) before its distance or the canvas's bounds can matter;
// then the escape is decided and the contact read from the rule's own map,
// with the bounds. A walk off the canvas ends the call at its contact, and
// goes on with steps(). distance2 is kept only at contact.
template <bool Outward, Rule ContactRule, bool Record = false>
[[gnu::noinline]] bool foldedsteps(WalkState& st, const Walker& w, const MapView& fold, const MapView& m,
                                   std::int64_t limit, std::uint32_t* record = nullptr) {
    static_assert(ContactRule != NEIGHBOURS_BEFORE, "rule 1 reads before the step");
    const std::int64_t xc = w.xcenter, yc = w.ycenter, bound2 = w.bound2;
    std::int64_t u2 = st.xpos2 - xc, v2 = st.ypos2 - yc, u1 = st.xpos1 - xc, v1 = st.ypos1 - yc;
    std::uint64_t rng = st.rng;
    std::int64_t distance2 = st.distance2, escapes = st.escapes;
    // The centre in the folded map's coordinates, one pixel in from its
    // corner; a pixel's bit number is y * pitch + x.
    const std::int64_t fxc = xc + 1, fyc = yc + 1;
    const std::uint64_t* const folded = fold.words;
    const std::int64_t pitch = fold.pitch;
    // Recording, the record's end counts the steps.
    std::uint64_t left = static_cast<std::uint64_t>(limit);
    std::uint32_t* const start = record;
    std::uint32_t* const end = record + (Record ? limit : 0);
    // An inward walker's point of return can lie past its bound (when its
    // launch point lies just inside the circle); put back there, it leaves
    // this loop, whose steps must start within the bound.
    const bool backpast = escaped(w, Outward, w.backx, w.backy);
    bool contact = false;
    while (Record ? record != end : left != 0) {
        if constexpr (!Record) --left;
        u1 = u2;
        v1 = v2;
        const std::uint64_t r = zorvsteps(rng);
        u2 += unitstep64(static_cast<std::uint32_t>(r));
        v2 += unitstep64(static_cast<std::uint32_t>(r >> 32));
        const std::int64_t bit = (v2 + fyc) * pitch + u2 + fxc;
        if constexpr (Record) *record = static_cast<std::uint32_t>(bit);
        if ((loadword(folded[static_cast<std::uint64_t>(bit) >> 6]) >> (bit & 63)) & 1u) [[unlikely]] {
            distance2 = u2 * u2 + v2 * v2;
            bool putback = false;
            if (Outward ? distance2 > bound2 : distance2 < bound2) {
                u2 = w.backx - xc;
                v2 = w.backy - yc;
                ++escapes;
                putback = true;
            }
            const std::int64_t cx = u2 + xc, cy = v2 + yc;
            if (static_cast<std::uint64_t>(cx) >= m.width || static_cast<std::uint64_t>(cy) >= m.height ||
                ((loadword(m.words[static_cast<std::size_t>(cy) * m.stride + (static_cast<std::size_t>(cx) >> 6)]) >>
                  (cx & 63)) & 1u)) {
                contact = true;
                break;
            }
            if constexpr (Record) *record = packread(static_cast<int>(cx), static_cast<int>(cy), fold.pitchshift);
            if (putback && backpast) {
                if constexpr (Record) ++record;
                break;
            }
        }
        if constexpr (Record) ++record;
    }
    // Recording, the step that found contact wrote no read.
    const std::int64_t taken = Record ? (record - start) + (contact ? 1 : 0) : limit - static_cast<std::int64_t>(left);
    st = WalkState{static_cast<int>(u2 + xc), static_cast<int>(v2 + yc), static_cast<int>(u1 + xc),
                   static_cast<int>(v1 + yc), rng, distance2, st.steps + taken, escapes, st.refused};
    return contact;
}

inline bool oncanvas(const MapView& m, int x, int y) {
    return static_cast<unsigned>(x) < m.width && static_cast<unsigned>(y) < m.height;
}

// Whether a walk standing at (x, y) may go on in the folded loop: on the
// canvas and within its bound, so that every step past the bound or off the
// canvas meets a set bit.
inline bool foldablefrom(const Walker& w, bool outward, const MapView& m, int x, int y) {
    return oncanvas(m, x, y) && !escaped(w, outward, x, y);
}

// Steps a walk outside the folded loop takes before it looks again.
constexpr std::int64_t PLAINSTEPS = 16;

// Whether the map's folded map holds the ring of this walker's bound.
inline bool foldsfor(const ContactMap& map, Rule rule, bool outward, const Walker& w) {
    const ContactMap::Ring& r = map.ring;
    return r.rule == rule && r.generation == map.generation && r.outward == outward && r.xcenter == w.xcenter &&
           r.ycenter == w.ycenter && r.bound2 == w.bound2;
}

// The folded map, with its border.
inline MapView foldedview(const ContactMap& map) {
    return MapView{map.folded.data(), map.foldedstride, static_cast<unsigned>(map.width) + 2,
                   static_cast<unsigned>(map.height) + 2, map.pitchshift, std::int64_t{1} << map.pitchshift};
}

// The stickiness draw at a contact: true when the particle comes to rest.
// It is made only when the stickiness is below 100.
inline bool sticks(WalkState& st, const Walker& w) {
    if (w.stick > 0xFFFFFFFFu || static_cast<std::uint32_t>(zorvsteps(st.rng)) < w.stick) return true;
    ++st.refused;
    return false;
}

// Up to `limit` steps: in the folded loop when there is a folded map for
// this walker (rules 0 and 2) and the walker may use it, that is on the
// canvas and within its bound; otherwise plainly, and with a folded map only
// a few at a time, so that a walker off the canvas after a refused contact,
// or put back past its bound, goes back to the folded loop soon after it is
// within it again.
template <bool Outward, Rule ContactRule, bool Record = false>
inline bool somesteps(WalkState& st, const Walker& w, const MapView* folded, const MapView& m, std::int64_t limit,
                      std::uint32_t* record = nullptr) {
    if constexpr (ContactRule != NEIGHBOURS_BEFORE) {
        if (folded) {
            if (foldablefrom(w, Outward, m, st.xpos2, st.ypos2))
                return foldedsteps<Outward, ContactRule, Record>(st, w, *folded, m, limit, record);
            limit = std::min(limit, PLAINSTEPS);
        }
    }
    return steps<Outward, ContactRule, Record>(st, w, m, limit, record);
}

// Steps between two polls of a walk: well under a microsecond's walking.
constexpr std::int64_t BLOCK = 256;

// Walks until contact (and the stickiness draw) ends the walk, or poll()
// returns true; poll runs once before every block of steps. Steps come from
// the step generator, two unit steps per 64-bit draw; a stickiness draw is
// made only on contact and only when the stickiness is below 100.
template <bool Outward, Rule ContactRule, class Poll>
inline WalkEnd walk(const Walker& w, const ContactMap& map, Poll&& poll) {
    const MapView m = viewof<ContactRule>(map);
    const MapView fold = foldedview(map);
    const MapView* folded = nullptr;
    if constexpr (ContactRule != NEIGHBOURS_BEFORE)
        if (foldsfor(map, ContactRule, Outward, w)) folded = &fold;
    WalkState st = startwalk(w, zorv::detail::g_stepState);
    bool stopped = false;
    for (std::int64_t left = 0;;) {
        if (left == 0) {
            if (poll()) {
                stopped = true;
                break;
            }
            left = BLOCK;
        }
        const std::int64_t before = st.steps;
        const bool contact = somesteps<Outward, ContactRule>(st, w, folded, m, left);
        left -= st.steps - before;
        if (contact && sticks(st, w)) break;
    }
    zorv::detail::g_stepState = st.rng;
    return endof(st, stopped);
}

}  // namespace zorv::walk
