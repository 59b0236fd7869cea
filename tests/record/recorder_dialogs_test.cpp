#include "AlsaTestDevices.h"
#include "AppTestKit.h"
#include "CMIC2MP3ProgressDlg.h"
#include "CMIC2MP3SettingsDlg.h"
#include "CMIC2WMAProgressDlg.h"
#include "CMIC2WMASettingsDlg.h"
#include "CSignalMonitor.h"
#include "CaptureDevices.h"
#include "GenreList.h"
#include "JobContext.h"
#include "Mp3RecorderEngine.h"
#include "PickerService.h"
#include "Processes.h"
#include "RecorderSession.h"
#include "RecorderUi.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "WmEncoderControl.h"
#include "WmaRecorderEncoder.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// Answers every folder question with a prepared folder.
class FolderAnswer : public PickerService {
public:
    explicit FolderAnswer(QString answer) : m_answer(std::move(answer)) {}
    QString pickFolder(QWidget*, const QString&, const QString&) override { return m_answer; }
    QString openFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QStringList openFiles(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }

private:
    QString m_answer;
};

template <class T> T* control(QWidget& dlg, int id) {
    T* widget = dlg.findChild<T*>(QString::number(id));
    EXPECT_NE(widget, nullptr) << "control " << id;
    return widget;
}

int deviceNumber(const std::string& pcmName) {
    const auto devices = cld::listCaptureDevices();
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].pcmName == pcmName)
            return static_cast<int>(i);
    return -1;
}

// Runs the event loop until `done` holds; false when it still did not after the hang limit.
bool spinUntil(const std::function<bool()>& done) {
    return cldtest::waitUntil([&] {
        QCoreApplication::processEvents();
        return done();
    });
}

// The MP3 recorder, counting the bytes it encoded: the length its file must have.
class CountingMp3Engine : public cld::Mp3RecorderEngine {
public:
    ~CountingMp3Engine() override { Stop(); }
    std::atomic<size_t> bytes{0};
    double seconds() const {
        const cld::WaveInFormat f = GetFormat();
        return static_cast<double>(bytes.load()) /
               (static_cast<double>(f.channels) * f.sampleRate * f.bitsPerSample / 8);
    }

protected:
    size_t Consume(const uint8_t* data, size_t n) override {
        bytes += n;
        return Mp3RecorderEngine::Consume(data, n);
    }
};

int64_t wmaEncodedMilliseconds() {
    WmEncoderControl* encoder = cld::WmaRecorderEncoder::Current();
    return encoder ? encoder->GetStatistics().encodedMilliseconds : 0;
}

class RecorderDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { cldtest::AlsaTestDevices::get(); }
    RecorderDialogs() {
        m_jobs.programFolder = QString::fromStdString(cldtest::binDir().string()) + "/";
        cld::WmaRecorderEncoder::SetFactory(
            [] { return std::make_unique<WmEncoderControl>(CLD_PROFILE_SOURCE_DIR, ""); });
    }
    ~RecorderDialogs() override { cld::WmaRecorderEncoder::SetFactory({}); }

    cldtest::TempDir m_dir;
    cldtest::ScopedEnv m_registry{"CLD_REGISTRY_DIR", (m_dir.path() / "registry").string()};
    cldtest::ProgramResourcesScope m_resources;
    cldtest::MessageScope m_messages;
    SettingsRecord m_settings;
    GenreList m_genres;
    JobContext m_jobs{m_settings, m_genres};
};

} // namespace

