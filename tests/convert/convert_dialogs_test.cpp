#include "CDecode2WAVDlg.h"
#include "CFolder2MP3SettingsDlg.h"
#include "CFolder2WMASettingsDlg.h"
#include "CMP3AdvancedSettingsDlg.h"
#include "CMP3SettingsDlg.h"
#include "CWMASettingsDlg.h"
#include "ConvertIds.h"
#include "ConvertTestKit.h"
#include "JobSpec.h"
#include "Mp3BitratePanel.h"
#include "Processes.h"
#include "StringIds.h"
#include "WmEncoderControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using namespace cld;
using converttest::control;
using converttest::ConvertEnv;

namespace {

class SettingsDialogs : public ::testing::Test {
protected:
    // A fresh record loaded from the store: what the next start of the program sees.
    SettingsRecord reloaded() {
        SettingsRecord r;
        r.LoadSettings();
        return r;
    }
    QString listText(QWidget* dlg) {
        return control<QComboBox>(dlg, IDC_BITRATE_LIST)->currentText();
    }
    ConvertEnv env;
    cld::engine::JobSpec params;
};

} // namespace

TEST_F(SettingsDialogs, Mp3DialogOnAFirstStartOpensOn128CbrAndProposesNoFolder) {
    CMP3SettingsDlg dlg(env.context, params);
    EXPECT_EQ(dlg.windowTitle(), "Calderine - MP3 Settings / Options");
    EXPECT_EQ(listText(&dlg), "128 kbps (High Quality, CD transparency)");
    EXPECT_TRUE(control<QRadioButton>(&dlg, IDC_CBR)->isChecked());
    EXPECT_EQ(control<QLabel>(&dlg, IDC_BITRATE_LABEL)->text(),
              "Please select the encoding bitrate:");
    EXPECT_EQ(control<QSlider>(&dlg, IDC_BITRATE_SLIDER)->value(), 128);
    EXPECT_EQ(control<QLineEdit>(&dlg, IDC_OUTPUT)->text(), "");
    control<QRadioButton>(&dlg, IDC_VBR)->click();
    EXPECT_EQ(control<QLabel>(&dlg, IDC_BITRATE_LABEL)->text(),
              "Please select the minimum VBR bitrate:");
}

TEST_F(SettingsDialogs, SliderMovesTheListByItsRule) {
    CMP3SettingsDlg dlg(env.context, params);
    auto* slider = control<QSlider>(&dlg, IDC_BITRATE_SLIDER);
    slider->setValue(100);
    EXPECT_EQ(listText(&dlg), "96 kbps (Normal Quality, HI-FI/LP)");
    slider->setValue(150);
    EXPECT_EQ(listText(&dlg), "96 kbps (Normal Quality, HI-FI/LP)");
    slider->setValue(320);
    EXPECT_EQ(listText(&dlg), "320 kpbs (Maximum Quality, Studio HI-FI)");
    // Picking an entry moves the slider to its bitrate.
    control<QComboBox>(&dlg, IDC_BITRATE_LIST)->setCurrentIndex(3);
    EXPECT_EQ(slider->value(), 32);
}

