// Streams as save targets: the descriptors of this process a name leads
// to, and the data poured into one once it is complete.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "files/savesteps.h"

namespace fs = std::filesystem;
using namespace savesteps;

namespace {

// How many symbolic links are followed before they count as a loop.
constexpr int kMaxLinks = 40;

// The descriptor a name gives by its form: /dev/stdin, /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N or
// /proc/PID/fd/N with this process's id; -1 for any other name.
int namedDescriptor(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error) return -1;
    const std::string name = absolute.lexically_normal().string();
    if (name == "/dev/stdin") return 0;
    if (name == "/dev/stdout") return 1;
    if (name == "/dev/stderr") return 2;
    for (const std::string& prefix :
         {std::string("/dev/fd/"), std::string("/proc/self/fd/"), std::string("/proc/thread-self/fd/"),
          "/proc/" + std::to_string(getpid()) + "/fd/"}) {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        int fd = -1;
        const char* end = name.data() + name.size();
        auto [at, ec] = std::from_chars(name.data() + prefix.size(), end, fd);
        if (ec == std::errc() && at == end && fd >= 0) return fd;
    }
    return -1;
}

// Whether fd is open and data can be written into it.
bool writable(int fd, bool& open) {
    const int flags = fcntl(fd, F_GETFL);
    open = flags != -1;
    return open && (flags & O_PATH) == 0 && (flags & O_ACCMODE) != O_RDONLY;
}

// The descriptors open in this process, in ascending order.
std::vector<int> openDescriptors() {
    std::vector<int> fds;
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir("/proc/self/fd"), closedir);
    if (!folder) {
        const long most = std::min(sysconf(_SC_OPEN_MAX), 65536L);
        for (int fd = 0; fd < most; ++fd)
            if (fcntl(fd, F_GETFD) != -1) fds.push_back(fd);
        return fds;
    }
    const int own = dirfd(folder.get());
    while (const dirent* entry = readdir(folder.get())) {
        int fd = -1;
        const std::string name = entry->d_name;
        auto [at, ec] = std::from_chars(name.data(), name.data() + name.size(), fd);
        if (ec == std::errc() && at == name.data() + name.size() && fd != own) fds.push_back(fd);
    }
    std::sort(fds.begin(), fds.end());
    return fds;
}

}  // namespace

int savestream(const std::string& path, std::string* why) {
    // A name of the form /dev/fd/N, also at the end of symbolic links.
    std::string hop = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        if (const int fd = namedDescriptor(hop); fd >= 0) {
            bool open = false;
            if (writable(fd, open)) return fd;
            if (why)
                *why = "it names descriptor " + std::to_string(fd) + ", which is not open" +
                       (open ? " for writing" : "");
            return -1;
        }
        struct stat st {};
        if (lstat(hop.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::string link(PATH_MAX, '\0');
        const ssize_t n = readlink(hop.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) break;
        link.resize(static_cast<std::size_t>(n));
        hop = link.front() == '/' ? link : folderOf(hop) + "/" + link;
    }
    // Any other name of what a descriptor writes to.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    for (const int fd : openDescriptors()) {
        struct stat open {};
        bool isopen = false;
        if (fstat(fd, &open) == 0 && open.st_dev == st.st_dev && open.st_ino == st.st_ino && writable(fd, isopen))
            return fd;
    }
    return -1;
}

namespace savesteps {

std::FILE* namelessfile() {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // A file system without nameless files: a name, given up at once.
        std::string pattern = folder + "/" + kTempName;
        fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) unlink(pattern.c_str());
    }
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "w+b");
    if (!file) close(fd);
    return file;
}

bool pour(std::FILE* buffer, int fd, const std::string& target, std::uintmax_t& written, std::uintmax_t& size) {
    written = 0;
    size = 0;
    if (std::fflush(buffer) != 0) return false;
    const int in = fileno(buffer);
    const off_t end = lseek(in, 0, SEEK_END);
    if (end < 0 || lseek(in, 0, SEEK_SET) != 0) return false;
    size = static_cast<std::uintmax_t>(end);
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR && !savecancelled) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            // A stream may take its time (a pipe whose reader waits): a stop ends the wait.
            if (savecancelled) {
                errno = EINTR;
                return false;
            }
            if (const int error = injected(SaveStep::stream, target); error != 0) {
                errno = error;
                return false;
            }
            const ssize_t n = ::write(fd, chunk.data() + at, static_cast<std::size_t>(got) - at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = EIO;
                return false;
            }
            at += static_cast<std::size_t>(n);
            written += static_cast<std::uintmax_t>(n);
        }
    }
}

}  // namespace savesteps