TEST_F(RecorderDialogs, Mp3SettingsProposeTheFolderFollowTheSliderAndListUsableDevices) {
    m_settings.setLastWMAOutFolder((m_dir.path() / "music/").string());
    CMIC2MP3SettingsDlg dlg(m_jobs);
    auto* folder = control<QLineEdit>(dlg, CMIC2MP3SettingsDlg::kFolder);
    EXPECT_EQ(folder->text().toStdString(), (m_dir.path() / "music/MP3Recorder").string());
    auto* list = control<QComboBox>(dlg, CMIC2MP3SettingsDlg::kBitrateList);
    EXPECT_TRUE(list->currentText().startsWith("128"));
    auto* slider = control<QSlider>(dlg, CMIC2MP3SettingsDlg::kSlider);
    EXPECT_EQ(slider->value(), 128);
    EXPECT_EQ(control<QLabel>(dlg, CMIC2MP3SettingsDlg::kPrompt)->text(),
              "Please select the encoding bitrate:");
    control<QAbstractButton>(dlg, CMIC2MP3SettingsDlg::kVbr)->click();
    EXPECT_EQ(control<QLabel>(dlg, CMIC2MP3SettingsDlg::kPrompt)->text(),
              "Please select the minimum VBR bitrate:");
    emit slider->sliderMoved(100);
    EXPECT_TRUE(list->currentText().startsWith("96 "));
    emit slider->sliderMoved(150);
    EXPECT_TRUE(list->currentText().startsWith("96 "));

    auto* devices = control<QComboBox>(dlg, CMIC2MP3SettingsDlg::kDevices);
    QStringList names;
    for (int i = 0; i < devices->count(); ++i)
        names << devices->itemText(i);
    EXPECT_TRUE(names.contains("Test line22"));
    // A device that another program holds stays in the list, marked; the start says why
    // it cannot record, as it does for a device without a usable format.
    EXPECT_TRUE(names.contains("Test busy (in use by another program)"))
        << names.join(", ").toStdString();
    EXPECT_TRUE(names.contains("Test dead"));
    for (const QString& name : names)
        EXPECT_FALSE(name.contains("null") || name.contains("upmixer")) << name.toStdString();

    // Browsing writes the remembered folder and proposes below it; an empty answer warns.
    auto old = PickerService::setInstance(std::make_unique<FolderAnswer>(QString()));
    control<QAbstractButton>(dlg, CMIC2MP3SettingsDlg::kBrowse)->click();
    ASSERT_EQ(m_messages.messages().size(), 1u);
    EXPECT_EQ(m_messages.messages()[0].stringId, 124);
    const QString chosen = QString::fromStdString((m_dir.path() / "rec").string());
    PickerService::setInstance(std::make_unique<FolderAnswer>(chosen));
    control<QAbstractButton>(dlg, CMIC2MP3SettingsDlg::kBrowse)->click();
    PickerService::setInstance(std::move(old));
    EXPECT_EQ(folder->text(), chosen + "/MP3Recorder");
    EXPECT_EQ(m_settings.lastWMAOutFolder(), chosen.toStdString());

    // OK with an empty folder stays; with a folder it makes it and hands on the choice.
    folder->clear();
    dlg.accept();
    EXPECT_EQ(m_messages.messages().back().stringId, 157);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    std::filesystem::create_directories(m_dir.path() / "rec");
    folder->setText(chosen + "/MP3Recorder");
    devices->setCurrentIndex(devices->findText("Test line22"));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.path() / "rec/MP3Recorder"));
    EXPECT_EQ(dlg.chosenDevice(), deviceNumber("line22"));
    EXPECT_EQ(cld::RecorderSession::Instance().mp3Bitrate, 96);
    EXPECT_EQ(m_settings.lastMP3Bitrate(), 9);
    EXPECT_EQ(m_settings.mp3BitrateType(), 1);
}

TEST_F(RecorderDialogs, Mp3RecordingStartsPausesAndExitsWithACompleteFile) {
    cld::RecorderSession::Instance().folder = m_dir.path().string();
    cld::RecorderSession::Instance().mp3Bitrate = 64;
    m_settings.setMp3BitrateType(1);
    m_settings.setVbrMethod(2);
    m_settings.setMaxVBRBitrate(192);
    CountingMp3Engine engine;
    QString file;
    {
        CMIC2MP3ProgressDlg dlg(m_jobs, engine, deviceNumber("line22"), "Test line22");
        dlg.show();
        auto* status = control<QLabel>(dlg, CMIC2MP3ProgressDlg::kStatus);
        EXPECT_EQ(status->text(), "Ready.");
        EXPECT_TRUE(control<QLabel>(dlg, CMIC2MP3ProgressDlg::kFreeSpace)->text().endsWith(" GB"));
        control<QAbstractButton>(dlg, CMIC2MP3ProgressDlg::kStart)->click();
        ASSERT_TRUE(engine.IsRecording()) << engine.GetErrorText();
        EXPECT_EQ(status->text(), "Recording.");
        EXPECT_EQ(control<QLabel>(dlg, CMIC2MP3ProgressDlg::kBitrate)->text(), "VBR 64-192 Kbps");
        file = dlg.outputFile();
        const QString name = QFileInfo(file).fileName();
        EXPECT_TRUE(name.startsWith("RecFile - ")) << name.toStdString();
        EXPECT_FALSE(name.contains(':') || name.contains('\\')) << name.toStdString();
        EXPECT_TRUE(
            spinUntil([&] { return engine.seconds() >= 1.5 && !dlg.monitor()->trace().empty(); }));
        EXPECT_FALSE(control<QAbstractButton>(dlg, CMIC2MP3ProgressDlg::kStart)->isEnabled());
        EXPECT_FALSE(dlg.monitor()->trace().empty());
        control<QAbstractButton>(dlg, CMIC2MP3ProgressDlg::kPause)->click();
        EXPECT_EQ(status->text(), "Paused.");
        EXPECT_TRUE(engine.IsPaused());
        control<QAbstractButton>(dlg, cld::kIdOk)->click(); // Exit while paused
        EXPECT_FALSE(engine.IsRecording());
    }
    const auto m = cldtest::measureAudio(file.toStdString());
    ASSERT_TRUE(m.ok);
    EXPECT_GE(engine.seconds(), 1.5);
    EXPECT_NEAR(m.seconds, engine.seconds(), 0.25);
    std::ifstream in(file.toStdString(), std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), 4096);
    EXPECT_NE(head.find("Xing"), std::string::npos) << "the VBR header frame was written";
}

