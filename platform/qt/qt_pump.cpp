// The clock and pumping: when the native events are due, pumping them, the
// modal loop boxes and dialogs run in, the tick count, the calendar time
// and sleep.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/qt/qt_backend.h"

namespace qtbackend {

bool Backend::pumpDue() {
    // The walk polls once per block of steps, and the layer looks here once
    // per 64 polls: some 40 microseconds apart, so the clock costs nothing
    // against the millisecond between pumps.
    return std::chrono::steady_clock::now() - lastPump_ >= std::chrono::milliseconds(1);
}

// The layer asks pumpDue() before it pumps without waiting.
void Backend::pump(bool wait) {
    QCoreApplication::processEvents(wait ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
    lastPump_ = std::chrono::steady_clock::now();
}

bool Backend::modalLoop(const std::function<bool()>& done) {
    for (;;) {
        if (done()) return true;
        if (!platform::RunModalTurn()) return false;
        if (done()) return true;
        flushDirty();
        if (platform::detail::g_queueFast.pending > 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void Backend::shown(QWidget* w) {
    if (onModalShown) onModalShown(w);
}

DWORD Backend::tickCount() {
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::int64_t Backend::calendarTime() { return static_cast<std::int64_t>(std::time(nullptr)); }

void Backend::sleep(DWORD ms) {
    // The thread waits in the toolkit: the windows keep painting, and input
    // made meanwhile becomes queue messages, so the program's first look at
    // its queue after the sleep finds whatever the user did.
    QDeadlineTimer deadline(static_cast<qint64>(ms), Qt::PreciseTimer);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        flushDirty();
        qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        wake.start(static_cast<int>(std::min<qint64>(left, 1 << 30)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastPump_ = std::chrono::steady_clock::now();
}

}  // namespace qtbackend
