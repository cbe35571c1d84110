// The open and save file dialogs: the request a backend shows, the folder
// check the caller asked for, and the chosen path written back the way the
// caller's structure expects it.
#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/layer.h"

using namespace platform::detail;

namespace {

BOOL fileDialog(OPENFILENAMEA* ofn, bool save) {
    if (!ofn || !ofn->lpstrFile) return FALSE;
    FileDialogRequest request;
    request.save = save;
    request.owner = ofn->hwndOwner;
    request.title = ofn->lpstrTitle ? ofn->lpstrTitle : (save ? "Save As" : "Open");
    request.initialPath = *ofn->lpstrFile;
    for (const char* p = ofn->lpstrFilter; p && *p;) {
        std::string description = p;
        p += description.size() + 1;
        std::string pattern = p;
        p += pattern.size() + 1;
        request.filters.emplace_back(description, pattern);
    }
    request.defaultExtension = ofn->lpstrDefExt ? ofn->lpstrDefExt : "";
    request.flags = ofn->Flags;
    HWND owner = ofn->hwndOwner;
    bool disable = alive(owner) && owner->enabled;
    if (disable) EnableWindow(owner, FALSE);
    std::string chosen;
    for (;;) {
        chosen = backend().fileDialog(request);
        // A dialog that could not refuse the path itself (a native one closes
        // when the user accepts) is refused here and opened again at it.
        std::optional<MessageBoxRequest> box = platform::MissingFolderBox(request, chosen);
        if (!box) break;
        MessageBoxA(box->owner, box->text.c_str(), box->caption.c_str(), box->type);
        request.initialPath = chosen;
    }
    if (disable && alive(owner)) EnableWindow(owner, TRUE);
    if (chosen.empty()) return FALSE;
    std::size_t slash = chosen.find_last_of('/');
    std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    // A name typed without an extension takes the default one.
    if (!request.defaultExtension.empty() && chosen.find('.', nameAt) == std::string::npos)
        chosen += "." + request.defaultExtension;
    *ofn->lpstrFile = chosen;
    if (ofn->lpstrFileTitle) *ofn->lpstrFileTitle = chosen.substr(nameAt);
    std::size_t dot = chosen.find_last_of('.');
    ofn->nFileOffset = static_cast<WORD>(std::min<std::size_t>(nameAt, 0xFFFF));
    ofn->nFileExtension =
        static_cast<WORD>(dot == std::string::npos || dot < nameAt ? 0 : std::min<std::size_t>(dot + 1, 0xFFFF));
    return TRUE;
}

}  // namespace

std::optional<MessageBoxRequest> platform::MissingFolderBox(const FileDialogRequest& request,
                                                            const std::string& path) {
    namespace fs = std::filesystem;
    if (!(request.flags & OFN_PATHMUSTEXIST) || path.empty()) return std::nullopt;
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code error;
    if (fs::is_directory(folder, error)) return std::nullopt;
    std::string named = fs::absolute(folder, error).lexically_normal().string();
    if (named.empty()) named = folder.string();
    if (named.size() > 1 && named.back() == '/') named.pop_back();  // "a/b/.." is "a/"
    std::string text = named + "\nThe folder does not exist.\nCheck the path and try again.";
    return MessageBoxRequest{request.owner, text, request.title, MB_OK | MB_ICONWARNING};
}

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) { return fileDialog(ofn, false); }
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn) { return fileDialog(ofn, true); }
