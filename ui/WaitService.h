#pragma once

#include <functional>
#include <memory>

// Waiting while the user interface stays alive: the dialogs that drive long jobs from
// the user-interface thread wait in steps and keep handling window events meanwhile.
// Tests install a service that shortens or counts the waits.
class WaitService {
public:
    virtual ~WaitService() = default;

    // Waits about `milliseconds` while handling pending window events.
    virtual void waitAndPump(int milliseconds) = 0;
    // Handles the pending window events once, without waiting.
    virtual void pump() = 0;
    // Pumps, then waits in slices of `step` ms until `done` holds or about `milliseconds`
    // have passed; true when `done` held. A wait that follows an event ends soon after it.
    bool waitUntil(int milliseconds, const std::function<bool()>& done, int step = 10);

    static std::unique_ptr<WaitService> setInstance(std::unique_ptr<WaitService> service);
    static WaitService& instance();
};

// The standard service: pumps the event loop until the time is up.
class EventLoopWaitService : public WaitService {
public:
    void waitAndPump(int milliseconds) override;
    void pump() override;
};
