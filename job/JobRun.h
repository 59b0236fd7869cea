#pragma once

#include "Job.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <thread>

namespace cld {

// Runs an engine job on a thread of its own for a window: every event the job reports
// reaches `front` on the window's thread as a queued call, in order, and a question the
// job asks waits for `front`'s answer there. The job's own waits sleep on its thread; the
// window keeps its events flowing until done(). The destructor cancels and joins a job
// that still runs.
class JobRun : public QObject {
    Q_OBJECT
public:
    JobRun(engine::Job& job, engine::JobObserver& front, QObject* parent = nullptr);
    ~JobRun() override;

    void start();
    bool done() const { return m_done.load(); }
    // Waits for the thread (call once done() holds) and returns how the job ended. The
    // events still queued for the window reach `front` when its events next flow.
    const engine::JobEnd& finish();

private:
    class Relay;
    engine::Job& m_job;
    engine::JobObserver& m_front;
    std::unique_ptr<Relay> m_relay;
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    engine::JobEnd m_end;
};

} // namespace cld
