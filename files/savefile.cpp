#include "files/savefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <set>

volatile std::sig_atomic_t savecancelled = 0;
std::function<bool()> savewritecheck;

namespace {

// The name the data is written under until it is complete.
const std::string kTempName = ".zorv-dla-save-XXXXXX";
// How many symbolic links are followed before they count as a loop.
constexpr int kMaxLinks = 40;

SaveGroup* opengroup = nullptr;

// The folder part of a path: "." for a bare name, "/" for a name in the root.
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
    // What the path leads to, as the system follows it (also through the
    // links of /proc, such as /dev/stdout).
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

    const std::string name = nameOf(target);
    const long namemax = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (namemax > 0 && name.size() > static_cast<std::size_t>(namemax))
        return "its name is " + std::to_string(name.size()) + " bytes long, more than the " +
               std::to_string(namemax) + " its folder allows";
    if (namemax > 0 && kTempName.size() > static_cast<std::size_t>(namemax))
        return "its folder allows names of only " + std::to_string(namemax) + " bytes";
    // The limit counts the terminating zero byte.
    const long pathmax = pathconf(folder.c_str(), _PC_PATH_MAX);
    const std::size_t temppath = folder.size() + 1 + kTempName.size();
    if (pathmax > 0 && target.size() >= static_cast<std::size_t>(pathmax))
        return tooLong(target.size(), pathmax - 1, "the path is");
    if (pathmax > 0 && temppath >= static_cast<std::size_t>(pathmax))
        return tooLong(temppath, pathmax - 1, "the path of the temporary file beside it would be");

    if (access(folder.c_str(), W_OK) != 0) return "its folder " + folder + " is not writable";
    // A file the user may not write is not replaced behind their back.
    if (exists && access(target.c_str(), W_OK) != 0) return "it is not writable";
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
    if (exists && S_ISCHR(st.st_mode)) {
        // Opened without O_CREAT: should the device vanish meanwhile, no
        // regular file is made in its place.
        target_ = path;
        int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        struct stat now {};
        if (fd >= 0 && fstat(fd, &now) == 0 && S_ISCHR(now.st_mode)) file_ = fdopen(fd, "wb");
        if (!file_ && fd >= 0) close(fd);
        return file_ != nullptr;
    }

    target_ = followLinks(path);
    std::string pattern = folderOf(target_) + "/" + kTempName;
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    temp_ = pattern;
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
    // The data must be on the device before the old file is given up.
    if (ok && !temp_.empty()) ok = fsync(fileno(file_)) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (temp_.empty()) return ok;
    if (ok && opengroup) {
        opengroup->waiting_.push_back({temp_, target_});
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
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

SaveGroup::SaveGroup() { opengroup = this; }

SaveGroup::~SaveGroup() {
    discard();
    if (opengroup == this) opengroup = nullptr;
}

bool SaveGroup::commit(std::string& failed) {
    // Each earlier file is exchanged with its new one rather than renamed
    // over, so that it lives on under the temporary name until every file
    // is in place and can be put back when a later one cannot be moved.
    enum Done { kSwapped, kCreated, kReplaced };
    std::vector<Done> done;
    int error = 0;
    for (const Waiting& w : waiting_) {
        const char* temp = w.temp.c_str();
        const char* target = w.target.c_str();
        struct stat st {};
        if (lstat(target, &st) == 0) {
            // Whatever took the target's place meanwhile is not swapped away.
            if (!S_ISREG(st.st_mode)) {
                error = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
                break;
            }
            if (renameat2(AT_FDCWD, temp, AT_FDCWD, target, RENAME_EXCHANGE) == 0) {
                done.push_back(kSwapped);
                continue;
            }
            // A file system without exchange: the earlier file cannot come back.
            if (errno == EINVAL && std::rename(temp, target) == 0) {
                done.push_back(kReplaced);
                continue;
            }
        } else {
            if (renameat2(AT_FDCWD, temp, AT_FDCWD, target, RENAME_NOREPLACE) == 0 ||
                (errno == EINVAL && std::rename(temp, target) == 0)) {
                done.push_back(kCreated);
                continue;
            }
        }
        error = errno;
        break;
    }
    if (done.size() < waiting_.size()) {
        failed = waiting_[done.size()].target;
        for (std::size_t i = done.size(); i-- > 0;) {
            const char* temp = waiting_[i].temp.c_str();
            const char* target = waiting_[i].target.c_str();
            if (done[i] == kSwapped) renameat2(AT_FDCWD, temp, AT_FDCWD, target, RENAME_EXCHANGE);
            if (done[i] == kCreated) std::rename(target, temp);
        }
        discard();
        errno = error;
        return false;
    }
    // The temporary names now hold the earlier files, or nothing.
    std::set<std::string> folders;
    for (const Waiting& w : waiting_) {
        unlink(w.temp.c_str());
        folders.insert(folderOf(w.target));
    }
    waiting_.clear();
    // The renames themselves must reach the disk too.
    for (const std::string& folder : folders) {
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }
    return true;
}

void SaveGroup::discard() {
    for (const Waiting& w : waiting_) unlink(w.temp.c_str());
    waiting_.clear();
}
