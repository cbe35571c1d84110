// The framework's window: named by the options or the environment, then
// looked up on the display, where it must be a window that shows what is
// drawn in it.
#include "platform/qt/qt_embed.h"

#include <xcb/xcb.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform::qt {

namespace {

// A window id: decimal, or hexadecimal after 0x, 1 to 0xFFFFFFFF.
std::optional<std::uint32_t> windowId(const char* text) {
    if (!text) return std::nullopt;
    std::string s = text;
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s = s.substr(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, value, base);
    if (s.empty() || ec != std::errc() || p != end || value == 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<HackTarget> ParseHackTarget(int argc, char** argv, const char* environmentWindow, std::string& why) {
    bool root = false;
    const char* given = nullptr;
    bool idOption = false;
    for (int i = 1; i < argc; ++i) {
        if (!argv[i]) continue;
        if (std::strcmp(argv[i], "-root") == 0 || std::strcmp(argv[i], "--root") == 0) {
            root = true;
        } else if (std::strcmp(argv[i], "-window-id") == 0 || std::strcmp(argv[i], "--window-id") == 0) {
            idOption = true;
            given = i + 1 < argc ? argv[++i] : nullptr;
        }
    }
    const char* text = idOption ? given : environmentWindow && *environmentWindow ? environmentWindow : nullptr;
    if (idOption || text) {
        auto id = windowId(text);
        if (!id) {
            why = std::string(idOption ? "-window-id" : "XSCREENSAVER_WINDOW") + ": '" + (text ? text : "") +
                  "' is not a window id";
            return std::nullopt;
        }
        return HackTarget{false, *id};
    }
    if (root) return HackTarget{true, 0};
    return std::nullopt;
}

std::string HexId(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(id));
    return text;
}

std::optional<HackWindow> LookUpHackWindow(const HackTarget& target, std::string& why) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        why = "cannot open the display";
        return std::nullopt;
    }
    HackWindow found{target.window, target.root, 0, 0};
    if (target.root) {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
        found.id = it.rem > 0 ? it.data->root : 0;
    }
    // Any drawable has a geometry; only a window has attributes. A pixmap
    // cannot hold the saver's window, and an input-only window shows nothing.
    xcb_get_geometry_cookie_t geometryAsked = xcb_get_geometry(c, found.id);
    xcb_get_window_attributes_cookie_t attributesAsked = xcb_get_window_attributes(c, found.id);
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, geometryAsked, &error);
    std::free(error);
    error = nullptr;
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(c, attributesAsked, &error);
    std::free(error);
    if (!geometry)
        why = "there is no window " + HexId(found.id) + " on the display";
    else if (!attributes)
        why = HexId(found.id) + " is a pixmap, not a window";
    else if (attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
        why = "the window " + HexId(found.id) + " is input-only: nothing drawn in it shows";
    if (geometry) {
        found.width = geometry->width;
        found.height = geometry->height;
    }
    std::free(geometry);
    std::free(attributes);
    xcb_disconnect(c);
    if (!why.empty()) return std::nullopt;
    return found;
}

}  // namespace platform::qt
