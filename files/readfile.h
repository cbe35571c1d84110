// Opening an input file that must be a regular file.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

// Opens path for reading with the stdio mode given, or gives nullptr when it
// cannot be opened or is not a regular file. A named pipe is refused
// without waiting for a writer, a device without being read.
inline std::FILE* openregular(const std::string& path, const char* mode) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    std::FILE* file = nullptr;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fcntl(fd, F_SETFL, 0) == 0) file = fdopen(fd, mode);
    if (!file) close(fd);
    return file;
}
