// Writing a file so that a failed save never damages what was at its path:
// the data goes to a temporary file beside the target, which is flushed,
// closed and then renamed over the target. A target that exists but is not
// a regular file (a device such as /dev/full, a pipe) cannot be replaced by
// a rename and is written directly.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class SaveFile {
public:
    SaveFile() = default;
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;
    ~SaveFile() { discard(); }

    // Prepares the file that will become path. False when it cannot be made
    // (no such folder, no permission, a folder in the way, an empty path).
    bool open(const std::string& path);
    // Writes bytes as one item. False when the write did not complete.
    bool write(const void* data, std::size_t bytes);
    // Flushes, closes and moves the file into place. False when any of that
    // failed; then nothing new is left behind and an earlier file is intact.
    bool commit();
    // Drops what was written; an earlier file at the path stays as it was.
    void discard();

private:
    std::FILE* file_ = nullptr;
    std::string target_;  // the path the data ends up at
    std::string temp_;    // the file being written; empty when writing the target itself
};
