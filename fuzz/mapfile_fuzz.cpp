// The MAP palette reader, on any text, against a plain reading of the format:
// lines end at a newline, and a line's first 65536 characters are all that
// is read of it. Each of the first 256 lines starts with three whole numbers,
// each after optional white space and with an optional sign, kept modulo 256
// (a negative one counted back from 256). The entries without a line are
// (1, 1, 1). One line among them without its three numbers refuses the file,
// and then the candidate palette stays as it was.
//
// An input that starts with a byte 0xFF is a short form of its text: the
// rest of it, where a byte 0xFF followed by bytes a, b and c stands for
// a + 256 b copies of c, until the text reaches 72 KiB; so short inputs reach
// lines longer than what is read of them. Any other input is the text.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/settings.h"
#include "files/filedialogs.h"
#include "files/mapfile.h"
#include "harness.h"

namespace {

constexpr std::size_t kMost = 72 * 1024;

std::string expand(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || data[0] != 0xFF) return std::string(reinterpret_cast<const char*>(data), size);
    std::string text;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0xFF && i + 3 < size) {
            const std::size_t room = kMost > text.size() ? kMost - text.size() : 0;
            text.append(std::min(data[i + 1] + std::size_t{256} * data[i + 2], room), static_cast<char>(data[i + 3]));
            i += 3;
        } else {
            text.push_back(static_cast<char>(data[i]));
        }
    }
    return text;
}

std::vector<std::string> linesof(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, std::min<std::size_t>(end - start, 65536)));
        start = end + 1;
    }
    return lines;
}

// The number at line[at], modulo 256. The value modulo 256 depends only on
// its last eight digits, since 10^8 is a multiple of 256.
bool number(const std::string& line, std::size_t& at, unsigned char& value) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    bool negative = false;
    if (at < line.size() && (line[at] == '-' || line[at] == '+')) {
        negative = line[at] == '-';
        ++at;
    }
    std::string digits;
    while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) digits.push_back(line[at++]);
    if (digits.empty()) return false;
    const unsigned long last = std::stoul(digits.size() > 8 ? digits.substr(digits.size() - 8) : digits) % 256;
    value = static_cast<unsigned char>(negative ? (256 - last) % 256 : last);
    return true;
}

bool reference(const std::string& text, unsigned char (&entries)[256][3]) {
    std::memset(entries, 1, sizeof entries);
    const std::vector<std::string> lines = linesof(text);
    for (std::size_t i = 0; i < lines.size() && i < 256; ++i) {
        std::size_t at = 0;
        for (int k = 0; k < 3; ++k)
            if (!number(lines[i], at, entries[i][k])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = expand(data, size);
    unsigned char expected[256][3];
    const bool readable = reference(text, expected);

    mapfile = fuzz::scratch() + "/in.map";
    fuzz::put(mapfile, text);
    unsigned char before[256][3];
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) before[i][k] = paltemp[i][k] = static_cast<unsigned char>(i * 3 + k * 77 + 5);
    const int result = OpenMapFile();
    if (!readable) {
        if (result != 1) fuzz::fail("a line without three numbers was accepted");
        if (std::memcmp(paltemp, before, sizeof before) != 0) fuzz::fail("a refused file changed the palette");
        return 0;
    }
    if (result != 0) fuzz::fail("a file of good lines was refused");
    if (std::memcmp(paltemp, expected, sizeof expected) != 0) fuzz::fail("the palette is not the file's");
    return 0;
}
