// Several files put in place together: every earlier file is kept until
// all of them are in place and the streams written, so that a step that
// fails can put every one of them back.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <random>
#include <set>

#include "files/savesteps.h"

using namespace savesteps;

namespace {

SaveGroup* current = nullptr;

// How a file was put in place, and where its earlier file is kept until the
// group is complete.
struct Placed {
    enum { exchanged, kept, created } how;
    std::string earlier;  // exchanged: the temporary name; kept: the hidden one
};

// An exchange of two files that the file system does not offer.
bool noexchange(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

// Each step gives 0, or the errno value it failed with.
int exchange(const std::string& temp, const std::string& target) {
    if (const int error = injected(SaveStep::exchange, target)) return error;
    return renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0 ? 0 : errno;
}

// A rename, which must not replace a file when fresh is set (where the file
// system can tell).
int rename(const std::string& from, const std::string& to, bool fresh = false) {
    if (const int error = injected(SaveStep::rename, to)) return error;
    if (fresh && renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (fresh && !noexchange(errno)) return errno;
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int remove(const std::string& path) {
    if (const int error = injected(SaveStep::unlink, path)) return error;
    return unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
}

// A hidden name beside target, not taken yet when it was made.
std::string hiddenName(const std::string& target) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::string name = kKeepName.substr(0, kKeepName.size() - 6);
    for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
    return folderOf(target) + "/" + name;
}

// Copies the file at from to a new hidden file beside it, with its
// permissions, synced. Gives the copy's name in copy.
int copyBeside(const std::string& from, std::string& copy) {
    copy = folderOf(from) + "/" + kKeepName;
    const int out = mkostemp(copy.data(), O_CLOEXEC);
    if (out < 0) return errno;
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    int error = in < 0 ? errno : 0;
    struct stat st {};
    if (!error && fstat(in, &st) == 0) fchmod(out, st.st_mode & 07777);
    std::vector<char> chunk(1 << 16);
    while (!error) {
        const ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t at = 0; at < got && !error;) {
            const ssize_t n = ::write(out, chunk.data() + at, static_cast<std::size_t>(got - at));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) error = n < 0 ? errno : EIO;
            else at += n;
        }
    }
    if (!error && fsync(out) != 0) error = errno;
    if (in >= 0) close(in);
    if (close(out) != 0 && !error) error = errno;
    // A copy that failed is not needed: the earlier file is still in place.
    if (error) unlink(copy.c_str());
    return error;
}

// Keeps the earlier file at target under a hidden name beside it: a hard
// link, or a copy where the file system has no links.
int keepEarlier(const std::string& target, std::string& kept) {
    for (int tries = 0; tries < 100; ++tries) {
        kept = hiddenName(target);
        int error = injected(SaveStep::link, target);
        if (!error && link(target.c_str(), kept.c_str()) != 0) error = errno;
        if (!error) return 0;
        if (error != EEXIST) break;
    }
    return copyBeside(target, kept);
}

// Puts the file waiting at temp in place of target, keeping an earlier one.
int place(const std::string& temp, const std::string& target, std::optional<Placed>& placed) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0) {
        const int error = rename(temp, target, true);
        if (!error) placed = Placed{Placed::created, ""};
        return error;
    }
    // Whatever took the target's place meanwhile is not swapped away.
    if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
    int error = exchange(temp, target);
    if (!error) placed = Placed{Placed::exchanged, temp};
    if (!noexchange(error)) return error;
    // A file system that cannot exchange two files (FUSE, NFS).
    std::string kept;
    if ((error = keepEarlier(target, kept)) != 0) return error;
    if ((error = rename(temp, target)) != 0) {
        // The earlier file is still in place: its second name goes.
        unlink(kept.c_str());
        return error;
    }
    placed = Placed{Placed::kept, kept};
    return 0;
}

// Puts back the earlier file of a file that was put in place, and removes
// the new one. What cannot be put back or removed stays where it lies, and
// failure tells where and why.
void putBack(const std::string& temp, const std::string& target, const Placed& placed, SaveFailure& failure) {
    if (placed.how == Placed::created) {
        if (const int error = remove(target)) failure.leftover.emplace_back(target, error);
        return;
    }
    if (placed.how == Placed::exchanged && exchange(temp, target) == 0) {
        unlink(temp.c_str());  // now the new file
        return;
    }
    if (const int error = rename(placed.earlier, target))
        failure.stranded.push_back({target, placed.earlier, error});
}

}  // namespace

SaveGroup* savesteps::opengroup() { return current; }

SaveGroup::SaveGroup() { current = this; }

SaveGroup::~SaveGroup() {
    discard();
    if (current == this) current = nullptr;
}

bool SaveGroup::commit(SaveFailure& failure) {
    failure = SaveFailure{};
    std::vector<std::optional<Placed>> placed(waiting_.size());
    int error = 0;
    std::size_t at = 0;
    // The files first, then the streams, whose data cannot be taken back.
    for (; at < waiting_.size() && !error; ++at)
        if (!waiting_[at].temp.empty()) error = place(waiting_[at].temp, waiting_[at].target, placed[at]);
    for (std::size_t i = 0; i < waiting_.size() && !error; ++i) {
        Waiting& w = waiting_[i];
        if (!w.temp.empty()) continue;
        if (!pour(w.buffer, w.stream, w.target, failure.written, failure.size)) {
            error = errno;
            failure.stream = true;
            at = i + 1;
        }
    }
    if (error) {
        failure.path = waiting_[at - 1].target;
        failure.error = error;
        for (std::size_t i = waiting_.size(); i-- > 0;) {
            if (!placed[i]) continue;
            putBack(waiting_[i].temp, waiting_[i].target, *placed[i], failure);
            // Its temporary name is gone, holds the earlier file where that
            // could not be put back (never removed), or was removed.
            waiting_[i].temp.clear();
        }
        discard();
        errno = error;
        return false;
    }
    // Every file is in place: the earlier ones go.
    std::set<std::string> folders;
    for (std::size_t i = 0; i < waiting_.size(); ++i) {
        if (waiting_[i].temp.empty()) continue;
        if (placed[i] && placed[i]->how != Placed::created) unlink(placed[i]->earlier.c_str());
        folders.insert(folderOf(waiting_[i].target));
        waiting_[i].temp.clear();
    }
    discard();
    // The renames themselves must reach the disk too.
    for (const std::string& folder : folders) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            fsync(fd);
            close(fd);
        }
    }
    return true;
}

void SaveGroup::discard() {
    for (Waiting& w : waiting_) {
        if (!w.temp.empty()) unlink(w.temp.c_str());
        if (w.buffer) std::fclose(w.buffer);
        if (w.stream >= 0) close(w.stream);
    }
    waiting_.clear();
}
