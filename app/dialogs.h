// The four settings dialogs: Image Parameters (200), Algorithms (300),
// Coloring Method (400) and Background Color (500). Each ends with 1 when the
// caller must act and 2 when there is nothing to do.
#pragma once

#include "platform/win32.h"

// Private message a dialog posts itself to show paramerror[error].
constexpr UINT WM_PARAMERROR = WM_USER + 1;

extern const char* const paramnames[4];
extern const char* const paramerror[4];

INT_PTR ParamDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR AlgorithmDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ColoringDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR BackgroundDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
