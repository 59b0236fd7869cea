#pragma once

#include "AudioEncoder.h"
#include "CodecJob.h"
#include "GenreList.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "MessageService.h"
#include "SettingsRecord.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <QString>
#include <QWidget>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace converttest {

// What the services saw and what they answer: recorded messages, scripted picker
// answers, and hooks that tests use to act in the middle of a batch (press Abort at a
// chosen moment).
struct ServiceScript {
    std::vector<Message> messages;
    std::deque<QString> folderAnswers;
    std::deque<QString> fileAnswers;
    std::vector<QString> pickerTitles;
    std::vector<int> waits;
    // Called for each message after it was recorded.
    std::function<void(const Message&)> onMessage;
    // The answer to a message (OK when not set).
    std::function<MessageResult(const Message&)> answer;
    // Called at each wait of a dialog, with the waits seen so far.
    std::function<void(int count)> onWait;
};

// A test's own world: a temporary folder, a private settings store, the program's
// built-in strings, the script above installed as the message, picker and wait
// services, and a job context over it all. The program folder is the build's bin
// folder (so the shipped media profiles are found).
class ConvertEnv {
public:
    ConvertEnv();
    ~ConvertEnv();
    ConvertEnv(const ConvertEnv&) = delete;
    ConvertEnv& operator=(const ConvertEnv&) = delete;

    std::filesystem::path path(const std::string& name) const { return m_dir.file(name); }
    const std::filesystem::path& root() const { return m_dir.path(); }
    std::vector<int> messageIds() const;

    cldtest::TempDir m_dir;
    cldtest::ScopedEnv m_registry;
    SettingsRecord settings;
    GenreList genres;
    JobContext context;
    std::shared_ptr<ServiceScript> script;
};

// The control of `dialog` with the given id.
template <class T> T* control(QWidget* dialog, int id) {
    return dialog->findChild<T*>(QString::number(id));
}

// Runs `action` once the next modal dialog is open and returns its id (0 when none).
void onNextDialog(const std::function<void(QWidget* dialog)>& action);

// Holds the job writing a file named `outputName` at one point of its worker until the
// test releases it, so that the test's action (Abort) always meets the job at that point.
class JobGate {
public:
    JobGate(CodecJob::WorkerPoint point, std::string outputName);
    ~JobGate();
    JobGate(const JobGate&) = delete;
    JobGate& operator=(const JobGate&) = delete;
    // The held job, or null while none is held.
    const CodecJob* held();
    void release();

private:
    CodecJob::WorkerPoint m_point;
    std::string m_name;
    std::mutex m_lock;
    std::condition_variable m_wake;
    const CodecJob* m_job = nullptr;
    bool m_released = false;
};

// Holds the engine's encoders of one name at their first block of audio until the test
// releases them: while it lives, the registry makes that name's encoders (of class
// `Real`) through it. `which` picks the encoders to hold by the tags they are opened
// with (every one when empty).
class EncoderGate {
public:
    using Maker = std::function<std::unique_ptr<cld::engine::AudioEncoder>(
        const cld::engine::EncoderOptions&)>;
    EncoderGate(const cld::engine::EncoderInfo& info, Maker real,
                std::function<bool(const AudioTags&)> which = {});
    ~EncoderGate();
    EncoderGate(const EncoderGate&) = delete;
    EncoderGate& operator=(const EncoderGate&) = delete;
    // How many encoders are held now.
    int held();
    void release();

private:
    class Gated;
    void hold();
    cld::engine::EncoderInfo m_info;
    Maker m_real;
    std::function<bool(const AudioTags&)> m_which;
    std::mutex m_lock;
    std::condition_variable m_wake;
    int m_held = 0;
    bool m_released = false;
};

// `job` in `mode`.
inline cld::engine::JobSpec inMode(cld::engine::JobSpec job, cld::engine::JobMode mode) {
    job.mode = mode;
    return job;
}

// A generated WAV of `seconds` of the standard test signal (44.1 kHz stereo 16-bit).
void writeTestWav(const std::filesystem::path& path, double seconds, int rate = 44100,
                  int channels = 2);

} // namespace converttest
