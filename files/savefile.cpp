#include "files/savefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "files/savesteps.h"

volatile std::sig_atomic_t savecancelled = 0;
std::function<bool()> savewritecheck;
std::function<int(SaveStep, const std::string&)> savestepcheck;

namespace savesteps {

std::string folderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int injected(SaveStep step, const std::string& path) { return savestepcheck ? savestepcheck(step, path) : 0; }

}  // namespace savesteps

namespace {

using namespace savesteps;

// How many symbolic links are followed before they count as a loop.
constexpr int kMaxLinks = 40;

// Path with every symbolic link at its end followed, also to a file that
// does not exist yet; empty when the links loop.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(PATH_MAX, '\0');
        ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return path;
        link.resize(static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    return {};
}

// Whether folder lies on the file system mounted at /dev, where a regular
// file in place of a missing device would mislead whatever expects it.
bool onDeviceFileSystem(const std::string& folder) {
    struct stat dev {}, root {}, here {};
    if (stat("/dev", &dev) != 0 || stat("/", &root) != 0 || stat(folder.c_str(), &here) != 0) return false;
    return dev.st_dev != root.st_dev && here.st_dev == dev.st_dev;
}

// The permissions a newly created file gets: 0666 less the umask.
mode_t newFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

std::string tooLong(std::size_t length, long limit, const char* what) {
    return std::string(what) + " " + std::to_string(length) + " bytes long, more than the " + std::to_string(limit) +
           " the system allows";
}

}  // namespace

std::string cannotsave(const std::string& path) {
    if (path.empty()) return "the name is empty";
    if (path.size() >= PATH_MAX) return tooLong(path.size(), PATH_MAX - 1, "the path is");
    // A stream this process has open takes the data as it stands.
    std::string why;
    if (savestream(path, &why) >= 0) return "";
    if (!why.empty()) return why;
    // What the path leads to, as the system follows it (also through the
    // links of /proc).
    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return "it is a folder";
    if (exists && S_ISCHR(st.st_mode)) return access(path.c_str(), W_OK) == 0 ? "" : "it is not writable";
    if (exists && !S_ISREG(st.st_mode)) return "it is neither a regular file nor a character device";
    const std::string target = followLinks(path);
    if (target.empty()) return "it is a symbolic link that loops";
    if (target.size() >= PATH_MAX) return tooLong(target.size(), PATH_MAX - 1, "the path it links to is");

    const std::string folder = folderOf(target);
    struct stat fst {};
    if (stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode)) return "its folder " + folder + " does not exist";
    if (!exists && onDeviceFileSystem(folder))
        return "it does not exist, and only devices belong in " + folder;
    if (std::string toolong = namestoolong(target, folder); !toolong.empty()) return toolong;

    if (access(folder.c_str(), W_OK) != 0) return "its folder " + folder + " is not writable";
    // A file the user may not write is not replaced behind their back.
    if (exists && access(target.c_str(), W_OK) != 0) return "it is not writable";
    return "";
}

std::string namestoolong(const std::string& path, const std::string& folder) {
    const std::string name = nameOf(path);
    const long namemax = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (namemax > 0 && name.size() > static_cast<std::size_t>(namemax))
        return "its name is " + std::to_string(name.size()) + " bytes long, more than the " +
               std::to_string(namemax) + " its folder allows";
    if (namemax > 0 && kTempName.size() > static_cast<std::size_t>(namemax))
        return "its folder allows names of only " + std::to_string(namemax) + " bytes";
    // The limit counts the terminating zero byte.
    const long pathmax = pathconf(folder.c_str(), _PC_PATH_MAX);
    const std::size_t temppath = folderOf(path).size() + 1 + kTempName.size();
    if (pathmax > 0 && path.size() >= static_cast<std::size_t>(pathmax))
        return tooLong(path.size(), pathmax - 1, "the path is");
    if (pathmax > 0 && temppath >= static_cast<std::size_t>(pathmax))
        return tooLong(temppath, pathmax - 1, "the path of the temporary file beside it would be");
    return "";
}

std::string savetarget(const std::string& path) {
    const std::string target = followLinks(path);
    if (target.empty()) return {};
    char* folder = realpath(folderOf(target).c_str(), nullptr);
    if (!folder) return {};
    std::string resolved = folder;
    std::free(folder);
    return (resolved == "/" ? "" : resolved) + "/" + nameOf(target);
}

bool SaveFile::open(const std::string& path) {
    discard();
    if (!cannotsave(path).empty()) return false;

    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    const int fd = savestream(path);
    if (fd >= 0) {
        stream_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    } else if (exists && S_ISCHR(st.st_mode)) {
        // Opened without O_CREAT: should the device vanish meanwhile, no
        // regular file is made in its place.
        stream_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        struct stat now {};
        if (stream_ >= 0 && (fstat(stream_, &now) != 0 || !S_ISCHR(now.st_mode))) {
            close(stream_);
            stream_ = -1;
            return false;
        }
    }
    if (fd >= 0 || (exists && S_ISCHR(st.st_mode))) {
        target_ = path;
        if (stream_ >= 0) file_ = namelessfile();
        if (!file_) discard();
        return file_ != nullptr;
    }

    target_ = followLinks(path);
    std::string pattern = folderOf(target_) + "/" + kTempName;
    const int tempfd = mkostemp(pattern.data(), O_CLOEXEC);
    if (tempfd < 0) return false;
    temp_ = pattern;
    // The new file takes the permissions of the one it replaces, or those
    // of any newly created file.
    fchmod(tempfd, exists ? (st.st_mode & 07777) : newFileMode());
    file_ = fdopen(tempfd, "wb");
    if (!file_) {
        close(tempfd);
        unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    return true;
}

bool SaveFile::write(const void* data, std::size_t bytes) {
    if (!file_) return false;
    if (savecancelled) {
        errno = EINTR;
        return false;
    }
    if (savewritecheck && !savewritecheck()) {
        errno = ENOSPC;
        return false;
    }
    if (bytes == 0) return true;
    return std::fwrite(data, bytes, 1, file_) == 1;
}

bool SaveFile::commit() {
    if (!file_) return false;
    bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
    if (stream_ >= 0) {
        // A stream's data goes in once it is complete: now, or with the group.
        if (ok && opengroup()) {
            opengroup()->waiting_.push_back({"", target_, file_, stream_});
            file_ = nullptr;
            stream_ = -1;
            return true;
        }
        std::uintmax_t written = 0, size = 0;
        ok = ok && pour(file_, stream_, target_, written, size);
        discard();
        return ok;
    }
    // The data must be on the device before the old file is given up.
    if (ok) ok = fsync(fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (ok && opengroup()) {
        opengroup()->waiting_.push_back({temp_, target_});
        temp_.clear();
        return true;
    }
    if (ok) ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) unlink(temp_.c_str());
    temp_.clear();
    return ok;
}

void SaveFile::discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (stream_ >= 0) close(stream_);
    stream_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}
