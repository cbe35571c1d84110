// Kernel services: the clocks, sleep, the current directory and local memory.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/layer.h"

using namespace platform::detail;

DWORD GetTickCount() { return backend().tickCount(); }

void Sleep(DWORD ms) { backend().sleep(ms); }

std::string GetCurrentDirectoryString() {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string(".") : p.string();
}

DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    std::string dir = GetCurrentDirectoryString();
    if (!buffer || size <= dir.size()) return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

HLOCAL LocalAlloc(UINT flags, std::size_t bytes) {
    if (bytes == 0) bytes = 1;
    return (flags & LMEM_ZEROINIT) ? std::calloc(bytes, 1) : std::malloc(bytes);
}

HLOCAL LocalFree(HLOCAL mem) {
    std::free(mem);
    return nullptr;
}

std::int64_t CalendarTime() { return backend().calendarTime(); }
