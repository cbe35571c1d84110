// SIGINT and SIGTERM while a run lives.
#include <csignal>

#include "batch/internal.h"

namespace zorv::batch {

namespace {

// The signal that came, for the handler to write and the run to read.
volatile std::sig_atomic_t stopsignal = 0;

void onstopsignal(int signal) {
    stopsignal = signal;
    savecancelled = 1;
}

}  // namespace

StopSignals::StopSignals() {
    stopsignal = 0;
    savecancelled = 0;
    struct sigaction action {};
    action.sa_handler = onstopsignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousint_);
    sigaction(SIGTERM, &action, &previousterm_);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &stops, &previousmask_);
}

StopSignals::~StopSignals() {
    sigprocmask(SIG_SETMASK, &previousmask_, nullptr);
    sigaction(SIGINT, &previousint_, nullptr);
    sigaction(SIGTERM, &previousterm_, nullptr);
    savecancelled = 0;
}

int StopSignals::caught() const { return stopsignal; }

const char* StopSignals::name() const { return stopsignal == SIGINT ? "SIGINT" : "SIGTERM"; }

}  // namespace zorv::batch
