#include "files/mapfile.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/settings.h"
#include "files/filedialogs.h"
#include "files/readfile.h"

volatile std::sig_atomic_t mapcancelled = 0;

namespace {

bool iswhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Scans one decimal integer after optional white space, as "%d" does, and
// gives its low eight bits (the value modulo 256, also for values too large
// for any integer type). False when no digits follow.
bool scanbyte(const std::string& line, std::size_t& at, unsigned char& out) {
    while (at < line.size() && iswhite(line[at])) ++at;
    bool negative = false;
    if (at < line.size() && (line[at] == '+' || line[at] == '-')) negative = line[at++] == '-';
    std::size_t digits = at;
    unsigned value = 0;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9')
        value = (value * 10 + static_cast<unsigned>(line[at++] - '0')) & 0xFF;
    if (at == digits) return false;
    out = static_cast<unsigned char>(negative ? (256 - value) & 0xFF : value);
    return true;
}

// The numbers of a line lie at its start, so only this much of a line is
// kept for scanning; the rest of a longer one is skipped once its numbers
// have been read. A file without line ends (a device or binary file opened
// by mistake) is thus refused after one piece instead of read without end.
constexpr std::size_t kLineKept = 65536;

// Reads the start of the next line, without its line end, into line; cut
// tells whether more of the line follows. False at the end of the file.
bool readline(std::FILE* f, std::string& line, bool& cut) {
    line.clear();
    cut = false;
    int c;
    bool any = false;
    while (!mapcancelled && (c = std::fgetc(f)) != EOF) {
        any = true;
        if (c == '\n') return true;
        line.push_back(static_cast<char>(c));
        if (line.size() == kLineKept) {
            cut = true;
            return true;
        }
    }
    return any;
}

// Skips what is left of a line that was cut.
void skiprest(std::FILE* f) {
    int c;
    for (long n = 1; (c = std::fgetc(f)) != EOF && c != '\n'; ++n)
        if (n % kLineKept == 0 && mapcancelled) return;
}

}  // namespace

int OpenMapFile() {
    // The chosen path is opened as it is: names are case-sensitive here.
    if (mapfile.empty()) return 1;
    std::FILE* f = openregular(mapfile, "r");
    if (!f) return 1;

    // Entries go to paltemp only when the whole file has been read.
    unsigned char entries[256][3];
    int i = 0;
    std::string line;
    bool cut = false;
    while (i < 256 && readline(f, line, cut)) {
        std::size_t at = 0;
        for (int k = 0; k < 3; ++k) {
            if (!scanbyte(line, at, entries[i][k])) {
                std::fclose(f);
                return 1;
            }
        }
        if (cut) skiprest(f);
        ++i;
    }
    bool failed = std::ferror(f) != 0 || mapcancelled;
    std::fclose(f);
    if (failed) return 1;

    for (; i < 256; ++i) entries[i][0] = entries[i][1] = entries[i][2] = 1;
    std::memcpy(paltemp, entries, sizeof paltemp);
    return 0;
}
