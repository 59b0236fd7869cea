#include "WaitService.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace {
std::unique_ptr<WaitService>& current() {
    static std::unique_ptr<WaitService> service;
    return service;
}
} // namespace

std::unique_ptr<WaitService> WaitService::setInstance(std::unique_ptr<WaitService> service) {
    std::swap(current(), service);
    return service;
}

WaitService& WaitService::instance() {
    if (!current())
        current() = std::make_unique<EventLoopWaitService>();
    return *current();
}

bool WaitService::waitUntil(int milliseconds, const std::function<bool()>& done, int step) {
    step = step < 1 ? 1 : step;
    pump();
    int waited = 0;
    while (!done()) {
        if (waited >= milliseconds)
            return false;
        const int slice = milliseconds - waited < step ? milliseconds - waited : step;
        waitAndPump(slice);
        waited += slice;
    }
    return true;
}

void EventLoopWaitService::waitAndPump(int milliseconds) {
    QDeadlineTimer deadline(milliseconds < 0 ? 0 : milliseconds);
    do {
        const qint64 left = deadline.remainingTime();
        // Waits for events for at most the time that is left, in short slices so that a
        // posted event without a wake-up never stretches the wait.
        QCoreApplication::processEvents(QEventLoop::AllEvents,
                                        static_cast<int>(left < 10 ? left : 10));
        if (!deadline.hasExpired())
            QThread::msleep(left < 5 ? static_cast<unsigned long>(left) : 5ul);
    } while (!deadline.hasExpired());
}

void EventLoopWaitService::pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
