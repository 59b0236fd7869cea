// The launcher's conversion commands, from the command table to the finished files.

#include "CMIC2MP3SettingsDlg.h"
#include "ConvertIds.h"
#include "ConvertTestKit.h"
#include "JobCommands.h"
#include "JobRegistry.h"
#include "MediaFixtures.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <gtest/gtest.h>

using namespace cld;
using converttest::control;
using converttest::ConvertEnv;
namespace fs = std::filesystem;

namespace {

// Fills a folder/file dialog with an input and an output and presses OK.
void acceptWith(const std::string& input, const std::string& output, bool fileMode) {
    converttest::onNextDialog([=](QWidget* dlg) {
        if (fileMode)
            control<QRadioButton>(dlg, IDC_MODE_FILE)->click();
        control<QLineEdit>(dlg, IDC_INPUT)->setText(QString::fromStdString(input));
        control<QLineEdit>(dlg, IDC_OUTPUT)->setText(QString::fromStdString(output));
        control<QPushButton>(dlg, IDC_OK)->click();
    });
}

} // namespace

TEST(ConvertCommands, TheFourFileJobsAreRegisteredAndRunToTheirEnd) {
    ConvertEnv env;
    JobCommands commands;
    registerJobs(commands);
    for (int id : {1008, 1009, 1010, 1011})
        ASSERT_TRUE(commands.has(id)) << id;

    const fs::path in = env.path("in");
    fs::create_directories(in);
    converttest::writeTestWav(in / "a.wav", 1.0);

    acceptWith(in.string(), (in / "MP3Files").string(), false);
    (*commands.find(1009))(env.context, nullptr);
    EXPECT_EQ(codectest::probe(in / "MP3Files" / "a.mp3")["stream.codec_name"], "mp3");

    acceptWith((in / "a.wav").string(), env.path("a.wma").string(), true);
    (*commands.find(1008))(env.context, nullptr);
    EXPECT_EQ(codectest::probe(env.path("a.wma"))["stream.codec_name"], "wmav2");

    acceptWith((in / "MP3Files" / "a.mp3").string(), env.path("from_mp3.wav").string(), true);
    (*commands.find(1011))(env.context, nullptr);
    EXPECT_EQ(codectest::probe(env.path("from_mp3.wav"))["stream.codec_name"], "pcm_s16le");

    acceptWith(env.path("a.wma").string(), env.path("from_wma.wav").string(), true);
    (*commands.find(1010))(env.context, nullptr);
    EXPECT_EQ(codectest::probe(env.path("from_wma.wav"))["stream.codec_name"], "pcm_s16le");

    EXPECT_EQ(env.messageIds(), (std::vector<int>{156, 156, 156, 156}));

    // Cancelling the settings dialog runs no batch.
    converttest::onNextDialog([](QWidget* dlg) { control<QPushButton>(dlg, IDC_CANCEL)->click(); });
    (*commands.find(1011))(env.context, nullptr);
    EXPECT_EQ(env.messageIds().size(), 4u);
}

// The line-in recorder's "Advanced Options" opens the conversion jobs' advanced MP3 dialog
// once the program has registered its jobs; its minimum bitrate moves the recorder's
// slider.
TEST(ConvertCommands, RecorderAdvancedOptionsOpenTheMp3AdvancedDialog) {
    ConvertEnv env;
    JobCommands commands;
    registerJobs(commands);
    CMIC2MP3SettingsDlg recorder(env.context);
    auto* advanced = control<QPushButton>(&recorder, CMIC2MP3SettingsDlg::kAdvanced);
    ASSERT_TRUE(advanced->isEnabled());
    bool opened = false;
    converttest::onNextDialog([&](QWidget* dlg) {
        opened = dlg->objectName() == QStringLiteral("162");
        auto* minimum = control<QLineEdit>(dlg, IDC_VBR_MIN);
        ASSERT_NE(minimum, nullptr);
        minimum->setText(QStringLiteral("96"));
        control<QPushButton>(dlg, IDC_OK)->click();
    });
    advanced->click();
    EXPECT_TRUE(opened);
    EXPECT_EQ(control<QSlider>(&recorder, CMIC2MP3SettingsDlg::kSlider)->value(), 96);
}

// Several files from the command line or a file manager: the dialog shows them as a
// count, and OK converts every one of them in one batch.
TEST(ConvertCommands, SeveralOpenedFilesAreAllConvertedInOneBatch) {
    ConvertEnv env;
    JobCommands commands;
    registerJobs(commands);
    const fs::path in = env.path("in");
    fs::create_directories(in);
    QStringList wavs;
    for (const char* name : {"a", "b", "c"}) {
        converttest::writeTestWav(in / (std::string(name) + ".wav"), 0.5);
        wavs << QString::fromStdString((in / (std::string(name) + ".wav")).string());
    }
    QString shown;
    auto acceptShown = [&shown] {
        converttest::onNextDialog([&shown](QWidget* dlg) {
            shown = control<QLineEdit>(dlg, IDC_INPUT)->text();
            control<QPushButton>(dlg, IDC_OK)->click();
        });
    };

    // Two WAV files to MP3: both beside their inputs.
    env.context.initialFiles = wavs.mid(0, 2);
    acceptShown();
    (*commands.find(1009))(env.context, nullptr);
    EXPECT_EQ(shown, "2 files");
    EXPECT_EQ(codectest::probe(in / "a.mp3")["stream.codec_name"], "mp3");
    EXPECT_EQ(codectest::probe(in / "b.mp3")["stream.codec_name"], "mp3");
    EXPECT_FALSE(fs::exists(in / "c.mp3")) << "only the files given";
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_TRUE(env.script->messages[0].text.contains("2 of 2 files were converted."));

    // Three WAV files to WMA.
    env.script->messages.clear();
    env.context.initialFiles = wavs;
    acceptShown();
    (*commands.find(1008))(env.context, nullptr);
    EXPECT_EQ(shown, "3 files");
    for (const char* name : {"a.wma", "b.wma", "c.wma"})
        EXPECT_EQ(codectest::probe(in / name)["stream.codec_name"], "wmav2") << name;
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});

    // Three MP3 files back to WAV, into a folder typed over the proposal.
    env.script->messages.clear();
    QStringList mp3s;
    for (const char* name : {"a", "b", "c"}) {
        ASSERT_EQ(codectest::shell("lame --quiet " +
                                   codectest::quote(in / (std::string(name) + ".wav")) + " " +
                                   codectest::quote(in / (std::string(name) + "3.mp3"))),
                  0);
        mp3s << QString::fromStdString((in / (std::string(name) + "3.mp3")).string());
    }
    env.context.initialFiles = mp3s;
    const fs::path back = env.path("back");
    converttest::onNextDialog([&](QWidget* dlg) {
        shown = control<QLineEdit>(dlg, IDC_INPUT)->text();
        control<QLineEdit>(dlg, IDC_OUTPUT)->setText(QString::fromStdString(back.string()));
        control<QPushButton>(dlg, IDC_OK)->click();
    });
    (*commands.find(1011))(env.context, nullptr);
    EXPECT_EQ(shown, "3 files");
    for (const char* name : {"a3.wav", "b3.wav", "c3.wav"})
        EXPECT_EQ(codectest::probe(back / name)["stream.codec_name"], "pcm_s16le") << name;
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_TRUE(env.script->messages[0].text.contains("3 of 3 files were converted."));
}
