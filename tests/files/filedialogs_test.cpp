// The four file-dialog records and their buffers, as the dialogs see them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "filetest.h"
#include "platform/headless/headless.h"

namespace {

using filetest::TempDir;

// Runs the body with the given folder as the current one.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

struct RecordCase {
    const char* name;
    OPENFILENAMEA* record;
    std::string* path;
    std::string* title;
    bool save;
    std::string pattern;          // what the path buffer starts with after the folder
    std::string filterBytes;      // the whole filter, with its zeros
    std::string dialogTitle;
    std::string extension;
    DWORD flags;
};

std::ostream& operator<<(std::ostream& os, const RecordCase& c) { return os << c.name; }

// All bytes of a literal, its own closing zero included.
template <std::size_t N>
std::string allBytes(const char (&text)[N]) {
    return std::string(text, N);
}

// Each pair ends in a zero and the list in one more.
const std::string kMapFilter = allBytes("Fractint .map files (*.map)\0*.map\0");
const std::string kTgaFilter = allBytes("Targa files (*.tga)\0*.tga\0");
const std::string kDlaFilter = allBytes("DLA files (*.dla)\0*.dla\0");

class FileDialog : public ::testing::TestWithParam<RecordCase> {
protected:
    headless::Backend screen;
    TempDir dir;
};

TEST_P(FileDialog, RecordAndBuffersStartInTheStartUpFolder) {
    const RecordCase& c = GetParam();
    {
        InFolder here(dir.path());
        InitOpenFile();
    }
    const std::string folder = std::filesystem::canonical(dir.path()).string();
    EXPECT_EQ(*c.path, folder + "/" + c.pattern);
    EXPECT_EQ(*c.title, "");

    const OPENFILENAMEA& r = *c.record;
    EXPECT_EQ(r.lStructSize, 76u);
    EXPECT_EQ(r.hwndOwner, nullptr);
    EXPECT_EQ(r.hInstance, nullptr);
    ASSERT_NE(r.lpstrFilter, nullptr);
    EXPECT_EQ(std::string(r.lpstrFilter, c.filterBytes.size()), c.filterBytes);
    EXPECT_EQ(r.lpstrCustomFilter, nullptr);
    EXPECT_EQ(r.nMaxCustFilter, 0u);
    EXPECT_EQ(r.nFilterIndex, 1u);
    EXPECT_EQ(r.lpstrFile, c.path);
    EXPECT_EQ(r.nMaxFile, 260u);
    EXPECT_EQ(r.lpstrFileTitle, c.title);
    EXPECT_EQ(r.nMaxFileTitle, 260u);
    EXPECT_EQ(r.lpstrInitialDir, nullptr);
    EXPECT_STREQ(r.lpstrTitle, c.dialogTitle.c_str());
    EXPECT_EQ(r.Flags, c.flags);
    EXPECT_EQ(r.nFileOffset, 0);
    EXPECT_EQ(r.nFileExtension, 0);
    EXPECT_STREQ(r.lpstrDefExt, c.extension.c_str());
    EXPECT_EQ(r.lCustData, 0);
    EXPECT_EQ(r.lpfnHook, nullptr);
    EXPECT_EQ(r.lpTemplateName, nullptr);
}

TEST_P(FileDialog, ReopensAtTheLastChoiceAndACancelChangesNothing) {
    const RecordCase& c = GetParam();
    {
        InFolder here(dir.path());
        InitOpenFile();
    }
    OPENFILENAMEA* record = c.record;
    auto run = [&] { return c.save ? GetSaveFileNameA(record) : GetOpenFileNameA(record); };

    const std::string first = *c.path;
    const std::string chosen = dir / ("chosen." + c.extension);
    screen.onFileDialog = [&](const FileDialogRequest&) { return chosen; };
    ASSERT_TRUE(run());
    ASSERT_EQ(screen.fileDialogs.size(), 1u);
    const FileDialogRequest& shown = screen.fileDialogs[0];
    EXPECT_EQ(shown.save, c.save);
    EXPECT_EQ(shown.initialPath, first);
    EXPECT_EQ(shown.title, c.dialogTitle);
    ASSERT_EQ(shown.filters.size(), 1u);
    EXPECT_EQ(shown.filters[0].second, c.pattern);
    EXPECT_EQ(*c.path, chosen);
    EXPECT_EQ(*c.title, "chosen." + c.extension);

    screen.onFileDialog = [](const FileDialogRequest&) { return std::string(); };
    EXPECT_FALSE(run());
    EXPECT_EQ(screen.fileDialogs.back().initialPath, chosen);
    EXPECT_EQ(*c.path, chosen);
    EXPECT_EQ(*c.title, "chosen." + c.extension);
}

constexpr DWORD kOpen = 0x81804;
constexpr DWORD kSave = 0x80806;

INSTANTIATE_TEST_SUITE_P(
    Records, FileDialog,
    ::testing::Values(
        RecordCase{"omapn", &omapn, &mapfile, &mapfiletitle, false, "*.map", kMapFilter,
                   "Select a Fractint .MAP File", "map", kOpen},
        RecordCase{"stgan", &stgan, &tgafile, &tgafiletitle, true, "*.tga", kTgaFilter,
                   "Select a file for saving your image:", "tga", kSave},
        RecordCase{"odlan", &odlan, &odlafile, &odlafiletitle, false, "*.dla", kDlaFilter,
                   "Select a DLA parameter file:", "dla", kOpen},
        RecordCase{"sdlan", &sdlan, &sdlafile, &sdlafiletitle, true, "*.dla", kDlaFilter,
                   "Select a file for saving parameters:", "dla", kSave}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileDialogs, ANameTypedWithoutExtensionIsSavedAsTarga) {
    headless::Backend screen;
    TempDir dir;
    InitOpenFile();
    screen.onFileDialog = [&](const FileDialogRequest&) { return dir / "picture"; };
    ASSERT_TRUE(GetSaveFileNameA(&stgan));
    EXPECT_EQ(tgafile, dir / "picture.tga");
    EXPECT_EQ(tgafiletitle, "picture.tga");
}

TEST(FileDialogs, TheRootFolderGetsNoDoubleSlash) {
    headless::Backend screen;
    {
        InFolder here("/");
        InitOpenFile();
    }
    EXPECT_EQ(mapfile, "/*.map");
    EXPECT_EQ(sdlafile, "/*.dla");
}

TEST(FileDialogs, AParameterFileSavedBesideAnImageIsWhereTheSaveDialogReopens) {
    headless::Backend screen;
    TempDir dir;
    InitOpenFile();
    screen.onFileDialog = [&](const FileDialogRequest&) { return dir / "tree.tga"; };
    ASSERT_TRUE(GetSaveFileNameA(&stgan));
    ASSERT_EQ(writedla(1), 0);
    screen.onFileDialog = [](const FileDialogRequest&) { return std::string(); };
    GetSaveFileNameA(&sdlan);
    EXPECT_EQ(screen.fileDialogs.back().initialPath, dir / "tree.dla");
}

}  // namespace
