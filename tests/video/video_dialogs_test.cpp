// The video dialogs end to end: settings checks, a conversion watched through the views,
// Cancel, a broken input, and a screen recording under a private X server.
#include "AlsaTestDevices.h"
#include "AppResources.h"
#include "BuiltinResources.h"
#include "CAVI2WMVProgressDlg.h"
#include "CAVI2WMVSettingsDlg.h"
#include "CCapture2WMVProgressDlg.h"
#include "CCapture2WMVSettingsDlg.h"
#include "CVideoViewArea.h"
#include "DialogPolish.h"
#include "GenreList.h"
#include "JobContext.h"
#include "MediaFixtures.h"
#include "MessageService.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VideoJobState.h"
#include "VideoTestKit.h"
#include "WmEncoderControl.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>

using namespace videotest;
namespace fs = std::filesystem;

namespace {

class MessageRecorder : public MessageService {
public:
    MessageRecorder(std::vector<Message>* log, const MessageResult* reply)
        : m_log(log), m_reply(reply) {}
    MessageResult show(const Message& message) override {
        m_log->push_back(message);
        return message.buttons == MessageButtons::Ok ? MessageResult::Ok : *m_reply;
    }

private:
    std::vector<Message>* m_log;
    const MessageResult* m_reply;
};

class FixedPicker : public PickerService {
public:
    explicit FixedPicker(QString answer) : m_answer(std::move(answer)) {}
    QString pickFolder(QWidget*, const QString&, const QString&) override { return m_answer; }
    QString openFile(QWidget*, const QString&, const QString& filter, const QString&) override {
        lastFilter = filter;
        return m_answer;
    }
    QStringList openFiles(QWidget*, const QString&, const QString&, const QString&) override {
        return {m_answer};
    }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return m_answer;
    }
    QString lastFilter;

private:
    QString m_answer;
};

template <typename T> T* control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(QString::number(id));
}

void clickLater(QWidget& dialog, int id, int ms) {
    QTimer::singleShot(ms, &dialog, [&dialog, id] {
        if (auto* b = control<QPushButton>(dialog, id))
            b->click();
    });
}

class VideoDialogs : public ::testing::Test {
protected:
    VideoDialogs() : m_registry("CLD_REGISTRY_DIR", m_regDir.path().string()) {
        // As in the program: an X server that stops must not end the test with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        m_context.programFolder = QString::fromStdString(cldtest::binDir().string() + "/");
        MessageService::setInstance(std::make_unique<MessageRecorder>(&m_messages, &m_reply));
    }
    ~VideoDialogs() override {
        MessageService::setInstance(nullptr);
        PickerService::setInstance(nullptr);
    }

    int indexOf(const std::string& name) {
        WmEncoderControl& enc = cld::sharedVideoEncoder(m_context);
        for (int i = 0; i < enc.GetProfileCount(); ++i) {
            if (enc.GetProfileInfo(i).name == name)
                return i;
        }
        return -1;
    }

    cldtest::TempDir m_regDir;
    cldtest::ScopedEnv m_registry;
    SettingsRecord m_settings;
    GenreList m_genres;
    JobContext m_context{m_settings, m_genres};
    std::vector<Message> m_messages;
    MessageResult m_reply = MessageResult::Ok; // the answer to questions
    cldtest::TempDir m_dir;
};

