#include "files/mapfile.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/settings.h"
#include "files/filedialogs.h"

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

// The numbers of a line lie at its start; of a longer line (a binary file
// opened by mistake) only this much is kept, the rest is skipped.
constexpr std::size_t kLineKept = 65536;

// Reads the next whole line, however long, without its line end. False at
// the end of the file.
bool readline(std::FILE* f, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(f)) != EOF) {
        any = true;
        if (c == '\n') return true;
        if (line.size() < kLineKept) line.push_back(static_cast<char>(c));
    }
    return any;
}

}  // namespace

int OpenMapFile() {
    // The chosen path is opened as it is: names are case-sensitive here.
    if (mapfile.empty()) return 1;
    std::FILE* f = std::fopen(mapfile.c_str(), "r");
    if (!f) return 1;

    // Entries go to paltemp only when the whole file has been read.
    unsigned char entries[256][3];
    int i = 0;
    std::string line;
    while (i < 256 && readline(f, line)) {
        std::size_t at = 0;
        for (int k = 0; k < 3; ++k) {
            if (!scanbyte(line, at, entries[i][k])) {
                std::fclose(f);
                return 1;
            }
        }
        ++i;
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return 1;

    for (; i < 256; ++i) entries[i][0] = entries[i][1] = entries[i][2] = 1;
    std::memcpy(paltemp, entries, sizeof paltemp);
    return 0;
}
