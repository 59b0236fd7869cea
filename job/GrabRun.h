#pragma once

#include "CdPipeline.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cld {

// Where a CD job stands, as the window shows it.
struct GrabRunStatus {
    size_t item = 0;     // the grab's track being read (in the order given)
    size_t count = 0;    // tracks in the grab
    int trackIndex = -1; // on the disc
    int percent = 0;     // of that track's read, 0..100
    int peak = 0;
    int jitterErrors = 0;
    size_t itemsRead = 0; // tracks read to their end so far
    // The job's last figures: the tracks encoding (the first one's share of its encoding
    // in itemPosition), the audio and bytes done, the time.
    engine::Progress progress;
};

// Runs a CD pipeline on a thread of its own (the grabber's and the CD encoding jobs'). What
// the job reports reaches the window's thread as queued calls (the thread never touches a
// widget); a question the job asks waits for the window's answer. Create it, start() it, and keep
// the window's events flowing until done(); the destructor cancels and joins a job that still runs.
class GrabRun : public QObject {
    Q_OBJECT
public:
    explicit GrabRun(engine::CdPipeline& job, QObject* parent = nullptr);
    ~GrabRun() override;

    // Called on the window's thread: where the read stands, as it changes.
    std::function<void(const GrabRunStatus&)> onStatus;
    // Called on the window's thread while the job waits for the answer.
    std::function<engine::Answer(const engine::Question&)> onQuestion;

    void start();
    void cancel() { m_job.cancel(); }
    bool done() const { return m_done.load(); }
    // Waits for the thread (call once done() holds), then returns how the job ended.
    const engine::JobEnd& finish();
    // Every item's end, in order (complete once done() holds).
    std::vector<engine::ItemEnd> itemEnds() const;

private:
    class Observer;
    void show(const GrabRunStatus& status);

    engine::CdPipeline& m_job;
    std::unique_ptr<Observer> m_observer;
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    engine::JobEnd m_end;
    mutable std::mutex m_lock;
    std::vector<engine::ItemEnd> m_ends;
};

} // namespace cld