TEST_F(VideoDialogs, AnExistingOutputIsReplacedOnlyWhenTheUserAgrees) {
    const fs::path in = m_dir.file("in.avi");
    const fs::path out = m_dir.file("old.wmv");
    makeClip(in, "avi", 1.0);
    { std::ofstream(out) << "an earlier conversion"; }
    CAVI2WMVSettingsDlg dlg(m_context, nullptr);
    control<QLineEdit>(dlg, 1006)->setText(QString::fromStdString(in.string()));
    control<QLineEdit>(dlg, 1007)->setText(QString::fromStdString(out.string()));
    m_reply = MessageResult::No;
    control<QPushButton>(dlg, 1)->click();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].stringId, cld::IDS_OUTPUT_EXISTS_REPLACE);
    EXPECT_EQ(m_messages[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(m_messages[0].text.contains(QString::fromStdString(out.string())));
    EXPECT_EQ(dlg.result(), 0) << "No keeps the dialog open";
    m_reply = MessageResult::Yes;
    control<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    // The output chosen in the save dialog was confirmed there; the input as its own
    // output is not asked about, the encoder refuses it.
    for (const fs::path& target : {out, in}) {
        m_messages.clear();
        auto picker = std::make_unique<FixedPicker>(QString::fromStdString(target.string()));
        PickerService::setInstance(std::move(picker));
        CAVI2WMVSettingsDlg again(m_context, nullptr);
        control<QLineEdit>(again, 1006)->setText(QString::fromStdString(in.string()));
        if (target == out)
            control<QPushButton>(again, 1011)->click();
        else
            control<QLineEdit>(again, 1007)->setText(QString::fromStdString(in.string()));
        control<QPushButton>(again, 1)->click();
        EXPECT_TRUE(m_messages.empty()) << target;
        EXPECT_EQ(again.result(), QDialog::Accepted);
    }
}

TEST_F(VideoDialogs, AFullDiskEndsTheConversionNamingTheFileAndTheReason) {
    const fs::path in = m_dir.file("long.avi");
    makeClip(in, "avi", 20.0);
    cld::VideoJobState& state = cld::videoJobState();
    state.inputPath = in.string();
    state.outputPath = m_dir.file("full.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");
    // No file of the process may grow beyond 200 kB while the conversion runs.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 200 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    {
        CAVI2WMVProgressDlg dlg(m_context, nullptr);
        dlg.exec();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].stringId, cld::IDS_VIDEO_WRITE_FAILED);
    EXPECT_EQ(m_messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(m_messages[0].text.contains(QString::fromStdString(state.outputPath)));
    EXPECT_TRUE(m_messages[0].text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << m_messages[0].text.toStdString();
    EXPECT_FALSE(fs::exists(state.outputPath));
    EXPECT_FALSE(fs::exists(state.outputPath + ".part"));
}

TEST_F(VideoDialogs, AnInputCutShortEndsWithHowFarItWasRead) {
    const fs::path in = m_dir.file("cut.avi");
    makeClip(in, "avi", 20.0);
    fs::resize_file(in, fs::file_size(in) * 41 / 100);
    cld::VideoJobState& state = cld::videoJobState();
    state.inputPath = in.string();
    state.outputPath = m_dir.file("cut.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");
    CAVI2WMVProgressDlg dlg(m_context, nullptr);
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].stringId, cld::IDS_VIDEO_INPUT_ENDED_EARLY);
    EXPECT_EQ(m_messages[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(m_messages[0].text.contains(" of its 20.0 s")) << m_messages[0].text.toStdString();
    EXPECT_TRUE(m_messages[0].text.contains("ended after 8.")) << m_messages[0].text.toStdString();
    EXPECT_EQ(probeField(state.outputPath, "v", "codec_name"), "wmv2");
}

TEST_F(VideoDialogs, ConversionSettingsCheckPathsProposeTheOutputAndOfferVideoProfiles) {
    CAVI2WMVSettingsDlg dlg(m_context, nullptr);
    auto* profiles = control<QListWidget>(dlg, 1001);
    ASSERT_NE(profiles, nullptr);
    ASSERT_GT(profiles->count(), 0);
    EXPECT_EQ(profiles->currentRow(), 0);
    WmEncoderControl& enc = cld::sharedVideoEncoder(m_context);
    for (int row = 0; row < profiles->count(); ++row) {
        const WmProfileInfo info =
            enc.GetProfileInfo(profiles->item(row)->data(Qt::UserRole).toInt());
        EXPECT_EQ(profiles->item(row)->text().toStdString(), info.name);
        EXPECT_GT(info.videoStreams, 0);
        EXPECT_GT(info.audioStreams, 0);
        EXPECT_EQ(info.scriptStreams, 0);
    }

    control<QPushButton>(dlg, 1)->click();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].stringId, 204);
    EXPECT_EQ(m_messages[0].icon, MessageIcon::Exclamation);

    control<QLineEdit>(dlg, 1007)->setText("/tmp/out.wmv");
    control<QPushButton>(dlg, 1)->click();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1].stringId, 205);
    EXPECT_EQ(dlg.result(), 0);

    // Browsing proposes the output and remembers the folder.
    const fs::path input = m_dir.file("Holiday.AVI");
    auto picker = std::make_unique<FixedPicker>(QString::fromStdString(input.string()));
    FixedPicker* p = picker.get();
    PickerService::setInstance(std::move(picker));
    profiles->setCurrentRow(profiles->count() - 1);
    control<QPushButton>(dlg, 1008)->click();
    EXPECT_TRUE(p->lastFilter.contains("*.mpeg"));
    EXPECT_EQ(control<QLineEdit>(dlg, 1006)->text().toStdString(), input.string());
    EXPECT_EQ(control<QLineEdit>(dlg, 1007)->text().toStdString(),
              m_dir.file("Holiday.wmv").string());
    EXPECT_EQ(m_settings.lastVideoInFolder(), m_dir.path().string());
    EXPECT_EQ(SettingsRecord().getProfileString("History", "LastVideoInFolder", ""),
              m_dir.path().string());

    control<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const cld::VideoJobState& state = cld::videoJobState();
    EXPECT_EQ(state.inputPath, input.string());
    EXPECT_EQ(state.outputPath, m_dir.file("Holiday.wmv").string());
    EXPECT_EQ(state.profileIndex, profiles->currentItem()->data(Qt::UserRole).toInt());
}

