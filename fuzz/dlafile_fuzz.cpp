// The parameter file loader, on any bytes. A file of at least 804 bytes whose
// nine little-endian 32-bit fields all lie in their ranges loads: the settings
// and the palette become the file's, the background is packed from its
// colour, and saving again gives the file's first 804 bytes back. Anything
// else is refused and changes no setting.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "harness.h"

namespace {

struct Settings {
    std::array<int, 10> values;  // the nine fields in file order, then the packed background
    unsigned char palette[256][3];

    bool operator==(const Settings& other) const {
        return values == other.values && std::memcmp(palette, other.palette, sizeof palette) == 0;
    }
};

Settings current() {
    Settings s{{algorithm, growth, startradius, probability, coloring, greyscale, rback, gback, bback,
                static_cast<int>(bkgd)},
               {}};
    std::memcpy(s.palette, palette, sizeof s.palette);
    return s;
}

// Settings no file gives by chance: the loader's failures must leave them.
void settle() {
    resetsettings();
    algorithm = 1;
    growth = 1;
    startradius = 17;
    probability = 42;
    coloring = 1;
    greyscale = 1;
    rback = 3;
    gback = 5;
    bback = 7;
    repackbackground();
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) palette[i][k] = static_cast<unsigned char>(i * 7 + k * 101 + 13);
}

std::int32_t field(const std::uint8_t* data, int i) {
    std::uint32_t v = 0;
    for (int b = 0; b < 4; ++b) v |= static_cast<std::uint32_t>(data[4 * i + b]) << (8 * b);
    return static_cast<std::int32_t>(v);
}

// The ranges of the nine fields: rule 0 to 2, direction 0 or 1, radius 5 to
// 50, stickiness 1 to 100, colouring 0 or 1, greyscale 0 or 1, and the
// background's red, green and blue 0 to 255.
constexpr std::array<std::array<std::int32_t, 2>, 9> RANGES = {
    {{0, 2}, {0, 1}, {5, 50}, {1, 100}, {0, 1}, {0, 1}, {0, 255}, {0, 255}, {0, 255}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::scratch() + "/in.dla";
    fuzz::put(path, std::string(reinterpret_cast<const char*>(data), size));
    settle();
    const Settings before = current();

    bool legal = size >= 804;
    for (int i = 0; legal && i < 9; ++i) legal = field(data, i) >= RANGES[i][0] && field(data, i) <= RANGES[i][1];

    odlafile = path;
    const int result = loaddla();
    if (!legal) {
        if (result != 1) fuzz::fail("a file that is short or out of range was loaded");
        if (!(current() == before)) fuzz::fail("a refused file changed the settings");
        return 0;
    }
    if (result != 0) fuzz::fail("a whole file with every value in range was refused");
    Settings expected{};
    for (int i = 0; i < 9; ++i) expected.values[i] = field(data, i);
    expected.values[9] = expected.values[6] | expected.values[7] << 8 | expected.values[8] << 16;
    std::memcpy(expected.palette, data + 36, sizeof expected.palette);
    if (!(current() == expected)) fuzz::fail("the settings are not the file's");

    sdlafile = fuzz::scratch() + "/again.dla";
    if (writedla(0) != 0) fuzz::fail("the loaded settings cannot be saved again");
    bool ok = false;
    const std::string again = fuzz::get(sdlafile, ok);
    if (!ok || again != std::string(reinterpret_cast<const char*>(data), 804))
        fuzz::fail("saved again, the file is not its first 804 bytes");
    return 0;
}
