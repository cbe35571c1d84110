#include "files/savefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string folderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The permissions a newly created file gets: 0666 less the umask.
mode_t newFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool SaveFile::open(const std::string& path) {
    discard();
    if (path.empty()) return false;
    target_ = path;

    struct stat st {};
    bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return false;
    if (exists && !S_ISREG(st.st_mode)) {
        file_ = std::fopen(path.c_str(), "wb");
        return file_ != nullptr;
    }
    if (exists) {
        // A file the user may not write is not replaced behind their back.
        if (access(path.c_str(), W_OK) != 0) return false;
        // Through a symbolic link: replace the file it names, keep the link.
        struct stat lst {};
        if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            if (char* real = realpath(path.c_str(), nullptr)) {
                target_ = real;
                std::free(real);
            }
        }
    }

    std::string pattern = folderOf(target_) + "/.zorv-dla-save-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    temp_ = name.data();
    // The new file takes the permissions of the one it replaces, or those
    // of any newly created file.
    fchmod(fd, exists ? (st.st_mode & 07777) : newFileMode());
    file_ = fdopen(fd, "wb");
    if (!file_) {
        close(fd);
        unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    return true;
}

bool SaveFile::write(const void* data, std::size_t bytes) {
    if (!file_) return false;
    if (bytes == 0) return true;
    return std::fwrite(data, bytes, 1, file_) == 1;
}

bool SaveFile::commit() {
    if (!file_) return false;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    // The data must be on the device before the old file is given up.
    if (ok && !temp_.empty()) ok = fsync(fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!temp_.empty()) {
        if (ok) ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
        if (!ok) unlink(temp_.c_str());
        temp_.clear();
    }
    return ok;
}

void SaveFile::discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}