TEST_F(VideoDialogs, ConversionRunsToCompletionWithViewsAndFigures) {
    const fs::path in = m_dir.file("clip.avi");
    makeClip(in, "avi", 3.0);
    cld::VideoJobState& state = cld::videoJobState();
    state.inputPath = in.string();
    state.outputPath = m_dir.file("clip.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");
    ASSERT_GE(state.profileIndex, 0);

    CAVI2WMVProgressDlg dlg(m_context, nullptr);
    EXPECT_EQ(control<QLabel>(dlg, 1059)->text(), "00:00:00");
    EXPECT_EQ(control<QLabel>(dlg, 1017)->text().toStdString(), in.string());
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u) << m_messages[0].text.toStdString();
    EXPECT_EQ(m_messages[0].stringId, 156);
    EXPECT_EQ(m_messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(control<QProgressBar>(dlg, 1012)->value(), 100);
    EXPECT_EQ(control<QLabel>(dlg, 1059)->text(), "00:00:03");
    EXPECT_TRUE(control<QLabel>(dlg, 1060)->text().endsWith(" MB"));
    // Both views got pictures made at their own size, and never a second one before the
    // first was painted.
    for (int id : {1002, 1013}) {
        SCOPED_TRACE(id);
        const CVideoViewArea* area = control<CVideoViewArea>(dlg, id);
        EXPECT_GE(area->framesReceived(), 1);
        EXPECT_LE(area->framesReceived(), area->framesShown() + 1);
        const QImage picture = area->lastPicture();
        const QRect box = area->contentsRect();
        EXPECT_TRUE(picture.width() == box.width() || picture.height() == box.height())
            << picture.width() << "x" << picture.height() << " in " << box.width() << "x"
            << box.height();
        EXPECT_LE(picture.width(), box.width());
        EXPECT_LE(picture.height(), box.height());
        // A 4:3 picture keeps its shape.
        EXPECT_NEAR(static_cast<double>(picture.width()) / picture.height(), 4.0 / 3.0, 0.05);
        // Not a blank frame: the test picture has colours.
        std::set<QRgb> colours;
        for (int y = 0; y < picture.height(); y += 4)
            for (int x = 0; x < picture.width(); x += 4)
                colours.insert(picture.pixel(x, y));
        EXPECT_GT(colours.size(), 4u);
    }
    EXPECT_EQ(probeField(state.outputPath, "v", "codec_name"), "wmv2");
    EXPECT_EQ(probeField(state.outputPath, "a", "codec_name"), "wmav2");
}

TEST_F(VideoDialogs, CancelStopsWith191AndKeepsThePartialFile) {
    const fs::path in = m_dir.file("long.mpg");
    makeClip(in, "mpg", 60.0);
    cld::VideoJobState& state = cld::videoJobState();
    state.inputPath = in.string();
    state.outputPath = m_dir.file("long.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");

    CAVI2WMVProgressDlg dlg(m_context, nullptr);
    // Cancel as soon as the first picture is shown: the views are ready before the
    // encoder starts, so this is early in the clip however fast the machine encodes.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
        if (control<CVideoViewArea>(dlg, 1002)->framesShown() > 0) {
            poll.stop();
            control<QPushButton>(dlg, 2)->click();
        }
    });
    poll.start();
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].stringId, 191);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    ASSERT_TRUE(fs::exists(state.outputPath));
    EXPECT_EQ(probeField(state.outputPath, "format", "format_name"), "asf");
    const double d = probeDuration(state.outputPath);
    EXPECT_GT(d, 0.1);
    EXPECT_LT(d, 59.0);
    EXPECT_LT(control<QProgressBar>(dlg, 1012)->value(), 100);
}

TEST_F(VideoDialogs, CancelBeforeTheRunStartsWritesNothing) {
    const fs::path in = m_dir.file("clip.avi");
    makeClip(in, "avi", 1.0);
    cld::VideoJobState& state = cld::videoJobState();
    state.inputPath = in.string();
    state.outputPath = m_dir.file("never.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");
    CAVI2WMVProgressDlg dlg(m_context, nullptr);
    // Pressed as soon as the window's events run, while it waits to be drawn.
    clickLater(dlg, 2, 0);
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].stringId, 191);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(fs::exists(state.outputPath));
}