TEST_F(RecorderDialogs, Mp3RecordingThatCannotStartSaysWhy) {
    cld::RecorderSession::Instance().folder = m_dir.path().string();
    cld::Mp3RecorderEngine engine;
    CMIC2MP3ProgressDlg dlg(m_jobs, engine, -1, "none");
    control<QAbstractButton>(dlg, CMIC2MP3ProgressDlg::kStart)->click();
    EXPECT_FALSE(engine.IsRecording());
    ASSERT_EQ(m_messages.messages().size(), 1u);
    EXPECT_EQ(m_messages.messages()[0].stringId, cld::IDS_NO_CAPTURE_DEVICE);
    EXPECT_EQ(m_messages.messages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(control<QLabel>(dlg, CMIC2MP3ProgressDlg::kStatus)->text(), "Stopped.");

    // Each cause has its own message: no usable format, held by another program.
    {
        CMIC2MP3ProgressDlg dead(m_jobs, engine, deviceNumber("dead"), "Test dead");
        control<QAbstractButton>(dead, CMIC2MP3ProgressDlg::kStart)->click();
        CMIC2MP3ProgressDlg busy(m_jobs, engine, deviceNumber("busy"), "Test busy");
        control<QAbstractButton>(busy, CMIC2MP3ProgressDlg::kStart)->click();
    }
    EXPECT_FALSE(engine.IsRecording());
    ASSERT_EQ(m_messages.messages().size(), 3u);
    EXPECT_EQ(m_messages.messages()[1].stringId, cld::IDS_REC_NO_FORMAT);
    EXPECT_EQ(m_messages.messages()[2].stringId, cld::IDS_REC_START_FAILED);
    EXPECT_TRUE(m_messages.messages()[2].text.contains("Another application is recording audio."))
        << m_messages.messages()[2].text.toStdString();

    cld::RecorderSession::Instance().folder = (m_dir.path() / "missing/deeper").string();
    CMIC2MP3ProgressDlg second(m_jobs, engine, deviceNumber("line22"), "Test line22");
    control<QAbstractButton>(second, CMIC2MP3ProgressDlg::kStart)->click();
    EXPECT_FALSE(engine.IsRecording());
    ASSERT_EQ(m_messages.messages().size(), 4u);
    EXPECT_EQ(m_messages.messages()[3].stringId, 196) << "the file could not be created";
}

TEST_F(RecorderDialogs, WmaSettingsListAudioProfilesAndDevices) {
    m_settings.setLastWMAOutFolder("/music");
    CMIC2WMASettingsDlg dlg(m_jobs);
    auto* profiles = control<QComboBox>(dlg, CMIC2WMASettingsDlg::kProfiles);
    ASSERT_GT(profiles->count(), 0);
    for (int i = 0; i < profiles->count(); ++i) {
        EXPECT_TRUE(profiles->itemText(i).startsWith("Audio for"))
            << profiles->itemText(i).toStdString();
    }
    auto* devices = control<QComboBox>(dlg, CMIC2WMASettingsDlg::kDevices);
    // Listed by their descriptions, with the device URLs behind them.
    const int line22 = devices->findData("DEVICE://line22");
    ASSERT_GE(line22, 0);
    EXPECT_EQ(devices->itemText(line22), "Test line22");
    EXPECT_LT(devices->findData("DEVICE://null"), 0);
    auto* folder = control<QLineEdit>(dlg, CMIC2WMASettingsDlg::kFolder);
    EXPECT_EQ(folder->text(), "/music/WMA Recorder");

    const QString chosen = QString::fromStdString(m_dir.path().string());
    auto old = PickerService::setInstance(std::make_unique<FolderAnswer>(chosen));
    control<QAbstractButton>(dlg, CMIC2WMASettingsDlg::kBrowse)->click();
    PickerService::setInstance(std::move(old));
    EXPECT_EQ(folder->text(), chosen + "/WMARecorder");
    EXPECT_EQ(m_settings.lastWMAOutFolder(), chosen.toStdString());

    profiles->setCurrentIndex(2);
    devices->setCurrentIndex(devices->findData("DEVICE://line44"));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(m_settings.lastRecWMAProfileIndex(), 2);
    EXPECT_EQ(dlg.chosenDeviceUrl(), "DEVICE://line44");
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.path() / "WMARecorder"));
    const int index = cld::RecorderSession::Instance().wmaProfileIndex;
    ASSERT_NE(cld::WmaRecorderEncoder::Current(), nullptr);
    EXPECT_EQ(cld::WmaRecorderEncoder::Current()->GetProfileInfo(index).name,
              profiles->itemText(2).toStdString());
    cld::WmaRecorderEncoder::Release();
}

