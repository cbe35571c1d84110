#include "files/filedialogs.h"

std::string mapfile, mapfiletitle;
std::string tgafile, tgafiletitle;
std::string odlafile, odlafiletitle;
std::string sdlafile, sdlafiletitle;

OPENFILENAMEA omapn, stgan, odlan, sdlan;

namespace {

// The size of the record in its first published layout.
constexpr DWORD kRecordSize = 76;
// The size the path and name fields stood for; the strings themselves grow.
constexpr DWORD kPathSize = 260;

constexpr DWORD kOpenFlags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
constexpr DWORD kSaveFlags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

// Description and pattern, each ended by a zero; the literal's own zero ends the list.
constexpr char kMapFilter[] = "Fractint .map files (*.map)\0*.map\0";
constexpr char kTgaFilter[] = "Targa files (*.tga)\0*.tga\0";
constexpr char kDlaFilter[] = "DLA files (*.dla)\0*.dla\0";

OPENFILENAMEA record(std::string* path, std::string* name, const char* filter, const char* title,
                     const char* extension, DWORD flags) {
    // Every field not set here is zero or null: no owner, no instance, no
    // custom filter, no initial folder, no offsets, no hook, no template.
    OPENFILENAMEA r{};
    r.lStructSize = kRecordSize;
    r.lpstrFilter = filter;
    r.nFilterIndex = 1;
    r.lpstrFile = path;
    r.nMaxFile = kPathSize;
    r.lpstrFileTitle = name;
    r.nMaxFileTitle = kPathSize;
    r.lpstrTitle = title;
    r.Flags = flags;
    r.lpstrDefExt = extension;
    return r;
}

}  // namespace

void InitOpenFile() {
    std::string folder = GetCurrentDirectoryString();
    if (folder.empty() || folder.back() != '/') folder += '/';
    mapfile = folder + "*.map";
    tgafile = folder + "*.tga";
    odlafile = folder + "*.dla";
    sdlafile = folder + "*.dla";
    mapfiletitle.clear();
    tgafiletitle.clear();
    odlafiletitle.clear();
    sdlafiletitle.clear();

    omapn = record(&mapfile, &mapfiletitle, kMapFilter, "Select a Fractint .MAP File", "map", kOpenFlags);
    stgan = record(&tgafile, &tgafiletitle, kTgaFilter, "Select a file for saving your image:", "tga", kSaveFlags);
    odlan = record(&odlafile, &odlafiletitle, kDlaFilter, "Select a DLA parameter file:", "dla", kOpenFlags);
    sdlan = record(&sdlafile, &sdlafiletitle, kDlaFilter, "Select a file for saving parameters:", "dla", kSaveFlags);
}
