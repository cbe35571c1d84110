// Writing a file so that a failed save never damages what was at its path:
// the data goes to a temporary file beside the target, which is flushed,
// closed and then renamed over the target. A symbolic link at the path is
// followed (also one whose file does not exist yet) and kept. A character
// device such as /dev/null cannot be replaced by a rename and is written
// directly; anything else that is not a regular file is refused.
//
// Files saved while a SaveGroup is open stay under their temporary names
// until the group moves them all into place together, so that several files
// that belong together are either all replaced or none is.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class SaveFile {
public:
    SaveFile() = default;
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;
    ~SaveFile() { discard(); }

    // Prepares the file that will become path. False when it cannot be made
    // (see cannotsave).
    bool open(const std::string& path);
    // Writes bytes as one item. False when the write did not complete.
    bool write(const void* data, std::size_t bytes);
    // Flushes, syncs and closes the file and moves it into place, or hands
    // it to the open SaveGroup. False when any of that failed; then nothing
    // new is left behind and an earlier file is intact.
    bool commit();
    // Drops what was written; an earlier file at the path stays as it was.
    void discard();

private:
    std::FILE* file_ = nullptr;
    std::string target_;  // the path the data ends up at
    std::string temp_;    // the file being written; empty when writing a device
};

class SaveGroup {
public:
    // Opens the group: until it is closed, each committed SaveFile waits
    // under its temporary name. Groups do not nest.
    SaveGroup();
    // Closes the group, discarding what was not moved into place.
    ~SaveGroup();
    SaveGroup(const SaveGroup&) = delete;
    SaveGroup& operator=(const SaveGroup&) = delete;

    // Moves every waiting file into place. When one cannot be moved, the
    // files already moved are put back as they were and every temporary is
    // removed; then failed is the path that could not be replaced and
    // errno tells why.
    bool commit(std::string& failed);
    // Removes every waiting file; the earlier files stay as they were.
    void discard();

private:
    friend class SaveFile;
    struct Waiting {
        std::string temp, target;
    };
    std::vector<Waiting> waiting_;
};

// Why a save to path cannot succeed, found without writing anything: empty
// when it can go ahead. Refused are paths too long for their folder's file
// system (also for the temporary name), folders that are missing or not
// writable, targets that are folders, pipes, sockets or block devices or
// are not writable, symbolic links that loop, and a missing name on the
// file system of /dev, where only device nodes belong.
std::string cannotsave(const std::string& path);

// The file a save to path replaces or creates: symbolic links followed to
// the end, its folder resolved to an absolute path. Two paths with the same
// savetarget are the same file. Empty when the folder cannot be resolved or
// the links loop.
std::string savetarget(const std::string& path);

// Non-zero makes every write fail, so that saves in progress end at once. A
// signal handler may set it.
extern volatile std::sig_atomic_t savecancelled;

// Test seam: when set, asked before every write; false makes that write fail
// as on a full disk.
extern std::function<bool()> savewritecheck;