TEST_F(RecorderDialogs, WmaRecordingRunsUntilStopAndReleasesTheEncoder) {
    cld::RecorderSession::Instance().folder = m_dir.path().string();
    cld::RecorderSession::Instance().wmaProfileIndex = 0;
    QString file;
    int64_t recorded = 0;
    {
        CMIC2WMAProgressDlg dlg(m_jobs, "DEVICE://line44");
        dlg.show();
        EXPECT_EQ(control<QLabel>(dlg, CMIC2WMAProgressDlg::kStatus)->text(), "Stopped.");
        QLabel* status = control<QLabel>(dlg, CMIC2WMAProgressDlg::kStatus);
        // Stop once the encoder counts two seconds; the status is read on the way.
        QString seen;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
            if (wmaEncodedMilliseconds() < 2000)
                return;
            poll.stop();
            seen = status->text();
            control<QAbstractButton>(dlg, CMIC2WMAProgressDlg::kStop)->click();
        });
        poll.start();
        dlg.onStart(); // returns when the recording has ended
        recorded = wmaEncodedMilliseconds();
        EXPECT_EQ(seen, "Recording.");
        EXPECT_TRUE(m_messages.messages().empty());
        EXPECT_EQ(status->text(), "Stopped.");
        EXPECT_NE(control<QLabel>(dlg, CMIC2WMAProgressDlg::kElapsed)->text(), "00:00:00");
        EXPECT_TRUE(control<QLabel>(dlg, CMIC2WMAProgressDlg::kBitrate)->text().endsWith(" Kbps"));
        file = dlg.outputFile();
        EXPECT_EQ(control<QLabel>(dlg, CMIC2WMAProgressDlg::kDevice)->text(), "DEVICE://line44");
        ASSERT_NE(cld::WmaRecorderEncoder::Current(), nullptr);
    }
    EXPECT_EQ(cld::WmaRecorderEncoder::Current(), nullptr);
    const QString name = QFileInfo(file).fileName();
    EXPECT_TRUE(name.startsWith("RecFile - ") && name.endsWith(".wma")) << name.toStdString();
    EXPECT_FALSE(name.contains(':') || name.contains('\\')) << name.toStdString();
    const auto m = cldtest::measureAudio(file.toStdString());
    ASSERT_TRUE(m.ok);
    EXPECT_GE(recorded, 2000);
    EXPECT_NEAR(m.seconds, static_cast<double>(recorded) / 1000, 0.3);
    EXPECT_NEAR(m.frequency, 440, 15);
}

