// The main window's procedure: canvas life, painting, the stop request
// (PAUSE key, mouse buttons), the D key, and the menu commands.
#pragma once

#include "platform/win32.h"

LRESULT MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