TEST_F(SettingsDialogs, Mp3DialogOkNeedsAnOutputThenCreatesItAndStoresTheChoice) {
    env.context.settings.setLastWMAOutFolder(env.root().string());
    params.disc.artist = "Band";
    params.disc.album = "";
    CMP3SettingsDlg dlg(env.context, params);
    auto* output = control<QLineEdit>(&dlg, IDC_OUTPUT);
    EXPECT_EQ(output->text().toStdString(), env.root().string() + "/Band - Unknown");
    output->clear();
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    ASSERT_EQ(env.messageIds(), std::vector<int>{157});
    EXPECT_EQ(env.script->messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(env.script->messages[0].text, "Please enter the output folder location !");

    output->setText(QString::fromStdString(env.path("Band - Record").string()));
    control<QComboBox>(&dlg, IDC_BITRATE_LIST)->setCurrentIndex(13);
    control<QRadioButton>(&dlg, IDC_VBR)->click();
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(std::filesystem::is_directory(env.path("Band - Record")));
    EXPECT_EQ(params.outputPath, env.path("Band - Record").string() + "/");
    EXPECT_EQ(params.encodingBitrate, 192);
    const SettingsRecord stored = reloaded();
    EXPECT_EQ(stored.lastMP3Bitrate(), 13);
    EXPECT_EQ(stored.mp3BitrateType(), 1);

    // A folder whose parent is gone cannot be made: the dialog says so and stays.
    CMP3SettingsDlg again(env.context, params);
    control<QLineEdit>(&again, IDC_OUTPUT)
        ->setText(QString::fromStdString(env.path("gone/x").string()));
    again.accept();
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_EQ(env.messageIds().back(), 124);
}

TEST_F(SettingsDialogs, CancelWritesNothing) {
    {
        CMP3SettingsDlg dlg(env.context, params);
        control<QComboBox>(&dlg, IDC_BITRATE_LIST)->setCurrentIndex(2);
        control<QRadioButton>(&dlg, IDC_VBR)->click();
        control<QLineEdit>(&dlg, IDC_OUTPUT)
            ->setText(QString::fromStdString(env.path("o").string()));
        dlg.reject();
    }
    {
        CMP3AdvancedSettingsDlg adv(env.context.settings, 128, 11);
        control<QRadioButton>(&adv, IDC_METHOD_RH)->click();
        control<QLineEdit>(&adv, IDC_VBR_MAX)->setText("256");
        control<QCheckBox>(&adv, IDC_CRC)->setChecked(true);
        control<QCheckBox>(&adv, IDC_ID3V2_TAG)->setChecked(false);
        adv.reject();
    }
    const SettingsRecord stored = reloaded();
    EXPECT_EQ(stored.lastMP3Bitrate(), 0);
    EXPECT_EQ(stored.mp3BitrateType(), 0);
    EXPECT_EQ(stored.vbrMethod(), 2);
    EXPECT_EQ(stored.maxVBRBitrate(), 192);
    EXPECT_EQ(stored.materialCRC(), 0);
    EXPECT_EQ(stored.mp3Id3v2Tag(), 1);
    EXPECT_FALSE(std::filesystem::exists(env.path("o")));
    EXPECT_TRUE(params.outputPath.empty());
}

TEST_F(SettingsDialogs, AdvancedDialogOpensOnTheDefaultsAndResetsAllButTheFlags) {
    CMP3AdvancedSettingsDlg adv(env.context.settings, 128, 11);
    EXPECT_EQ(adv.windowTitle(), "Calderine - MP3 - Advanced Settings");
    EXPECT_TRUE(control<QRadioButton>(&adv, IDC_METHOD_MTRH)->isChecked());
    EXPECT_EQ(control<QSlider>(&adv, IDC_VBR_QUALITY)->value(), 9); // quality 0 at "High"
    EXPECT_EQ(control<QSlider>(&adv, IDC_QUALITY)->value(), 8);     // quality 1
    EXPECT_TRUE(control<QRadioButton>(&adv, IDC_CHANNELS_STEREO + 4)->isChecked());
    EXPECT_EQ(control<QLineEdit>(&adv, IDC_VBR_MAX)->text(), "192");
    EXPECT_EQ(control<QLineEdit>(&adv, IDC_ABR_MEAN)->text(), "128");
    EXPECT_EQ(control<QLineEdit>(&adv, IDC_VBR_MIN)->text(), "128");
    auto* id3v2 = control<QCheckBox>(&adv, IDC_ID3V2_TAG);
    EXPECT_TRUE(id3v2->isChecked()) << "MP3 files get the UTF-8 tag unless the user says no";
    EXPECT_EQ(id3v2->text(), "Add a UTF-8 tag (ID3v2.4) at the start of the file");
    auto* replayGain = control<QCheckBox>(&adv, IDC_REPLAYGAIN);
    EXPECT_FALSE(replayGain->isChecked()) << "loudness is measured only when asked for";
    EXPECT_TRUE(replayGain->isEnabled());

    control<QRadioButton>(&adv, IDC_METHOD_ABR)->click();
    control<QRadioButton>(&adv, IDC_CHANNELS_STEREO + 3)->click();
    control<QSlider>(&adv, IDC_QUALITY)->setValue(0);
    control<QLineEdit>(&adv, IDC_VBR_MAX)->setText("300");
    control<QCheckBox>(&adv, IDC_PRIVATE)->setChecked(true);
    control<QCheckBox>(&adv, IDC_CRC)->setChecked(true);
    id3v2->setChecked(false);
    control<QPushButton>(&adv, IDC_DEFAULTS)->click();
    EXPECT_TRUE(control<QRadioButton>(&adv, IDC_METHOD_MTRH)->isChecked());
    EXPECT_TRUE(control<QRadioButton>(&adv, IDC_CHANNELS_STEREO + 4)->isChecked());
    EXPECT_EQ(control<QSlider>(&adv, IDC_QUALITY)->value(), 8);
    EXPECT_EQ(control<QLineEdit>(&adv, IDC_VBR_MAX)->text(), "192");
    EXPECT_EQ(control<QLineEdit>(&adv, IDC_VBR_MIN)->text(), "96");
    EXPECT_TRUE(control<QCheckBox>(&adv, IDC_PRIVATE)->isChecked());
    EXPECT_TRUE(control<QCheckBox>(&adv, IDC_CRC)->isChecked());
    EXPECT_FALSE(id3v2->isChecked());
    EXPECT_FALSE(replayGain->isEnabled()) << "the values need the UTF-8 tag";
}

TEST_F(SettingsDialogs, AdvancedDialogChecksMaximumMeanMinimumInThatOrder) {
    CMP3AdvancedSettingsDlg adv(env.context.settings, 128, 11);
    auto* minEdit = control<QLineEdit>(&adv, IDC_VBR_MIN);
    auto* maxEdit = control<QLineEdit>(&adv, IDC_VBR_MAX);
    auto* meanEdit = control<QLineEdit>(&adv, IDC_ABR_MEAN);
    minEdit->setText("7");
    maxEdit->setText("330");
    meanEdit->setText("abc");
    adv.accept();
    ASSERT_EQ(env.script->messages.size(), 1u);
    EXPECT_EQ(env.script->messages.back().text, "Please enter an integer between 16 and 320.");
    maxEdit->setText("320");
    adv.accept();
    EXPECT_EQ(env.script->messages.back().text, "Please enter an integer.");
    meanEdit->setText("300");
    adv.accept();
    EXPECT_EQ(env.script->messages.back().text, "Please enter an integer between 16 and 256.");
    meanEdit->setText("200");
    adv.accept();
    EXPECT_EQ(env.script->messages.back().text, "Please enter an integer between 8 and 256.");
    EXPECT_EQ(adv.result(), QDialog::Rejected);
    EXPECT_EQ(reloaded().maxVBRBitrate(), 192); // nothing stored yet

    minEdit->setText("100");
    control<QRadioButton>(&adv, IDC_METHOD_RH)->click();
    control<QSlider>(&adv, IDC_VBR_QUALITY)->setValue(2);
    control<QCheckBox>(&adv, IDC_ORIGINAL)->setChecked(true);
    control<QCheckBox>(&adv, IDC_REPLAYGAIN)->setChecked(true);
    control<QCheckBox>(&adv, IDC_ID3V2_TAG)->setChecked(false);
    adv.accept();
    EXPECT_EQ(adv.result(), QDialog::Accepted);
    EXPECT_EQ(adv.minimumBitrate(), 100);
    const SettingsRecord stored = reloaded();
    EXPECT_EQ(stored.maxVBRBitrate(), 320);
    EXPECT_EQ(stored.meanVBRBitrate(), 200);
    EXPECT_EQ(stored.vbrMethod(), 0);
    EXPECT_EQ(stored.vbrQuality(), 7);
    EXPECT_EQ(stored.materialOriginal(), 1);
    EXPECT_EQ(stored.mp3Id3v2Tag(), 0);
    EXPECT_EQ(stored.mp3ReplayGain(), 1);
    EXPECT_EQ(stored.lastMP3Bitrate(), 9); // the list index 100 kbit/s selects (96)
}

TEST_F(SettingsDialogs, AdvancedOptionsMoveTheCallersSliderAndList) {
    CMP3SettingsDlg dlg(env.context, params);
    control<QRadioButton>(&dlg, IDC_VBR)->click();
    converttest::onNextDialog([](QWidget* adv) {
        EXPECT_EQ(adv->objectName(), "162");
        control<QLineEdit>(adv, IDC_VBR_MIN)->setText("64");
        control<QPushButton>(adv, IDC_OK)->click();
    });
    control<QPushButton>(&dlg, IDC_ADVANCED)->click();
    EXPECT_EQ(control<QSlider>(&dlg, IDC_BITRATE_SLIDER)->value(), 64);
    EXPECT_EQ(listText(&dlg), "64 kbps (Medium Quality, Tape)");
    const SettingsRecord stored = reloaded();
    EXPECT_EQ(stored.lastMP3Bitrate(), 7);
    EXPECT_EQ(stored.mp3BitrateType(), 1);
}

TEST_F(SettingsDialogs, FolderToMp3ProposesPathsAndChecksOutputThenInput) {
    CFolder2MP3SettingsDlg dlg(env.context, params);
    EXPECT_TRUE(control<QRadioButton>(&dlg, IDC_MODE_FOLDER)->isChecked());
    dlg.accept();
    EXPECT_EQ(env.messageIds(), std::vector<int>{157});
    control<QLineEdit>(&dlg, IDC_OUTPUT)->setText("x");
    dlg.accept();
    EXPECT_EQ(env.messageIds(), (std::vector<int>{157, 176}));

    const std::string in = env.path("wavs").string();
    std::filesystem::create_directory(in);
    env.script->folderAnswers.push_back(QString::fromStdString(in));
    control<QPushButton>(&dlg, IDC_INPUT_BROWSE)->click();
    EXPECT_EQ(env.script->pickerTitles.back(), "Please select a folder with .WAV file(s)");
    EXPECT_EQ(control<QLineEdit>(&dlg, IDC_INPUT)->text().toStdString(), in + "/");
    EXPECT_EQ(control<QLineEdit>(&dlg, IDC_OUTPUT)->text().toStdString(), in + "/MP3Files/");
    EXPECT_EQ(env.context.settings.lastWAVInFolder(), in);
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(params.mode, cld::engine::JobMode::FolderEncode);
    EXPECT_EQ(params.inputPath, in + "/");
    EXPECT_EQ(params.outputPath, in + "/MP3Files/");
    EXPECT_TRUE(std::filesystem::is_directory(in + "/MP3Files"));

    CFolder2MP3SettingsDlg file(env.context, params);
    control<QRadioButton>(&file, IDC_MODE_FILE)->click();
    env.script->fileAnswers.push_back("/music/take one.wav");
    control<QPushButton>(&file, IDC_INPUT_BROWSE)->click();
    EXPECT_EQ(control<QLineEdit>(&file, IDC_OUTPUT)->text(), "/music/take one.mp3");
    file.accept();
    EXPECT_EQ(params.mode, cld::engine::JobMode::FileEncode);
    EXPECT_EQ(params.outputPath, "/music/take one.mp3");
}

TEST_F(SettingsDialogs, EmptyFolderChoiceSaysInvalidPath) {
    CFolder2MP3SettingsDlg dlg(env.context, params);
    control<QPushButton>(&dlg, IDC_OUTPUT_BROWSE)->click();
    EXPECT_EQ(env.script->pickerTitles.back(),
              "Please select a folder where to save the .MP3 file(s)");
    ASSERT_EQ(env.messageIds(), std::vector<int>{124});
    EXPECT_EQ(env.script->messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(reloaded().lastWMAOutFolder(), "");
}

TEST_F(SettingsDialogs, DecodeDialogProposesWavFilesAndForgetsFileNames) {
    env.context.settings.setLastWMAOutFolder("/data/song.wma");
    env.context.settings.setLastWAVOutFolder("/data/decoded");
    CDecode2WAVDlg dlg(env.context, params, CDecode2WAVDlg::Source::Mp3);
    EXPECT_EQ(dlg.windowTitle(), "Calderine - Decode MP3 to WAV");
    EXPECT_EQ(control<QLineEdit>(&dlg, IDC_INPUT)->text(), "");
    EXPECT_EQ(control<QLineEdit>(&dlg, IDC_OUTPUT)->text(), "/data/decoded/WAVFiles");

    env.script->folderAnswers.push_back("/data/mp3s");
    control<QPushButton>(&dlg, IDC_INPUT_BROWSE)->click();
    EXPECT_EQ(env.script->pickerTitles.back(), "Please select a folder with .MP3 file(s)");
    EXPECT_EQ(control<QLineEdit>(&dlg, IDC_OUTPUT)->text(), "/data/mp3s/WAVFiles/");
    EXPECT_EQ(env.context.settings.lastMP3OutFolder(), "/data/mp3s");

    CDecode2WAVDlg wma(env.context, params, CDecode2WAVDlg::Source::Wma);
    EXPECT_EQ(wma.windowTitle(), "Calderine - Decode WMA to WAV");
    control<QRadioButton>(&wma, IDC_MODE_FILE)->click();
    env.script->fileAnswers.push_back("/data/a.wma");
    control<QPushButton>(&wma, IDC_INPUT_BROWSE)->click();
    EXPECT_EQ(control<QLineEdit>(&wma, IDC_OUTPUT)->text(), "/data/a.wav");
}

TEST_F(SettingsDialogs, WmaDialogsListOnlyAudioProfilesAndHandTheEncoderOn) {
    CWMASettingsDlg dlg(env.context, params);
    EXPECT_EQ(dlg.windowTitle(), "Calderine - WMA Settings...");
    auto* list = control<QComboBox>(&dlg, IDC_PROFILE_LIST);
    ASSERT_GT(list->count(), 0);
    EXPECT_EQ(list->currentIndex(), 0);
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_FALSE(list->itemText(i).startsWith("Video")) << list->itemText(i).toStdString();
        EXPECT_FALSE(list->itemText(i).contains("script")) << list->itemText(i).toStdString();
    }
    dlg.accept();
    EXPECT_EQ(env.messageIds(), std::vector<int>{157});
    list->setCurrentIndex(list->count() - 1);
    control<QLineEdit>(&dlg, IDC_OUTPUT)->setText(QString::fromStdString(env.path("w").string()));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    std::unique_ptr<WmEncoderControl> encoder = dlg.takeEncoder();
    ASSERT_TRUE(encoder);
    const WmProfileInfo chosen = encoder->GetProfileInfo(params.wmaProfileIndex);
    EXPECT_EQ(QString::fromStdString(chosen.name), list->currentText());
    EXPECT_EQ(chosen.videoStreams, 0);

    CFolder2WMASettingsDlg folder(env.context, params);
    EXPECT_EQ(control<QComboBox>(&folder, IDC_PROFILE_LIST)->count(), list->count());
}

// A job opened with files (a file manager's "Open with", the command line) starts on them.
TEST_F(SettingsDialogs, OpenedFilesFillTheInputAndProposeTheOutput) {
    const std::filesystem::path folder = env.path("opened");
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "song.mp3") << "x";
    env.context.initialFiles = {QString::fromStdString((folder / "song.mp3").string())};
    CDecode2WAVDlg file(env.context, params, CDecode2WAVDlg::Source::Mp3);
    EXPECT_TRUE(control<QRadioButton>(&file, IDC_MODE_FILE)->isChecked());
    EXPECT_EQ(control<QLineEdit>(&file, IDC_INPUT)->text().toStdString(),
              (folder / "song.mp3").string());
    EXPECT_EQ(control<QLineEdit>(&file, IDC_OUTPUT)->text().toStdString(),
              (folder / "song.wav").string());

    env.context.initialFiles = {QString::fromStdString(folder.string())};
    CFolder2MP3SettingsDlg whole(env.context, params);
    EXPECT_TRUE(control<QRadioButton>(&whole, IDC_MODE_FOLDER)->isChecked());
    EXPECT_EQ(control<QLineEdit>(&whole, IDC_OUTPUT)->text().toStdString(),
              folder.string() + "/MP3Files/");
    env.context.initialFiles.clear();
}

