// Many images: the --count batch, one process an image, as many at once as
// there are cores.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>

#include "batch/internal.h"

namespace zorv::batch {

namespace {

// One image of a --count batch: its process, what it printed, how it ended.
struct Image {
    pid_t pid = 0;
    int outfd = -1, errfd = -1;
    std::string out, err;
    int code = -1;  // the exit code once it has ended
};

bool writeall(int fd, const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

// Grows the --count images, one process each, as many at once as there are
// cores. Each image is a run of its own with seed S + i - 1 and numbered
// names, saved as one image is; what each prints comes out in image order,
// whatever order they end in. A stop signal ends the images under way
// (they remove what they had begun) and keeps those already written.
int runmany(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    StopSignals stopsignals;
    auto fail = [&](const std::string& text) {
        err << "zorv-dla-batch: " << text << "\n";
        return 2;
    };
    if (std::string why = checkbatch(o); !why.empty()) {
        if (!stopsignals.caught()) return fail(why);
        err << "zorv-dla-batch: interrupted by " << stopsignals.name() << "; nothing was written\n";
        return 128 + stopsignals.caught();
    }
    const int count = *o.count;
    const std::int64_t first = seedof(o);
    if (first + count - 1 > 0xFFFFFFFFll)
        return fail("--count: seeds " + std::to_string(first) + " to " + std::to_string(first + count - 1) +
                    " go past 4294967295");

    // The images' progress, in memory they share with this process.
    const std::size_t shared = sizeof(RunProgress) * static_cast<std::size_t>(count);
    void* memory = mmap(nullptr, shared, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return fail("--count: not enough memory for " + std::to_string(count) + " images");
    std::unique_ptr<void, std::function<void(void*)>> unmap(memory, [shared](void* p) { munmap(p, shared); });
    RunProgress* progress = static_cast<RunProgress*>(memory);
    for (int i = 0; i < count; ++i) new (progress + i) RunProgress();

    // The images share their frames folder, made once before they start.
    if (std::string why = makeframes(o); !why.empty()) return fail(why);

    std::vector<Image> images(static_cast<std::size_t>(count));
    // Starts image i in a process of its own. False when it cannot.
    auto start = [&](int i) {
        Image& image = images[static_cast<std::size_t>(i)];
        int outpipe[2], errpipe[2];
        if (pipe2(outpipe, O_CLOEXEC) != 0) return false;
        if (pipe2(errpipe, O_CLOEXEC) != 0) {
            close(outpipe[0]);
            close(outpipe[1]);
            return false;
        }
        BatchOptions one = imageof(o, i, first);
        one.progress = false;
        // Images and their threads share the cores.
        if (!one.threads) one.threads = std::max(1, cores() / std::min(count, cores()));
        one.report = progress + i;
        // The image's process gets the stop signals only once its own handler is there.
        const sigset_t stops = stopsignalset();
        sigset_t previous;
        sigprocmask(SIG_BLOCK, &stops, &previous);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // Should the batch die, its images stop too.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) raise(SIGTERM);
            close(outpipe[0]);
            close(errpipe[0]);
            std::ostringstream imageout, imageerr;
            const int code = runone(one, imageout, imageerr);
            writeall(outpipe[1], imageout.str());
            writeall(errpipe[1], imageerr.str());
            _exit(code);
        }
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        close(outpipe[1]);
        close(errpipe[1]);
        if (pid < 0) {
            close(outpipe[0]);
            close(errpipe[0]);
            return false;
        }
        image.pid = pid;
        image.outfd = outpipe[0];
        image.errfd = errpipe[0];
        return true;
    };

    const int jobs = std::min(count, cores());
    auto wallstart = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallstart).count(); };
    int next = 0, running = 0, ended = 0, shown = 0, written = 0, blocks = 0;
    bool stopping = false;
    ProgressLine progressline(err, o.columns);
    std::string cannotstart;
    int outerror = 0, errerror = 0;  // why standard output or error could not be written
    auto stop = [&] { return stopsignals.caught() || outerror || errerror; };
    for (;;) {
        while (!stop() && cannotstart.empty() && running < jobs && next < count) {
            if (!start(next)) {
                cannotstart = std::strerror(errno);
                break;
            }
            ++next;
            ++running;
        }
        if (running == 0) break;
        if (stop() && !stopping) {
            stopping = true;
            for (const Image& image : images)
                if (image.pid > 0 && image.code < 0) kill(image.pid, SIGTERM);
        }

        // Read what the images print; an image whose streams have closed has ended.
        std::vector<pollfd> fds;
        for (const Image& image : images)
            for (int fd : {image.outfd, image.errfd})
                if (fd >= 0) fds.push_back({fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 250);
        for (Image& image : images) {
            for (auto [fd, text] : {std::pair{&image.outfd, &image.out}, std::pair{&image.errfd, &image.err}}) {
                if (*fd < 0) continue;
                for (const pollfd& p : fds)
                    if (p.fd == *fd && p.revents) {
                        char buffer[4096];
                        const ssize_t n = ::read(*fd, buffer, sizeof buffer);
                        if (n > 0) text->append(buffer, static_cast<std::size_t>(n));
                        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                            close(*fd);
                            *fd = -1;
                        }
                    }
            }
            if (image.pid > 0 && image.code < 0 && image.outfd < 0 && image.errfd < 0) {
                int status = 0;
                while (waitpid(image.pid, &status, 0) < 0 && errno == EINTR) {
                }
                image.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                --running;
                ++ended;
                if (image.code == 0) ++written;
            }
        }

        // What the ended images printed, in image order.
        while (shown < count && images[static_cast<std::size_t>(shown)].code >= 0) {
            const Image& image = images[static_cast<std::size_t>(shown++)];
            progressline.clear();
            // An image stopped with the batch needs no line of its own.
            if (!(stopping && image.code > 128)) err << image.err << std::flush;
            if (!err && !errerror) errerror = errno ? errno : EIO;
            // Text blocks are a blank line apart; JSON is a line an image.
            if (!image.out.empty() && !o.json && blocks++ > 0) out << "\n";
            out << image.out << std::flush;
            // A standard output closed by its reader is a SIGPIPE; any other
            // failure stops the batch as well.
            if (!out && !outerror) outerror = errno ? errno : EIO;
        }

        if (o.progress && !stopping) {
            std::vector<Underway> underway;
            for (int i = 0; i < count; ++i) {
                const Image& image = images[static_cast<std::size_t>(i)];
                if (image.pid > 0 && image.code < 0)
                    underway.push_back({stemof(imageof(o, i, first)), progress[i].radius, progress[i].limit});
            }
            showcount(progressline, ended, count, underway, elapsed());
            if (!err && !errerror) errerror = errno ? errno : EIO;
        }
    }
    progressline.clear();
    if (!err && !errerror) errerror = errno ? errno : EIO;
    const std::string keptimages = written == count ? "every image was written"
                                                     : std::to_string(written) + " of " + std::to_string(count) +
                                                           " images were written, nothing of the others";
    if (stopsignals.caught()) {
        err << "zorv-dla-batch: interrupted by " << stopsignals.name() << "; " << keptimages << "\n";
        return 128 + stopsignals.caught();
    }
    if (outerror || errerror) {
        err.clear();
        err << "zorv-dla-batch: " << (outerror ? "standard output" : "standard error") << ": cannot write ("
            << std::strerror(outerror ? outerror : errerror) << "); " << keptimages << "\n";
        return 1;
    }
    if (!cannotstart.empty()) {
        err << "zorv-dla-batch: --count: cannot start image " << next + 1 << " (" << cannotstart << "); " << written
            << " of " << count << " images were written\n";
        return 1;
    }
    for (const Image& image : images)
        if (image.code != 0) return image.code;
    return 0;
}

}  // namespace

int cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

}  // namespace zorv::batch

int runbatch(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    return o.count ? zorv::batch::runmany(o, out, err) : zorv::batch::runone(o, out, err);
}
