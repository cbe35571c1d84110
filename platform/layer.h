// The layer's own state and the helpers its parts share. Only the layer's
// .cpp files include this: backends use backend.h, programs win32.h.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"

enum class GdiKind { Bitmap, Brush, Pen };

struct GdiObject {
    GdiKind kind;
    COLORREF color = 0;
    int width = 1;
    bool stock = false;
    bool hollow = false;          // NULL_BRUSH
    std::unique_ptr<Surface> surface;  // bitmaps
    HDC selectedIn = nullptr;     // bitmaps: the DC it is selected into
};

namespace platform::detail {

// Everything the layer keeps between calls.
struct LayerState {
    Backend* backend = nullptr;
    std::map<std::string, std::unique_ptr<WindowClass>> classes;
    std::vector<std::unique_ptr<Window>> windows;  // kept after destruction so handles stay testable
    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    int paintPending = 0;  // windows with an invalid region
    std::vector<HDC> windowDCs;
    HWND focus = nullptr;
    HCURSOR cursor = nullptr;
    int cursorCount = 0;
    bool keys[256] = {};
    int pumpInterval = 64;
};

extern LayerState g_layer;

// layer.cpp: the installed backend (no backend is a fault: a message and abort).
Backend& backend();
// layer.cpp: rectangles with the right and bottom edges excluded.
bool emptyRect(const RECT& r);
RECT unionRect(const RECT& a, const RECT& b);
RECT intersect(const RECT& a, const RECT& b);

// windows.cpp: a window not yet destroyed; destroying a window and its
// controls, with WM_DESTROY sent first when notify is set.
bool alive(HWND h);
void destroyTree(HWND hwnd, bool notify);

// queue.cpp: the count the inline empty-queue test reads, brought up to date
// after the queue, the quit request or an invalid region changed; the posted
// messages of a window that goes away.
void updatePending();
void dropMessages(HWND hwnd);

// paint.cpp: a window's invalid region, counting the windows that wait for WM_PAINT.
void setInvalid(Window& w, const RECT& r);

// dc.cpp: the stock objects; a new DC on a window's surface; every DC of a
// window made to follow its surface after that was remade or destroyed.
GdiObject* stockObject(int index);
HDC makeWindowDC(Window& w);
void rebindWindowDCs(Window& w);

// resources.cpp: a dialog template of the module by name or number, or null.
const DialogTemplate* findDialogTemplate(HINSTANCE instance, LPCSTR name);

}  // namespace platform::detail