// The folder/file choice of every folder-or-file dialog stays exclusive: clicking the
// chosen one, pressing its mnemonic or trying to clear it never leaves neither chosen.
TEST_F(SettingsDialogs, FolderOrFileChoiceCanNeverEndWithNeitherChosen) {
    auto check = [](QDialog& dlg, const char* name) {
        SCOPED_TRACE(name);
        dlg.show();
        QApplication::setActiveWindow(&dlg);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        auto* folder = control<QRadioButton>(&dlg, IDC_MODE_FOLDER);
        auto* file = control<QRadioButton>(&dlg, IDC_MODE_FILE);
        auto exactlyOne = [&] { return folder->isChecked() != file->isChecked(); };
        ASSERT_TRUE(folder->isChecked());
        folder->click();
        EXPECT_TRUE(folder->isChecked()) << "clicking the chosen one keeps it";
        folder->setChecked(false);
        EXPECT_TRUE(exactlyOne());
        // A mnemonic clicks its button after a short animation; each press is awaited,
        // and pressing the chosen one's mnemonic again must leave it chosen.
        int clicks = 0;
        QObject::connect(folder, &QAbstractButton::clicked, &dlg, [&] { ++clicks; });
        QObject::connect(file, &QAbstractButton::clicked, &dlg, [&] { ++clicks; });
        auto press = [&](Qt::Key key, QRadioButton* expected) {
            const int before = clicks;
            QTest::keyClick(dlg.windowHandle(), key, Qt::AltModifier);
            // The press is over once its button reports the click.
            cldtest::waitUntil([&] {
                QCoreApplication::processEvents();
                return clicks > before;
            });
            return expected->isChecked() && exactlyOne();
        };
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(press(Qt::Key_F, folder)) << "Alt+F chooses the folder";
            EXPECT_TRUE(press(Qt::Key_F, folder)) << "Alt+F again keeps it chosen";
            EXPECT_TRUE(press(Qt::Key_L, file)) << "Alt+L chooses the file";
            EXPECT_TRUE(press(Qt::Key_L, file)) << "Alt+L again keeps it chosen";
            file->click();
            EXPECT_TRUE(file->isChecked() && exactlyOne());
        }
        dlg.hide();
    };
    {
        CFolder2MP3SettingsDlg dlg(env.context, params);
        check(dlg, "folder to mp3");
    }
    {
        CFolder2WMASettingsDlg dlg(env.context, params);
        check(dlg, "folder to wma");
    }
    {
        CDecode2WAVDlg dlg(env.context, params, CDecode2WAVDlg::Source::Mp3);
        check(dlg, "decode");
    }
}

