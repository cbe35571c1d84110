#include "files/dlafile.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "engine/settings.h"
#include "files/filedialogs.h"
#include "files/readfile.h"
#include "files/savefile.h"

DLA dla{};
std::string odlatemp;

namespace {

constexpr std::size_t kRecordBytes = sizeof(DLA);
constexpr std::size_t kPaletteAt = 36;

using Record = std::array<unsigned char, kRecordBytes>;

// The nine integer fields in file order.
std::array<std::int32_t*, 9> fieldsOf(DLA& d) {
    return {&d.algorithm, &d.growth, &d.startradius, &d.probability, &d.coloring,
            &d.greyscale, &d.rback,  &d.gback,       &d.bback};
}

Record encode(DLA& d) {
    Record b{};
    std::size_t at = 0;
    for (std::int32_t* field : fieldsOf(d)) {
        auto v = static_cast<std::uint32_t>(*field);
        for (int i = 0; i < 4; ++i) b[at++] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
    }
    std::memcpy(&b[kPaletteAt], d.palette, sizeof d.palette);
    return b;
}

DLA decode(const Record& b) {
    DLA d{};
    std::size_t at = 0;
    for (std::int32_t* field : fieldsOf(d)) {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at++]) << (8 * i);
        *field = static_cast<std::int32_t>(v);
    }
    std::memcpy(d.palette, &b[kPaletteAt], sizeof d.palette);
    return d;
}

bool within(std::int32_t v, int lo, int hi) { return v >= lo && v <= hi; }

// Every value a setting may legally hold; anything else would drive the
// growth runs outside what they are built for.
bool legal(const DLA& d) {
    return within(d.algorithm, 0, ALGORITHM_MAX) && within(d.growth, 0, GROWTH_MAX) &&
           within(d.startradius, RADIUS_MIN, RADIUS_MAX) &&
           within(d.probability, PROBABILITY_MIN, PROBABILITY_MAX) && within(d.coloring, 0, COLORING_MAX) &&
           within(d.greyscale, 0, 1) && within(d.rback, 0, COLOR_MAX) && within(d.gback, 0, COLOR_MAX) &&
           within(d.bback, 0, COLOR_MAX);
}

// Where the parameters of the image at tgapath go: the same path with "dla"
// as its last three characters. When that would be the image itself (an
// image named *.dla) or the path is too short to carry them, ".dla" is
// appended instead, so the image is never overwritten.
std::string besideimage(const std::string& tgapath) {
    if (tgapath.size() < 3) return tgapath + ".dla";
    std::string path = tgapath.substr(0, tgapath.size() - 3) + "dla";
    return path == tgapath ? tgapath + ".dla" : path;
}

}  // namespace

int writedla(int option) {
    dla.algorithm = algorithm;
    dla.growth = growth;
    dla.startradius = startradius;
    dla.probability = probability;
    dla.coloring = coloring;
    dla.greyscale = greyscale;
    dla.rback = rback;
    dla.gback = gback;
    dla.bback = bback;
    std::memcpy(dla.palette, palette, sizeof dla.palette);

    if (option == 1) {
        if (tgafile.empty()) return 1;
        sdlafile = besideimage(tgafile);
    }

    SaveFile file;
    if (!file.open(sdlafile)) return 1;
    Record bytes = encode(dla);
    if (!file.write(bytes.data(), bytes.size())) return 3;
    if (!file.commit()) return 3;

    std::size_t slash = sdlafile.find_last_of('/');
    sdlafiletitle = slash == std::string::npos ? sdlafile : sdlafile.substr(slash + 1);
    return 0;
}

int loaddla() {
    if (odlafile.empty()) return 1;
    std::FILE* f = openregular(odlafile, "rb");
    if (!f) return 1;
    Record bytes{};
    // A longer file is read for its first record only.
    bool complete = std::fread(bytes.data(), bytes.size(), 1, f) == 1;
    std::fclose(f);
    if (!complete) return 1;
    DLA loaded = decode(bytes);
    if (!legal(loaded)) return 1;

    dla = loaded;
    algorithm = dla.algorithm;
    growth = dla.growth;
    startradius = dla.startradius;
    probability = dla.probability;
    coloring = dla.coloring;
    greyscale = dla.greyscale;
    rback = dla.rback;
    gback = dla.gback;
    bback = dla.bback;
    std::memcpy(palette, dla.palette, sizeof palette);
    repackbackground();
    return 0;
}

void loadcommandline() {
    // The shell passes the path in double quotes: drop the two outer
    // characters. Fewer than two leave no path to drop them from.
    if (odlatemp.size() < 2) return;
    odlafile = odlatemp.substr(1, odlatemp.size() - 2);
    loaddla();
}
