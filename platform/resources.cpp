// Resources as data of the program that owns them: icons, accelerator
// tables, menus and dialog templates, found by name or number.
#include <cstdint>
#include <vector>

#include "platform/layer.h"

using namespace platform::detail;

namespace {

template <typename T>
const T* findResource(const std::vector<NamedResource<T>>& list, LPCSTR name) {
    for (const auto& r : list) {
        if (IS_INTRESOURCE(name)) {
            if (r.id != 0 && r.id == static_cast<int>(reinterpret_cast<std::uintptr_t>(name))) return r.data;
        } else if (name && r.id == 0 && r.name == name) {
            return r.data;
        }
    }
    return nullptr;
}

}  // namespace

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (!instance) return nullptr;
    return findResource(instance->icons, name);
}

HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
    if (!instance) return nullptr;
    return findResource(instance->accelerators, name);
}

HMENU LoadMenuA(HINSTANCE instance, LPCSTR name) {
    if (!instance) return nullptr;
    return findResource(instance->menus, name);
}

namespace platform::detail {

const DialogTemplate* findDialogTemplate(HINSTANCE instance, LPCSTR name) {
    if (!instance) return nullptr;
    return findResource(instance->dialogs, name);
}

}  // namespace platform::detail
