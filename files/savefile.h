// Writing a file so that a failed save never damages what was at its path:
// the data goes to a temporary file beside the target, which is flushed,
// closed and then renamed over the target. A symbolic link at the path is
// followed (also one whose file does not exist yet) and kept.
//
// A path that names a stream is never replaced: one of the process's open
// descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N, or any
// name of the file, pipe or terminal such a descriptor writes to), or a
// character device such as /dev/null. The data waits in a nameless
// temporary file until it is complete and is then written into the stream
// as it stands: appended to a file opened for appending, poured into a
// pipe. Anything else that is not a regular file is refused.
//
// Files saved while a SaveGroup is open stay under their temporary names
// until the group moves them all into place together, so that several files
// that belong together are either all replaced or none is; streams are
// written once every file is in place.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
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
    // Flushes, syncs and closes the file and moves it into place (or writes
    // it into its stream), or hands it to the open SaveGroup. False when any
    // of that failed; then nothing new is left behind and an earlier file is
    // intact.
    bool commit();
    // Drops what was written; an earlier file at the path stays as it was.
    void discard();

private:
    std::FILE* file_ = nullptr;
    std::string target_;  // the path the data ends up at
    std::string temp_;    // the file being written; empty for a stream
    int stream_ = -1;     // the descriptor a stream's data goes into
};

// Why a SaveGroup could not be saved, and what it left where.
struct SaveFailure {
    std::string path;           // the file that could not be put in place, or the stream that could not be written
    int error = 0;              // why, as an errno value
    bool stream = false;        // path is a stream
    std::uintmax_t written = 0;  // bytes that went into the stream before it failed
    std::uintmax_t size = 0;     // of the stream's bytes
    // An earlier file that could not be put back: its path, where it lies now, and why.
    struct Stranded {
        std::string target, earlier;
        int error = 0;
    };
    std::vector<Stranded> stranded;
    // A new file, where there was none, that could not be taken away again, and why.
    std::vector<std::pair<std::string, int>> leftover;
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

    // Moves every waiting file into place, then writes the streams in the
    // order they were committed. An earlier file is kept until the end:
    // exchanged with its new one, or, where the file system cannot exchange
    // two files, under a hidden name beside it (a hard link, or a copy where
    // links are impossible). When a file cannot be moved or a stream cannot
    // be written, the files already moved are put back and failure tells
    // what happened; an earlier file that cannot be put back stays where
    // failure says, and is never removed.
    bool commit(SaveFailure& failure);
    // Removes every waiting file; the earlier files stay as they were.
    void discard();

private:
    friend class SaveFile;
    struct Waiting {
        std::string temp, target;  // temp empty: a stream
        std::FILE* buffer = nullptr;  // a stream's data
        int stream = -1;
    };
    std::vector<Waiting> waiting_;
};

// Why a save to path cannot succeed, found without writing anything: empty
// when it can go ahead. Refused are paths too long for their folder's file
// system (also for the temporary name), folders that are missing or not
// writable, targets that are folders, pipes, sockets or block devices or
// are not writable, symbolic links that loop, a missing name on the file
// system of /dev, where only device nodes belong, and a descriptor named
// that is not open for writing. Streams the process has open are accepted.
std::string cannotsave(const std::string& path);

// Why a file at path would have a name or path too long for the file
// system of folder, which must exist (the folder path would be made in):
// empty when it fits, also with the temporary name beside it.
std::string namestoolong(const std::string& path, const std::string& folder);

// The file a save to path replaces or creates: symbolic links followed to
// the end, its folder resolved to an absolute path. Two paths with the same
// savetarget are the same file. Empty when the folder cannot be resolved or
// the links loop.
std::string savetarget(const std::string& path);

// The descriptor of this process that a save to path writes into, or -1
// when path names no open stream; why tells what is wrong when path names a
// descriptor that cannot take the data.
int savestream(const std::string& path, std::string* why = nullptr);

// Non-zero makes every write fail, so that saves in progress end at once. A
// signal handler may set it.
extern volatile std::sig_atomic_t savecancelled;

// Test seam: when set, asked before every write; false makes that write fail
// as on a full disk.
extern std::function<bool()> savewritecheck;

// Test seam: when set, asked before each step that moves a file or writes a
// stream, with the path it is about; a non-zero errno value makes the step
// fail with it.
enum class SaveStep { exchange, rename, link, unlink, stream };
extern std::function<int(SaveStep step, const std::string& path)> savestepcheck;