TEST_F(RecorderDialogs, Mp3RecordingOnAFullDiskKeepsTheFileAndSaysWhy) {
    cld::RecorderSession::Instance().folder = m_dir.path().string();
    cld::RecorderSession::Instance().mp3Bitrate = 128;
    cld::Mp3RecorderEngine engine;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 48 * 1024; // three seconds at 128 kbit/s
    QString file;
    {
        CMIC2MP3ProgressDlg dlg(m_jobs, engine, deviceNumber("line44"), "Test line44");
        dlg.show();
        ::setrlimit(RLIMIT_FSIZE, &limit);
        control<QAbstractButton>(dlg, CMIC2MP3ProgressDlg::kStart)->click();
        ASSERT_TRUE(engine.IsRecording()) << engine.GetErrorText();
        file = dlg.outputFile();
        spinUntil([&] { return !m_messages.messages().empty(); });
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_FALSE(engine.IsRecording());
        EXPECT_TRUE(dlg.monitor()->trace().empty()) << "the waveform stays after the end";
        EXPECT_EQ(control<QLabel>(dlg, CMIC2MP3ProgressDlg::kStatus)->text(), "Stopped.");
    }
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(m_messages.messages().size(), 1u);
    const Message& m = m_messages.messages()[0];
    EXPECT_EQ(m.stringId, cld::IDS_RECORDING_WRITE_FAILED);
    EXPECT_TRUE(m.text.contains(file)) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << m.text.toStdString();
    const auto audio = cldtest::measureAudio(file.toStdString());
    ASSERT_TRUE(audio.ok);
    EXPECT_GT(audio.seconds, 1.5);
    EXPECT_NEAR(audio.frequency, 440, 15);
}

TEST_F(RecorderDialogs, WmaRecordingOnAFullDiskKeepsTheFileAndSaysWhy) {
    cld::RecorderSession::Instance().folder = m_dir.path().string();
    cld::RecorderSession::Instance().wmaProfileIndex = 0;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 24 * 1024; // a few seconds of the smallest profile
    QString file;
    {
        CMIC2WMAProgressDlg dlg(m_jobs, "DEVICE://line44");
        ::setrlimit(RLIMIT_FSIZE, &limit);
        // A stop at the hang limit, should the full disk go unnoticed.
        QTimer::singleShot(std::chrono::milliseconds(cldtest::kHangLimit), &dlg, [&] {
            control<QAbstractButton>(dlg, CMIC2WMAProgressDlg::kStop)->click();
        });
        dlg.onStart(); // returns when the recording has ended
        ::setrlimit(RLIMIT_FSIZE, &old);
        file = dlg.outputFile();
        EXPECT_EQ(control<QLabel>(dlg, CMIC2WMAProgressDlg::kStatus)->text(), "Stopped.");
        EXPECT_TRUE(control<QAbstractButton>(dlg, CMIC2WMAProgressDlg::kStart)->isEnabled());
    }
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(m_messages.messages().size(), 1u);
    const Message& m = m_messages.messages()[0];
    EXPECT_EQ(m.stringId, cld::IDS_RECORDING_WRITE_FAILED);
    EXPECT_TRUE(m.text.contains(file)) << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << m.text.toStdString();
    const auto audio = cldtest::measureAudio(file.toStdString());
    ASSERT_TRUE(audio.ok);
    EXPECT_GT(audio.seconds, 2.0);
    EXPECT_NEAR(audio.frequency, 440, 15);
}

TEST_F(RecorderDialogs, WmaRecordingFromADeviceThatCannotOpenSaysWhy) {
    cld::RecorderSession::Instance().folder = m_dir.path().string();
    CMIC2WMAProgressDlg busy(m_jobs, "DEVICE://busy");
    busy.onStart();
    ASSERT_EQ(m_messages.messages().size(), 1u);
    EXPECT_TRUE(m_messages.messages()[0].text.contains("Another application is recording audio."))
        << m_messages.messages()[0].text.toStdString();

    CMIC2WMAProgressDlg dlg(m_jobs, "DEVICE://no-such-device");
    dlg.onStart();
    ASSERT_EQ(m_messages.messages().size(), 2u);
    EXPECT_EQ(m_messages.messages()[1].stringId, cld::IDS_CAPTURE_DEVICE_MISSING);
    EXPECT_TRUE(m_messages.messages()[1].text.contains("DEVICE://no-such-device"));
    EXPECT_EQ(m_messages.messages()[1].icon, MessageIcon::Error);
    EXPECT_EQ(control<QLabel>(dlg, CMIC2WMAProgressDlg::kStatus)->text(), "Stopped.");
    EXPECT_TRUE(control<QAbstractButton>(dlg, CMIC2WMAProgressDlg::kStart)->isEnabled());
}
