// One image: grows it on the headless backend and writes its files.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>

#include "batch/internal.h"
#include "canvas/canvas.h"
#include "engine/parallel.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "files/savefile.h"
#include "files/targa.h"
#include "platform/headless/headless.h"

namespace zorv::batch {

namespace {

LRESULT BatchWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcA(hwnd, msg, wp, lp); }

// How far the seeding circle may go: out to 10 pixels from the border, or in
// to a radius of 10.
int radiuslimit() { return growth == 0 ? std::min(xres >> 1, yres >> 1) - 10 : 10; }

// The bytes of a stream that went into it before it failed.
std::string poured(const SaveFailure& save) {
    return std::to_string(save.written) + " of " + std::to_string(save.size) + " bytes into " + save.path;
}

// The end of a message on a failed save: that no file was changed, or each
// earlier file that could not be put back and where it lies now.
std::string aftermath(const SaveFailure& save) {
    std::string text;
    for (const SaveFailure::Stranded& s : save.stranded)
        text += "; " + s.target + " could not be put back (" + std::strerror(s.error) +
                "): its earlier version is now " + s.earlier;
    for (const auto& [target, error] : save.leftover)
        text += "; the new " + target + " could not be removed (" + std::strerror(error) + ")";
    if (!text.empty()) return text;
    return save.stream && save.written > 0 ? "; no other file was changed" : "; no file was changed";
}

// After a stop signal: one line, and the shell's code for a death by it.
int interrupted(const StopSignals& stopsignals, long frames, const std::string& framedir, std::ostream& err,
                const SaveFailure* save = nullptr) {
    err << "zorv-dla-batch: interrupted by " << stopsignals.name();
    const std::string framestext =
        frames > 0 ? std::to_string(frames) + " frame" + (frames == 1 ? "" : "s") + " in " + framedir : "";
    if (save && !(save->stranded.empty() && save->leftover.empty())) {
        err << aftermath(*save);
        if (frames > 0) err << "; " << framestext << " stay";
    } else {
        err << "; nothing was written";
        if (frames > 0) err << " but " << framestext;
        if (save && save->stream && save->written > 0) err << (frames > 0 ? " and " : " but ") << poured(*save);
    }
    err << "\n";
    return 128 + stopsignals.caught();
}

// Why a writer failed, from its code and errno.
std::string writeerror(int code, int error) {
    if (code == 2) return "not enough memory";
    return error ? std::string("cannot write (") + std::strerror(error) + ")" : "cannot write";
}

// After a write to standard output or error (stream) failed: closed by its
// reader (SIGPIPE) or another failure. What was written by then ends the
// line, which may not come through either.
int outputfailed(const char* stream, int error, const StopSignals& stopsignals, const std::string& written,
                 std::ostream& err) {
    err.clear();
    if (stopsignals.caught()) {
        err << "zorv-dla-batch: interrupted by " << stopsignals.name() << "; " << written << "\n";
        return 128 + stopsignals.caught();
    }
    err << "zorv-dla-batch: " << stream << ": " << writeerror(3, error) << "; " << written << "\n";
    return 1;
}

// Writes the image (a Targa or a PNG), the parameter file beside it, the
// PNG copy and the particle list as one: each goes to a temporary file, and
// only when all are complete are they moved into place together; those that
// name a stream are written into it then. Returns 0; 1 after one line
// naming the file that failed and why; or, after a stop signal, 128 + the
// signal. Whatever the outcome short of 0, the earlier file at each path is
// as it was, or the line says where it lies, and no temporary file with new
// data is left.
int saveoutputs(const BatchOptions& o, const PngText& text, Particles* points, long frames,
                const StopSignals& stopsignals, std::ostream& out, std::ostream& err) {
    SaveGroup group;
    std::string failed;
    int r = 0;
    errno = 0;
    if (!o.output.empty()) {
        tgafile = o.output;  // the parameter file goes beside it
        r = ispng(o.output) ? writepng(o.output, text) : writetga(g_vhdc);
        if (r != 0) failed = o.output;
        if (r == 0 && (r = writedla(1)) != 0) failed = sdlafile;
    }
    if (r == 0 && !o.png.empty() && (r = writepng(outputpath(o.png), text)) != 0) failed = o.png;
    if (r == 0 && points && !points->file().commit()) {
        r = 3;
        failed = o.points;
    }
    const int error = errno;
    if (stopsignals.caught()) {
        group.discard();
        return interrupted(stopsignals, frames, o.frames, err);
    }
    if (r != 0) {
        group.discard();
        err << "zorv-dla-batch: " << failed << ": " << writeerror(r, error) << "\n";
        return 1;
    }
    // What was printed comes before the data of a stream that is standard
    // output or error.
    out.flush();
    err.flush();
    // A signal from here on stops only the writing of streams (a pipe may
    // wait for its reader): the files are complete.
    SaveFailure save;
    if (group.commit(save)) return 0;
    if (stopsignals.caught()) return interrupted(stopsignals, frames, o.frames, err, &save);
    err << "zorv-dla-batch: " << save.path
        << (save.stream ? ": cannot write into the stream (" : ": cannot put the new file in place (")
        << std::strerror(save.error) << ")";
    if (save.stream && save.written > 0) err << " after " << save.written << " of " << save.size << " bytes";
    err << aftermath(save) << "\n";
    return 1;
}

}  // namespace