TEST_F(VideoDialogs, BrokenInputShowsTheEncoderTextAndCloses) {
    codectest::writeFile(m_dir.file("broken.avi"), std::vector<uint8_t>(5000, 0xFF));
    cld::VideoJobState& state = cld::videoJobState();
    state.inputPath = m_dir.file("broken.avi").string();
    state.outputPath = m_dir.file("broken.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");

    CAVI2WMVProgressDlg dlg(m_context, nullptr);
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].stringId, 0);
    EXPECT_EQ(m_messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(m_messages[0].text.contains("cannot be opened"));
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(fs::exists(state.outputPath));
}

TEST_F(VideoDialogs, ScreenRecordingMinimisesTheProgramAndStopKeepsTheFile) {
    if (!cldtest::haveTool("Xvfb"))
        GTEST_SKIP() << "Xvfb is not installed";
    XvfbServer x;
    ASSERT_TRUE(x.running());
    cldtest::ScopedEnv display("DISPLAY", x.display());

    // The settings dialog lists the screen and the sound devices that can record, by
    // their descriptions; "null" is not offered.
    cldtest::AlsaTestDevices::get();
    {
        CCapture2WMVSettingsDlg settings(m_context, nullptr);
        auto* video = control<QComboBox>(settings, 1002);
        auto* audio = control<QComboBox>(settings, 1003);
        EXPECT_GE(video->findText("ScreenCap://X11 Screen Capture"), 0);
        EXPECT_LT(audio->findData("DEVICE://null"), 0);
        EXPECT_LT(audio->findData("DEVICE://upmixer"), 0);
        const int line44 = audio->findData("DEVICE://line44");
        ASSERT_GE(line44, 0);
        EXPECT_EQ(audio->itemText(line44), "Test line44");
        const int busy = audio->findData("DEVICE://busy");
        ASSERT_GE(busy, 0);
        EXPECT_EQ(audio->itemText(busy), "Test busy (in use by another program)");
        EXPECT_EQ(video->currentIndex(), 0);
        control<QPushButton>(settings, 1)->click();
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].stringId, 204);
        control<QLineEdit>(settings, 1007)
            ->setText(QString::fromStdString(m_dir.file("screen.wmv").string()));
        video->setCurrentIndex(video->findText("ScreenCap://X11 Screen Capture"));
        audio->setCurrentIndex(line44);
        control<QPushButton>(settings, 1)->click();
        EXPECT_EQ(settings.result(), QDialog::Accepted);
        m_messages.clear();
    }
    const cld::VideoJobState& state = cld::videoJobState();
    EXPECT_EQ(state.videoInput, "ScreenCap://X11 Screen Capture");
    EXPECT_EQ(state.audioInput, "DEVICE://line44");

    QWidget launcher;
    launcher.show();
    CCapture2WMVProgressDlg dlg(m_context, &launcher);
    bool minimised = false;
    QString elapsed;
    // Stop once the dialog's figures, read from the encoder's statistics, show more than
    // 1.5 s recorded (the clock shows whole seconds).
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
        const QString shown = control<QLabel>(dlg, 1059)->text();
        if (shown < "00:00:02")
            return;
        poll.stop();
        minimised = launcher.isMinimized() && dlg.isMinimized();
        elapsed = shown;
        control<QPushButton>(dlg, 2)->click();
    });
    poll.start();
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u) << m_messages[0].text.toStdString();
    EXPECT_EQ(m_messages[0].stringId, 191);
    EXPECT_TRUE(minimised);
    EXPECT_FALSE(launcher.isMinimized());
    EXPECT_NE(elapsed, "00:00:00");
    EXPECT_EQ(control<CVideoViewArea>(dlg, 1002)->framesReceived(), 0);
    EXPECT_EQ(control<CVideoViewArea>(dlg, 1013)->framesReceived(), 0);
    EXPECT_EQ(probeField(state.outputPath, "v", "codec_name"), "wmv2");
    EXPECT_EQ(probeField(state.outputPath, "a", "codec_name"), "wmav2");
    EXPECT_GT(probeDuration(state.outputPath), 1.0);
}

