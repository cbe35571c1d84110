// Modal message boxes, dialogs made from templates and their controls, and
// the control changes a backend reports.
#include <algorithm>
#include <memory>

#include "platform/layer.h"

using namespace platform::detail;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    bool disable = alive(owner) && owner->enabled;
    if (disable) EnableWindow(owner, FALSE);
    MessageBoxRequest request{owner, text ? text : "", caption ? caption : "Error", type};
    int answer = backend().messageBox(request);
    if (disable && alive(owner)) EnableWindow(owner, TRUE);
    return answer;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
    const DialogTemplate* t = findDialogTemplate(instance, templateName);
    if (!t || !proc) return -1;
    auto owned = std::make_unique<Window>();
    Window& dlg = *owned;
    dlg.kind = WindowKind::Dialog;
    dlg.dlgProc = proc;
    dlg.title = t->title;
    dlg.style = t->style;
    dlg.parent = owner;
    dlg.dialogTemplate = t;
    g_layer.windows.push_back(std::move(owned));
    for (const DialogItemTemplate& item : t->items) {
        auto c = std::make_unique<Window>();
        c->kind = WindowKind::Control;
        c->control = item.kind;
        c->controlId = item.id;
        c->title = item.text;
        c->style = item.style;
        c->parent = &dlg;
        c->frame = {item.x, item.y, item.x + item.cx, item.y + item.cy};
        dlg.children.push_back(c.get());
        g_layer.windows.push_back(std::move(c));
    }
    bool disable = alive(owner) && owner->enabled;
    if (disable) EnableWindow(owner, FALSE);
    backend().createWindow(dlg);
    HWND firstTab = nullptr;
    for (HWND c : dlg.children)
        if (!firstTab && (c->style & WS_TABSTOP)) firstTab = c;
    if (SendMessageA(&dlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param) && firstTab)
        g_layer.focus = firstTab;
    dlg.visible = true;
    if (!dlg.dialogEnded) backend().runDialog(dlg);
    INT_PTR result = dlg.dialogResult;
    destroyTree(&dlg, false);
    if (disable && alive(owner)) EnableWindow(owner, TRUE);
    return result;
}

BOOL EndDialog(HWND dlg, INT_PTR result) {
    if (!alive(dlg) || dlg->kind != WindowKind::Dialog) return FALSE;
    dlg->dialogEnded = true;
    dlg->dialogResult = result;
    return TRUE;
}

HWND GetDlgItem(HWND dlg, int id) {
    if (!alive(dlg)) return nullptr;
    for (HWND c : dlg->children)
        if (c->controlId == id && !c->destroyed) return c;
    return nullptr;
}

BOOL SetDlgItemTextA(HWND dlg, int id, LPCSTR text) { return SetWindowTextA(GetDlgItem(dlg, id), text); }

UINT GetDlgItemTextA(HWND dlg, int id, LPSTR buffer, int maxCount) {
    HWND c = GetDlgItem(dlg, id);
    if (!c) {
        if (buffer && maxCount > 0) buffer[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(c, buffer, maxCount));
}

BOOL CheckRadioButton(HWND dlg, int first, int last, int check) {
    if (!alive(dlg)) return FALSE;
    for (HWND c : dlg->children) {
        if (c->controlId < first || c->controlId > last) continue;
        bool want = c->controlId == check;
        if (c->checked != want) {
            c->checked = want;
            backend().windowChanged(*c);
        }
    }
    return TRUE;
}

LRESULT SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wp, LPARAM) {
    HWND c = GetDlgItem(dlg, id);
    if (!c) return 0;
    if (msg == BM_GETCHECK) return c->checked ? BST_CHECKED : BST_UNCHECKED;
    if (msg == BM_SETCHECK) {
        c->checked = wp == BST_CHECKED;
        backend().windowChanged(*c);
    }
    return 0;
}

namespace platform {

void ClickRadio(HWND control) {
    if (!alive(control) || !control->parent) return;
    auto& siblings = control->parent->children;
    auto at = std::find(siblings.begin(), siblings.end(), control);
    if (at == siblings.end()) return;
    // The group runs from the last control with the group style up to the next one.
    auto first = at;
    while (first != siblings.begin() && !((*first)->style & WS_GROUP)) --first;
    auto last = at + 1;
    while (last != siblings.end() && !((*last)->style & WS_GROUP)) ++last;
    for (auto it = first; it != last; ++it) {
        if ((*it)->control != ControlKind::RadioButton) continue;
        bool want = (*it == control);
        if ((*it)->checked != want) {
            (*it)->checked = want;
            backend().windowChanged(**it);
        }
    }
}

void SetControlText(HWND control, const std::string& text) {
    if (alive(control)) control->title = text;
}

void PressButton(HWND dialog, int id) {
    if (!alive(dialog)) return;
    HWND button = GetDlgItem(dialog, id);
    if (button && !button->enabled) return;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), 0),
                 reinterpret_cast<LPARAM>(button));
}

}  // namespace platform