int runone(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    StopSignals stopsignals;
    auto fail = [&](const std::string& text) {
        err << "zorv-dla-batch: " << text << "\n";
        return 2;
    };
    if (std::string why = checkbatch(o); !why.empty())
        return stopsignals.caught() ? interrupted(stopsignals, 0, o.frames, err) : fail(why);
    const std::int64_t seed = seedof(o);
    // With a file poured into standard output, what the run says goes to
    // standard error.
    const bool aside = o.points == "-" || o.png == "-";
    std::ostream& says = aside ? err : out;
    const char* saysname = aside ? "standard error" : "standard output";

    headless::Backend screen;
    auto wallstart = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallstart).count(); };

    WNDCLASSA wc{};
    wc.lpfnWndProc = BatchWindowProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "ZORVBatch";
    RegisterClassA(&wc);
    // A one-pixel window: the image centre lies outside it, so the runs draw
    // on the canvas only.
    g_hWnd = CreateWindowExA(0, "ZORVBatch", "zorv-dla-batch", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                             nullptr);
    struct Release {
        ~Release() { releasecanvas(); }
    } release;
    const std::string wxh = std::to_string(xres) + "x" + std::to_string(yres);
    if (!createcanvas(g_hWnd)) return fail("--size: not enough memory for a " + wxh + " image");

    std::unique_ptr<Particles> points;
    if (!o.points.empty()) {
        points = std::make_unique<Particles>();
        if (!points->open(outputpath(o.points)))
            return fail("--points: cannot start '" + o.points + "' (not enough memory for a " + wxh +
                        " map of the particles, or the file cannot be made)");
    }
    SeedHook seedhook(points.get());
    if (std::string why = makeframes(o); !why.empty()) return fail(why);
    const PngText text = parametertext(o, seed);

    // The seed first, so that even a run cut short can be grown again.
    if (!o.quiet && !o.json) {
        says << "seed: " << seed << "\n" << std::flush;
        if (!says) return outputfailed(saysname, errno, stopsignals, "nothing was written", err);
    }

    long particles = 0, frames = 0;
    double lastshown = -1;
    std::string failed;  // a file whose write failed during growth
    int failederror = 0, progresserror = 0;
    const GrowthState& state = growth == 0 ? centrifugalstate() : centripetalstate();
    auto nextframe = [&] {
        errno = 0;
        failed = writeframe(o, text, frames + 1, particles);
        if (failed.empty()) ++frames;
        else failederror = errno;
    };
    zorv::grow::Hooks hooks;
    hooks.settled = [&] {
        ++particles;
        if (points) {
            points->settled(state);
            if (!points->ok() && failed.empty()) {
                failed = o.points;
                failederror = errno;
            }
        }
        if (!o.frames.empty() && particles % o.every == 0 && failed.empty()) nextframe();
        return failed.empty();
    };
    long polls = 0;
    ProgressLine progress(err, o.columns);
    hooks.poll = [&] {
        if (stopsignals.caught()) return false;
        // The clock is read at every 16th look only.
        if (polls++ % 16 != 0) return true;
        const double now = elapsed();
        // The statistics take their time from the tick count: let it follow the wall clock.
        screen.ticks = static_cast<DWORD>(now * 1000.0);
        if (o.report) {
            o.report->radius = state.radius;
            o.report->limit = radiuslimit();
            o.report->particles = particles;
        }
        if (o.progress && now - lastshown >= 0.25) {
            lastshown = now;
            showprogress(progress, state, radiuslimit(), particles, now);
            if (!err) {
                progresserror = errno;
                return false;
            }
        }
        return !stopsignals.caught();
    };
    zorv::grow::Options growing;
    growing.seed = static_cast<std::uint64_t>(seed);
    growing.threads = o.threads ? *o.threads : cores();
    growing.particles = o.particles.value_or(0);
    const zorv::grow::Result grown = zorv::grow::growimage(growing, hooks);
    const bool finished = grown.end == zorv::grow::End::COMPLETE || grown.end == zorv::grow::End::PARTICLES;
    if (o.report) {
        o.report->radius = state.radius;
        o.report->particles = particles;
    }
    if (points && !points->ok() && failed.empty()) {  // the seed list
        failed = o.points;
        failederror = errno;
    }
    // The last frame is the finished image.
    if (!o.frames.empty() && finished && !stopsignals.caught() && failed.empty() && particles % o.every != 0)
        nextframe();
    double growtime = elapsed();
    if (lastshown >= 0 && !progresserror) err << "\n";
    if (stopsignals.caught()) return interrupted(stopsignals, frames, o.frames, err);
    if (progresserror) return outputfailed("standard error", progresserror, stopsignals, "nothing was written", err);
    if (!failed.empty()) {
        err << "zorv-dla-batch: " << failed << ": " << writeerror(3, failederror) << "\n";
        return 1;
    }
    PngText imagetext = text;
    imagetext.push_back({"Particles", std::to_string(particles)});
    if (int r = saveoutputs(o, imagetext, points.get(), frames, stopsignals, says, err); r != 0) return r;
    const std::string written = o.output.empty() && o.png.empty() && o.points.empty() && frames == 0
                                    ? "there was no file to write"
                                    : "every file was written";
    if (!o.quiet || o.json) {
        report(o,
               Grown{.seed = seed, .state = state, .particles = particles, .growtime = growtime, .frames = frames,
                     .end = grown.end, .finalwalk = grown.finalwalk, .threads = growing.threads},
               says);
        says.flush();
        if (!says) return outputfailed(saysname, errno, stopsignals, written, err);
    }
    err.flush();
    if (!err) return outputfailed("standard error", errno, stopsignals, written, err);
    return 0;
}

}  // namespace zorv::batch