TEST_F(VideoDialogs, ScreenThatGoesAwayEndsTheRecordingWithTheEncoderText) {
    if (!cldtest::haveTool("Xvfb"))
        GTEST_SKIP() << "Xvfb is not installed";
    XvfbServer x;
    ASSERT_TRUE(x.running());
    cldtest::ScopedEnv display("DISPLAY", x.display());
    cld::VideoJobState& state = cld::videoJobState();
    state.videoInput = "ScreenCap://X11 Screen Capture";
    state.audioInput = "DEVICE://null";
    state.outputPath = m_dir.file("gone.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");
    QWidget launcher;
    launcher.show();
    CCapture2WMVProgressDlg dlg(m_context, &launcher);
    // The screen goes away once the encoder has recorded some of it.
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
        if (control<QLabel>(dlg, 1059)->text() == "00:00:00")
            return;
        poll.stop();
        x.stop();
    });
    poll.start();
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(m_messages[0].text.contains("disconnected")) << m_messages[0].text.toStdString();
    EXPECT_FALSE(launcher.isMinimized());
    EXPECT_EQ(probeField(state.outputPath, "v", "codec_name"), "wmv2");
}

// A screen recording minimises the program and its progress dialog; a screen reader (and
// the task bar) still name both windows by their titles while they are minimised.
TEST_F(VideoDialogs, MinimisedWindowsOfAScreenRecordingKeepTheirNames) {
    if (!cldtest::haveTool("Xvfb"))
        GTEST_SKIP() << "Xvfb is not installed";
    XvfbServer x;
    ASSERT_TRUE(x.running());
    cldtest::ScopedEnv display("DISPLAY", x.display());
    cld::installDialogPolish(qobject_cast<QApplication*>(QCoreApplication::instance()));
    AppResources::setSource(std::make_unique<BuiltinResources>(nullptr, nullptr));
    const auto noSource = qScopeGuard([] { AppResources::setSource(nullptr); });
    cld::VideoJobState& state = cld::videoJobState();
    state.videoInput = "ScreenCap://X11 Screen Capture";
    state.audioInput = "DEVICE://null";
    state.outputPath = m_dir.file("named.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");
    QWidget launcher;
    launcher.setWindowTitle(QStringLiteral("Calderine 2002"));
    launcher.show();
    CCapture2WMVProgressDlg dlg(m_context, &launcher);
    const auto nameOf = [](QWidget& w) {
        return QAccessible::queryAccessibleInterface(&w)->text(QAccessible::Name);
    };
    QString dialogName;
    QString launcherName;
    bool minimised = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &dlg, [&] {
        if (!dlg.isMinimized() || control<QLabel>(dlg, 1059)->text() == "00:00:00")
            return;
        poll.stop();
        minimised = launcher.isMinimized();
        dialogName = nameOf(dlg);
        launcherName = nameOf(launcher);
        control<QPushButton>(dlg, 2)->click();
    });
    poll.start();
    dlg.exec();
    EXPECT_TRUE(minimised);
    EXPECT_FALSE(dlg.windowTitle().isEmpty());
    EXPECT_EQ(dialogName.toStdString(), dlg.windowTitle().toStdString());
    EXPECT_EQ(launcherName.toStdString(), launcher.windowTitle().toStdString());
    // Shown again, the dialog is named by its title as before.
    EXPECT_EQ(nameOf(dlg).toStdString(), dlg.windowTitle().toStdString());
}

TEST_F(VideoDialogs, MissingCaptureDeviceShowsTheEncoderText) {
    cld::VideoJobState& state = cld::videoJobState();
    state.videoInput = "DEVICE:///dev/video93";
    state.audioInput = "DEVICE://null";
    state.outputPath = m_dir.file("cam.wmv").string();
    state.profileIndex = indexOf("Video for broadband (384 Kbps, 320x240)");
    QWidget launcher;
    CCapture2WMVProgressDlg dlg(m_context, &launcher);
    dlg.exec();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].icon, MessageIcon::Error);
    EXPECT_TRUE(m_messages[0].text.contains("capture device"));
    EXPECT_FALSE(fs::exists(state.outputPath));
}

} // namespace

// Opened with a video file (a file manager's "Open with"): the input and the proposed
// output are filled in.
TEST_F(VideoDialogs, ConversionOpenedWithAFileStartsOnIt) {
    m_context.initialFiles = {QStringLiteral("/videos/Holiday.MPG")};
    CAVI2WMVSettingsDlg dlg(m_context, nullptr);
    EXPECT_EQ(control<QLineEdit>(dlg, CAVI2WMVSettingsDlg::kInputEdit)->text(),
              QStringLiteral("/videos/Holiday.MPG"));
    EXPECT_EQ(control<QLineEdit>(dlg, CAVI2WMVSettingsDlg::kOutputEdit)->text(),
              QStringLiteral("/videos/Holiday.wmv"));
    m_context.initialFiles.clear();
}
