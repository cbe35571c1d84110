#include "files/targa.h"

#include <array>
#include <cstring>

#include "engine/settings.h"
#include "files/filedialogs.h"
#include "files/savefile.h"

const char* const saveerror[3] = {
    "Error opening a save file.",
    "Not enough memory to buffer image lines.",
    "Error writing to save file.",
};

namespace {

constexpr int kOpenFailed = 1;
constexpr int kNoMemory = 2;
constexpr int kWriteFailed = 3;

void put16(unsigned char* at, std::uint16_t v) {
    at[0] = static_cast<unsigned char>(v & 0xFF);
    at[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

// The records as they are stored: little-endian, no gaps.
std::array<unsigned char, sizeof(TGAHEADER)> encode(const TGAHEADER& h) {
    std::array<unsigned char, sizeof(TGAHEADER)> b{};
    b[0] = static_cast<unsigned char>(h.idfield);
    b[1] = static_cast<unsigned char>(h.colormaptype);
    b[2] = static_cast<unsigned char>(h.imagetype);
    put16(&b[3], h.colormapstart);
    put16(&b[5], h.colormaplength);
    b[7] = static_cast<unsigned char>(h.colormapbits);
    put16(&b[8], h.xstart);
    put16(&b[10], h.ystart);
    put16(&b[12], h.width);
    put16(&b[14], h.height);
    b[16] = static_cast<unsigned char>(h.bits);
    b[17] = static_cast<unsigned char>(h.descriptor);
    return b;
}

std::array<unsigned char, sizeof(TGAFOOTER)> encode(const TGAFOOTER& f) {
    std::array<unsigned char, sizeof(TGAFOOTER)> b{};
    put32(&b[0], f.extoffset);
    put32(&b[4], f.devdiroffset);
    std::memcpy(&b[8], f.sig, sizeof f.sig);
    return b;
}

// The wait cursor and a disabled main window for as long as it lives.
class BusyWindow {
public:
    BusyWindow() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) { EnableWindow(g_hWnd, FALSE); }
    ~BusyWindow() {
        EnableWindow(g_hWnd, TRUE);
        SetCursor(previous_);
    }
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

private:
    HCURSOR previous_;
};

// The row buffer from the local heap, freed on every way out.
class RowBuffer {
public:
    explicit RowBuffer(std::size_t bytes)
        : bytes_(static_cast<unsigned char*>(LocalAlloc(LMEM_ZEROINIT, bytes))) {}
    ~RowBuffer() {
        if (bytes_) LocalFree(bytes_);
    }
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;
    unsigned char* get() const { return bytes_; }

private:
    unsigned char* bytes_;
};

}  // namespace

int writetga(HDC hdc) {
    // The header holds the size in 16 bits; a size it cannot hold would
    // make a file no reader can decode.
    if (xres < 1 || yres < 1 || xres > 0xFFFF || yres > 0xFFFF) return kWriteFailed;

    SaveFile file;
    if (!file.open(tgafile)) return kOpenFailed;

    TGAHEADER header{};
    header.imagetype = 2;  // uncompressed true-colour
    header.width = static_cast<std::uint16_t>(xres);
    header.height = static_cast<std::uint16_t>(yres);
    header.bits = 24;
    header.descriptor = 0x20;  // the first row stored is the top row
    TGAFOOTER footer{};
    std::memcpy(footer.sig, "TRUEVISION-XFILE.", 18);

    const std::size_t linebytes = 3 * static_cast<std::size_t>(xres);
    RowBuffer linebuffer(linebytes);
    if (!linebuffer.get()) return kNoMemory;

    auto head = encode(header);
    if (!file.write(head.data(), head.size())) return kWriteFailed;

    BusyWindow busy;
    unsigned char* row = linebuffer.get();
    for (int y = 0; y < yres; ++y) {
        for (int x = 0; x < xres; ++x) {
            COLORREF c = hdc ? GetPixel(hdc, x, y) : CLR_INVALID;
            row[3 * x] = static_cast<unsigned char>((c >> 16) & 0xFF);
            row[3 * x + 1] = static_cast<unsigned char>((c >> 8) & 0xFF);
            row[3 * x + 2] = static_cast<unsigned char>(c & 0xFF);
        }
        if (!file.write(row, linebytes)) return kWriteFailed;
    }
    auto foot = encode(footer);
    if (!file.write(foot.data(), foot.size())) return kWriteFailed;
    if (!file.commit()) return kWriteFailed;
    return 0;
}
