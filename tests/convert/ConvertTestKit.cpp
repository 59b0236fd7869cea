#include "ConvertTestKit.h"

#include "AppResources.h"
#include "BuiltinResources.h"
#include "MediaFixtures.h"
#include "PickerService.h"
#include "WaitService.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <thread>

namespace converttest {
namespace {

class ScriptMessages : public MessageService {
public:
    explicit ScriptMessages(std::shared_ptr<ServiceScript> s) : m_s(std::move(s)) {}
    MessageResult show(const Message& message) override {
        m_s->messages.push_back(message);
        if (m_s->onMessage)
            m_s->onMessage(message);
        return m_s->answer ? m_s->answer(message) : MessageResult::Ok;
    }

private:
    std::shared_ptr<ServiceScript> m_s;
};

class ScriptPickers : public PickerService {
public:
    explicit ScriptPickers(std::shared_ptr<ServiceScript> s) : m_s(std::move(s)) {}
    QString pickFolder(QWidget*, const QString& title, const QString&) override {
        return take(m_s->folderAnswers, title);
    }
    QString openFile(QWidget*, const QString& title, const QString&, const QString&) override {
        return take(m_s->fileAnswers, title);
    }
    QStringList openFiles(QWidget*, const QString& title, const QString&, const QString&) override {
        return {take(m_s->fileAnswers, title)};
    }
    QString saveFile(QWidget*, const QString& title, const QString&, const QString&) override {
        return take(m_s->fileAnswers, title);
    }

private:
    QString take(std::deque<QString>& answers, const QString& title) {
        m_s->pickerTitles.push_back(title);
        if (answers.empty())
            return {};
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
    std::shared_ptr<ServiceScript> m_s;
};

// Waits that really wait, but at most 2 ms, so that workers make progress while a batch
// polls them and the tests stay quick.
class ScriptWaits : public WaitService {
public:
    explicit ScriptWaits(std::shared_ptr<ServiceScript> s) : m_s(std::move(s)) {}
    void waitAndPump(int milliseconds) override {
        m_s->waits.push_back(milliseconds);
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, 2)));
        if (m_s->onWait)
            m_s->onWait(static_cast<int>(m_s->waits.size()));
    }
    void pump() override { QCoreApplication::processEvents(); }

private:
    std::shared_ptr<ServiceScript> m_s;
};

} // namespace

ConvertEnv::ConvertEnv()
    : m_registry("CLD_REGISTRY_DIR", m_dir.path().string() + "/registry"),
      context(settings, genres), script(std::make_shared<ServiceScript>()) {
    std::filesystem::create_directories(m_dir.path() / "registry");
    settings.LoadSettings();
    genres.buildGenreList();
    context.programFolder = QString::fromStdString((cldtest::binDir() / "").string());
    AppResources::setSource(std::make_unique<BuiltinResources>(nullptr, nullptr));
    MessageService::setInstance(std::make_unique<ScriptMessages>(script));
    PickerService::setInstance(std::make_unique<ScriptPickers>(script));
    WaitService::setInstance(std::make_unique<ScriptWaits>(script));
}

ConvertEnv::~ConvertEnv() {
    WaitService::setInstance(nullptr);
    PickerService::setInstance(nullptr);
    MessageService::setInstance(nullptr);
    AppResources::setSource(nullptr);
}

std::vector<int> ConvertEnv::messageIds() const {
    std::vector<int> ids;
    for (const Message& m : script->messages)
        ids.push_back(m.stringId);
    return ids;
}

void onNextDialog(const std::function<void(QWidget*)>& action) {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        }
    });
    timer->start();
}

JobGate::JobGate(CodecJob::WorkerPoint point, std::string outputName)
    : m_point(point), m_name(std::move(outputName)) {
    CodecJob::SetWorkerHook([this](const CodecJob& job, CodecJob::WorkerPoint p) {
        if (p != m_point || std::filesystem::path(job.GetOutput()).filename() != m_name)
            return;
        std::unique_lock lock(m_lock);
        m_job = &job;
        // Bounded, so that a test that never releases fails instead of hanging.
        m_wake.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
    });
}

JobGate::~JobGate() {
    release();
    CodecJob::SetWorkerHook({});
}

const CodecJob* JobGate::held() {
    std::lock_guard lock(m_lock);
    return m_released ? nullptr : m_job;
}

void JobGate::release() {
    {
        std::lock_guard lock(m_lock);
        m_released = true;
    }
    m_wake.notify_all();
}

// Passes everything to the real encoder; the first block of a held one waits at the gate.
class EncoderGate::Gated : public cld::engine::AudioEncoder {
public:
    Gated(EncoderGate& gate, std::unique_ptr<cld::engine::AudioEncoder> real)
        : m_gate(gate), m_real(std::move(real)) {}
    std::string extension() const override { return m_real->extension(); }
    bool open(const std::string& path, const cld::engine::PcmFormat& format, const AudioTags& tags,
              uint64_t expectedFrames, bool replaceExisting) override {
        m_hold = !m_gate.m_which || m_gate.m_which(tags);
        return m_real->open(path, format, tags, expectedFrames, replaceExisting);
    }
    bool write(const uint8_t* data, size_t bytes) override {
        if (m_hold) {
            m_hold = false;
            m_gate.hold();
        }
        return m_real->write(data, bytes);
    }
    bool finish() override { return m_real->finish(); }
    void abort() override { m_real->abort(); }
    std::string error() const override { return m_real->error(); }
    uint32_t errorDetail() const override { return m_real->errorDetail(); }
    bool nameTaken() const override { return m_real->nameTaken(); }
    cld::engine::EncoderFault fault() const override { return m_real->fault(); }

private:
    EncoderGate& m_gate;
    std::unique_ptr<cld::engine::AudioEncoder> m_real;
    bool m_hold = false;
};

EncoderGate::EncoderGate(const cld::engine::EncoderInfo& info, Maker real,
                         std::function<bool(const AudioTags&)> which)
    : m_info(info), m_real(std::move(real)), m_which(std::move(which)) {
    cld::engine::EncoderRegistry::instance().add(
        m_info, [this](const cld::engine::EncoderOptions& options) {
            return std::make_unique<Gated>(*this, m_real(options));
        });
}

EncoderGate::~EncoderGate() {
    release();
    // The encoders made from now on are the real ones again.
    cld::engine::EncoderRegistry::instance().add(m_info, m_real);
}

void EncoderGate::hold() {
    std::unique_lock lock(m_lock);
    ++m_held;
    // Bounded, so that a test that never releases fails instead of hanging.
    m_wake.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
    --m_held;
}

int EncoderGate::held() {
    std::lock_guard lock(m_lock);
    return m_held;
}

void EncoderGate::release() {
    {
        std::lock_guard lock(m_lock);
        m_released = true;
    }
    m_wake.notify_all();
}

void writeTestWav(const std::filesystem::path& path, double seconds, int rate, int channels) {
    const int frames = static_cast<int>(seconds * rate);
    codectest::writeWav(path, codectest::makeSignal(frames, rate, channels), rate, channels);
}

} // namespace converttest
