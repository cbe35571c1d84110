// The signals that stop a run while it lives: SIGINT (Ctrl-C), SIGTERM,
// SIGHUP (the terminal closed), SIGQUIT and SIGPIPE (a reader closed a pipe
// the run writes to).
#include <csignal>

#include "batch/internal.h"
#include "files/mapfile.h"

namespace zorv::batch {

namespace {

// The first signal that came, for the handler to write and the run to read:
// a later one (a SIGPIPE from the message on a closed standard error) does
// not change how the run ends.
volatile std::sig_atomic_t stopsignal = 0;

void onstopsignal(int signal) {
    if (stopsignal == 0) stopsignal = signal;
    savecancelled = 1;
    mapcancelled = 1;
}

}  // namespace

sigset_t stopsignalset() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : STOPSIGNALS) sigaddset(&set, signal);
    return set;
}

StopSignals::StopSignals() {
    stopsignal = 0;
    savecancelled = 0;
    mapcancelled = 0;
    struct sigaction action {};
    action.sa_handler = onstopsignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(STOPSIGNALS); ++i) sigaction(STOPSIGNALS[i], &action, &previous_[i]);
    const sigset_t stops = stopsignalset();
    sigprocmask(SIG_UNBLOCK, &stops, &previousmask_);
}

StopSignals::~StopSignals() {
    sigprocmask(SIG_SETMASK, &previousmask_, nullptr);
    for (std::size_t i = 0; i < std::size(STOPSIGNALS); ++i) sigaction(STOPSIGNALS[i], &previous_[i], nullptr);
    savecancelled = 0;
    mapcancelled = 0;
}

int StopSignals::caught() const { return stopsignal; }

const char* StopSignals::name() const {
    switch (stopsignal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    case SIGPIPE: return "SIGPIPE";
    default: return "a signal";
    }
}

}  // namespace zorv::batch
