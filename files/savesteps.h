// What the parts of the atomic save share among themselves: savefile.cpp
// (the files and the checks), savestream.cpp (streams) and savegroup.cpp
// (several files put in place together).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "files/savefile.h"

namespace savesteps {

// The name the data is written under until it is complete, and the one an
// earlier file is kept under while a group is put in place where the file
// system cannot exchange two files. Both are as long.
inline const std::string kTempName = ".zorv-dla-save-XXXXXX";
inline const std::string kKeepName = ".zorv-dla-keep-XXXXXX";

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);

// The errno value the test seam makes step fail with, or 0.
int injected(SaveStep step, const std::string& path);

// The group open now, or nullptr; a committed SaveFile waits in it.
SaveGroup* opengroup();

// A temporary file without a name, in $TMPDIR or /tmp, for a stream's data
// until it is complete; nullptr when none can be made.
std::FILE* namelessfile();

// Writes all that buffer holds into the descriptor fd, target being the
// name the stream was given. False, with errno set, when a write fails or a
// stop is asked for (savecancelled); written then says how many bytes went
// in, of size.
bool pour(std::FILE* buffer, int fd, const std::string& target, std::uintmax_t& written, std::uintmax_t& size);

}  // namespace savesteps
