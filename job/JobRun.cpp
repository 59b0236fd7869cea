#include "JobRun.h"

#include <QMetaObject>
#include <functional>

namespace cld {

// On the job's thread: each event goes to the window's thread as a copy.
class JobRun::Relay : public engine::JobObserver {
public:
    explicit Relay(JobRun& run) : m_run(run) {}

    void itemStarted(const engine::ItemStart& start) override {
        post([start](engine::JobObserver& front) { front.itemStarted(start); });
    }
    void progress(const engine::Progress& p) override {
        post([p](engine::JobObserver& front) { front.progress(p); });
    }
    void itemEnded(const engine::ItemEnd& end) override {
        post([end](engine::JobObserver& front) { front.itemEnded(end); });
    }
    void finished(const engine::JobEnd& end) override {
        post([end](engine::JobObserver& front) { front.finished(end); });
    }
    engine::Answer ask(const engine::Question& question) override {
        engine::Answer answer = engine::Answer::Cancel;
        JobRun* run = &m_run;
        QMetaObject::invokeMethod(
            run, [run, &question, &answer] { answer = run->m_front.ask(question); },
            Qt::BlockingQueuedConnection);
        return answer;
    }

private:
    void post(std::function<void(engine::JobObserver&)> call) {
        JobRun* run = &m_run;
        QMetaObject::invokeMethod(
            run, [run, call = std::move(call)] { call(run->m_front); }, Qt::QueuedConnection);
    }

    JobRun& m_run;
};

JobRun::JobRun(engine::Job& job, engine::JobObserver& front, QObject* parent)
    : QObject(parent), m_job(job), m_front(front), m_relay(std::make_unique<Relay>(*this)) {}

JobRun::~JobRun() {
    if (m_thread.joinable()) {
        m_job.cancel();
        m_thread.join();
    }
}

void JobRun::start() {
    m_thread = std::thread([this] {
        m_end = m_job.run(*m_relay);
        m_done.store(true);
    });
}

const engine::JobEnd& JobRun::finish() {
    if (m_thread.joinable())
        m_thread.join();
    return m_end;
}

} // namespace cld