// A typed output that exists already is replaced only when the user says so; a file
// chosen in the save dialog (which asked already) is not asked about, and an output equal
// to the input is refused without a question.
TEST_F(SettingsDialogs, AnExistingOutputIsReplacedOnlyAfterAsking) {
    const auto in = env.path("in.wav");
    const auto out = env.path("out.mp3");
    converttest::writeTestWav(in, 0.1);
    std::ofstream(out) << "older";
    CFolder2MP3SettingsDlg dlg(env.context, params);
    control<QRadioButton>(&dlg, IDC_MODE_FILE)->click();
    control<QLineEdit>(&dlg, IDC_INPUT)->setText(QString::fromStdString(in.string()));
    control<QLineEdit>(&dlg, IDC_OUTPUT)->setText(QString::fromStdString(out.string()));

    env.script->answer = [](const Message&) { return MessageResult::No; };
    control<QPushButton>(&dlg, IDC_OK)->click();
    ASSERT_EQ(env.messageIds(), std::vector<int>{IDS_REPLACE_ASK});
    EXPECT_EQ(env.script->messages[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(env.script->messages[0].text.contains(QString::fromStdString(out.string())));
    EXPECT_EQ(dlg.result(), 0) << "No keeps the dialog open";
    EXPECT_TRUE(params.outputPath.empty());

    env.script->answer = [](const Message&) { return MessageResult::Yes; };
    control<QPushButton>(&dlg, IDC_OK)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(params.outputPath, out.string());

    // Chosen in the save dialog: no second question.
    env.script->messages.clear();
    cld::engine::JobSpec picked;
    CFolder2MP3SettingsDlg again(env.context, picked);
    control<QRadioButton>(&again, IDC_MODE_FILE)->click();
    control<QLineEdit>(&again, IDC_INPUT)->setText(QString::fromStdString(in.string()));
    env.script->fileAnswers.push_back(QString::fromStdString(out.string()));
    control<QPushButton>(&again, IDC_OUTPUT_BROWSE)->click();
    control<QPushButton>(&again, IDC_OK)->click();
    EXPECT_TRUE(env.messageIds().empty());
    EXPECT_EQ(again.result(), QDialog::Accepted);

    // The input itself as output: refused, not asked about.
    cld::engine::JobSpec same;
    CDecode2WAVDlg decode(env.context, same, CDecode2WAVDlg::Source::Mp3);
    control<QRadioButton>(&decode, IDC_MODE_FILE)->click();
    control<QLineEdit>(&decode, IDC_INPUT)->setText(QString::fromStdString(in.string()));
    control<QLineEdit>(&decode, IDC_OUTPUT)->setText(QString::fromStdString(in.string()));
    control<QPushButton>(&decode, IDC_OK)->click();
    EXPECT_EQ(env.messageIds(), std::vector<int>{IDS_OUTPUT_IS_INPUT});
    EXPECT_EQ(decode.result(), 0);
}

// An output that is the input itself is refused on OK, before anything runs, with a
// message that names it and says the output would replace the input: typed or proposed,
// under another spelling, when decoding proposes the input's own name, and in folder mode
// when the output folder is the input folder under another name, in every folder-or-file
// dialog. The input is left as it was.
TEST_F(SettingsDialogs, AnOutputThatIsTheInputIsRefusedBeforeAnythingRuns) {
    namespace fs = std::filesystem;
    const fs::path music = env.path("music");
    fs::create_directories(music);
    converttest::writeTestWav(music / "take.wav", 0.1);
    std::ofstream(music / "song.mp3") << "an MP3 file";
    std::ofstream(music / "clip.wma") << "a WMA file";
    // An MP3 file someone named .wav: decoding it proposes its own name.
    std::ofstream(music / "tune.wav") << "an MP3 file";
    fs::create_directory_symlink(music, env.path("link"));
    const auto sizeBefore = fs::file_size(music / "take.wav");

    struct Case {
        std::string what;
        std::function<std::unique_ptr<CFolderFileDlg>(cld::engine::JobSpec&)> make;
        bool folderMode;
        std::string input;
        std::string output;  // typed; empty: the proposed output of a browsed input
        std::string refused; // the output named in the message
    };
    auto mp3 = [this](cld::engine::JobSpec& p) {
        return std::make_unique<CFolder2MP3SettingsDlg>(env.context, p);
    };
    auto wma = [this](cld::engine::JobSpec& p) {
        return std::make_unique<CFolder2WMASettingsDlg>(env.context, p);
    };
    auto decodeMp3 = [this](cld::engine::JobSpec& p) {
        return std::make_unique<CDecode2WAVDlg>(env.context, p, CDecode2WAVDlg::Source::Mp3);
    };
    auto decodeWma = [this](cld::engine::JobSpec& p) {
        return std::make_unique<CDecode2WAVDlg>(env.context, p, CDecode2WAVDlg::Source::Wma);
    };
    const std::string take = (music / "take.wav").string();
    const std::string link = env.path("link").string();
    const Case cases[] = {
        {"file to MP3, typed", mp3, false, take, take, take},
        {"file to MP3, another spelling", mp3, false, take, music.string() + "/./take.wav",
         music.string() + "/./take.wav"},
        {"folder to MP3 into the same folder by a link", mp3, true, music.string(), link,
         link + "/song.mp3"},
        {"file to WMA, through the link", wma, false, take, link + "/take.wav", link + "/take.wav"},
        {"MP3 file to WAV, proposed", decodeMp3, false, (music / "tune.wav").string(), "",
         (music / "tune.wav").string()},
        {"WMA file to WAV, typed", decodeWma, false, (music / "clip.wma").string(),
         (music / "clip.wma").string(), (music / "clip.wma").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        env.script->messages.clear();
        cld::engine::JobSpec p;
        auto dlg = c.make(p);
        control<QRadioButton>(dlg.get(), c.folderMode ? IDC_MODE_FOLDER : IDC_MODE_FILE)->click();
        if (c.output.empty()) {
            env.script->fileAnswers.push_back(QString::fromStdString(c.input));
            control<QPushButton>(dlg.get(), IDC_INPUT_BROWSE)->click();
            ASSERT_EQ(control<QLineEdit>(dlg.get(), IDC_OUTPUT)->text().toStdString(), c.input);
        } else {
            control<QLineEdit>(dlg.get(), IDC_INPUT)->setText(QString::fromStdString(c.input));
            control<QLineEdit>(dlg.get(), IDC_OUTPUT)->setText(QString::fromStdString(c.output));
        }
        control<QPushButton>(dlg.get(), IDC_OK)->click();
        ASSERT_EQ(env.messageIds(), std::vector<int>{IDS_OUTPUT_IS_INPUT});
        const Message& m = env.script->messages[0];
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
        EXPECT_TRUE(m.text.contains("would replace the input")) << m.text.toStdString();
        EXPECT_TRUE(m.text.contains(QString::fromStdString(c.refused))) << m.text.toStdString();
        EXPECT_EQ(dlg->result(), 0) << "the dialog stays open";
        EXPECT_TRUE(p.outputPath.empty()) << "nothing is recorded";
    }
    EXPECT_EQ(fs::file_size(music / "take.wav"), sizeBefore);

    // The same folder under its own name is fine: the batch names its outputs apart.
    env.script->messages.clear();
    cld::engine::JobSpec p;
    CFolder2MP3SettingsDlg same(env.context, p);
    control<QLineEdit>(&same, IDC_INPUT)->setText(QString::fromStdString(music.string()));
    control<QLineEdit>(&same, IDC_OUTPUT)->setText(QString::fromStdString(music.string()));
    control<QPushButton>(&same, IDC_OK)->click();
    EXPECT_TRUE(env.messageIds().empty());
    EXPECT_EQ(same.result(), QDialog::Accepted);
}
