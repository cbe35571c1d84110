// The particle list: every particle of the image in the order it came to
// rest, with the particle it came to rest against.
#include <cstdio>
#include <new>

#include "batch/internal.h"
#include "canvas/canvas.h"
#include "engine/settings.h"

namespace zorv::batch {

namespace {

// The list the growth runs report their seeds to.
Particles* listing = nullptr;
void listseeds() { listing->seeds(); }

}  // namespace

bool Particles::open(const std::string& path) {
    try {
        owner_.assign(static_cast<std::size_t>(xres) * static_cast<std::size_t>(yres), NONE);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return file_.open(path) && line("id,parent,x,y,colour_index,colour,steps,escapes,refused,kind\n");
}

void Particles::seeds() {
    for (int y = 0; y < yres; ++y)
        for (int x = 0; x < xres; ++x) {
            const COLORREF c = GetPixel(g_vhdc, x, y);
            if (c != bkgd) add(x, y, -1, c == palettecolor(1) ? 1 : 0, c, Walk{}, "seed");
        }
}

// A particle resting on the canvas owns its pixel from now on, also when it
// replaced a cluster pixel's colour or was drawn in the background's own
// colour, so that drawing the list in order in its colours repeats the
// image. A contact found off the canvas has no particle: the particle came
// to rest against the edge and gets parent -1. (Every pixel of the cluster
// has an owner, the seed's pixels included, so no other particle lacks a
// parent.)
void Particles::settled(const GrowthState& s) {
    std::int64_t parent = -1;
    if (inside(s.foundx, s.foundy)) {
        const std::uint32_t id = owner_[index(s.foundx, s.foundy)];
        if (id != NONE) parent = id;
    }
    add(s.restx, s.resty, parent, s.restindex, s.frgd, Walk{s.reststeps, s.restescapes, s.restrefused},
        parent < 0 ? "edge" : "cluster");
}

bool Particles::inside(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(xres) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(yres);
}

std::size_t Particles::index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(xres) + static_cast<std::size_t>(x);
}

void Particles::add(int x, int y, std::int64_t parent, int colourindex, COLORREF colour, const Walk& walk,
                    const char* kind) {
    if (!ok_) return;
    // Off the canvas a particle leaves no pixel.
    if (inside(x, y) && next_ < NONE) owner_[index(x, y)] = static_cast<std::uint32_t>(next_);
    char text[192];
    const int n = std::snprintf(text, sizeof text, "%lld,%lld,%d,%d,%d,%s,%lld,%lld,%lld,%s\n",
                                static_cast<long long>(next_), static_cast<long long>(parent), x, y, colourindex,
                                colourtext(colour).c_str(), static_cast<long long>(walk.steps),
                                static_cast<long long>(walk.escapes), static_cast<long long>(walk.refused), kind);
    ++next_;
    line(std::string_view(text, static_cast<std::size_t>(n)));
}

bool Particles::line(std::string_view text) {
    ok_ = ok_ && file_.write(text.data(), text.size());
    return ok_;
}

SeedHook::SeedHook(Particles* list) {
    listing = list;
    seedplanted = list ? listseeds : nullptr;
}

SeedHook::~SeedHook() {
    seedplanted = nullptr;
    listing = nullptr;
}

}  // namespace zorv::batch
