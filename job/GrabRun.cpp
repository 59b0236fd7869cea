#include "GrabRun.h"

#include <QMetaObject>
#include <QPointer>

namespace cld {

// The job's observer, on the job's thread: figures go to the window as queued calls.
class GrabRun::Observer : public engine::JobObserver {
public:
    explicit Observer(GrabRun& run) : m_run(run) {}

    void itemStarted(const engine::ItemStart& start) override {
        m_status.item = start.index;
        m_status.count = start.count;
        m_status.percent = 0;
        send();
    }
    void progress(const engine::Progress& p) override {
        const engine::CdReadStatus& read = m_run.m_job.readStatus();
        m_status.count = p.count;
        m_status.trackIndex = read.trackIndex;
        m_status.percent = read.percent;
        m_status.peak = read.peak;
        m_status.jitterErrors = read.jitterErrors;
        m_status.progress = p;
        if (read.percent >= 100)
            m_status.itemsRead = std::max(m_status.itemsRead, m_status.item + 1);
        send();
    }
    void itemEnded(const engine::ItemEnd& end) override {
        std::lock_guard<std::mutex> hold(m_run.m_lock);
        m_run.m_ends.push_back(end);
    }
    engine::Answer ask(const engine::Question& question) override {
        engine::Answer answer = engine::Answer::Cancel;
        GrabRun* run = &m_run;
        QMetaObject::invokeMethod(
            run,
            [run, &question, &answer] {
                if (run->onQuestion)
                    answer = run->onQuestion(question);
            },
            Qt::BlockingQueuedConnection);
        return answer;
    }

private:
    void send() {
        // The window's copy: the call runs later on its thread, when this one moved on.
        const GrabRunStatus copy = m_status;
        GrabRun* run = &m_run;
        QMetaObject::invokeMethod(
            run, [run, copy] { run->show(copy); }, Qt::QueuedConnection);
    }

    GrabRun& m_run;
    GrabRunStatus m_status;
};

GrabRun::GrabRun(engine::CdPipeline& job, QObject* parent)
    : QObject(parent), m_job(job), m_observer(std::make_unique<Observer>(*this)) {}

GrabRun::~GrabRun() {
    if (m_thread.joinable()) {
        m_job.cancel();
        m_thread.join();
    }
}

void GrabRun::start() {
    m_thread = std::thread([this] {
        m_end = m_job.run(*m_observer);
        m_done.store(true);
    });
}

const engine::JobEnd& GrabRun::finish() {
    if (m_thread.joinable())
        m_thread.join();
    return m_end;
}

std::vector<engine::ItemEnd> GrabRun::itemEnds() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_ends;
}

void GrabRun::show(const GrabRunStatus& status) {
    if (onStatus)
        onStatus(status);
}

} // namespace cld
