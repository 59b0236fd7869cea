// A grab from the grabber's window on a drive with a read offset: the stored offset is
// applied, the disc is looked up on a loopback AccurateRip server, and the end message
// says how the tracks compare and where the log is.

#include "AccurateRip.h"
#include "AudioEncoder.h"
#include "CCDGrabDlg.h"
#include "CEditableListCtrl.h"
#include "COptionsDlg.h"
#include "CVerifyRipDlg.h"
#include "CddbTestServer.h"
#include "GrabDialogKit.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "VerifiedRip.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/NameText.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>

using namespace cldtest;
using cld::findControl;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace {

constexpr int kOffset = 667;

class VerifiedGrabDialog : public GrabDialogTest {
protected:
    void startDisc(int64_t driveOffset) {
        DiscSpec disc;
        for (int i = 0; i < 3; ++i)
            disc.tracks.push_back({Content::Music, 600 + i * 50, {}, {}, 0, 0});
        disc.faults.readOffset = driveOffset;
        startDrives({disc});
        NameText* name = nullptr;
        ASSERT_EQ(m_context.driveSettings->GetDriveName(&name, 0), 0);
        m_driveName = QString::fromUtf8(name->text()).trimmed().toStdString();
        NameText::Release(name);
        ASSERT_TRUE(m_settings.writeProfileString(
            SettingsRecord::kAccurateRip, "Server",
            "http://127.0.0.1:" + std::to_string(m_server.port()) + "/"));
        // CTDB on loopback too: it knows the disc only where a test gives it an answer.
        ASSERT_TRUE(m_settings.setCtdbServer("http://127.0.0.1:" + std::to_string(m_ctdb.port()) +
                                             "/lookup2.php"));
    }

    // The CTDB answer for the image: one entry of 4 submissions, its CRCs taken here with a
    // plain bitwise CRC over what the database's rules keep of the disc's audio.
    std::string ctdbAnswer() {
        const auto ranges = trackRanges();
        const auto audio = imageBytes(ranges.front().first, ranges.back().last);
        const auto crc = [&audio](size_t from, size_t to) {
            uint32_t c = 0xFFFFFFFFu;
            for (size_t i = from * 4; i < to * 4; ++i) {
                c ^= audio[i];
                for (int k = 0; k < 8; ++k)
                    c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            }
            return ~c;
        };
        const auto hex = [](uint32_t v) {
            char b[16];
            std::snprintf(b, sizeof b, "%08x", v);
            return std::string(b);
        };
        const size_t total = audio.size() / 4;
        const size_t tail = 5880 + total % 5880;
        std::string tracks;
        for (size_t i = 0; i < ranges.size(); ++i) {
            size_t from = static_cast<size_t>(ranges[i].first - ranges.front().first) * 588;
            size_t to = static_cast<size_t>(ranges[i].last + 1 - ranges.front().first) * 588;
            from += i == 0 ? 5880 : 0;
            to -= i + 1 == ranges.size() ? tail : 0;
            tracks += (i ? " " : "") + hex(crc(from, to));
        }
        return "HTTP/1.0 200 OK\r\n\r\n<ctdb><entry confidence=\"4\" crc32=\"" +
               hex(crc(5880, total - tail)) + "\" id=\"31\" trackcrcs=\"" + tracks + "\"/></ctdb>";
    }

    // The entry of disc `disc`'s image (in the active drive) as 7 other rips made it.
    std::string entry(int disc = 0) {
        const auto ranges = trackRanges();
        accurip::DiscLayout layout;
        for (size_t i = 0; i < ranges.size(); ++i)
            layout.tracks.push_back({static_cast<int>(i + 1), ranges[i].first, true});
        layout.leadOut = ranges.back().last + 1;
        accurip::EntryResponse r;
        r.ids = accurip::discIds(layout);
        for (size_t i = 0; i < ranges.size(); ++i) {
            const auto bytes = imageBytes(ranges[i].first, ranges[i].last, disc);
            accurip::TrackChecksummer c(static_cast<int64_t>(bytes.size() / 4), i == 0,
                                        i + 1 == ranges.size());
            c.add(bytes.data(), bytes.size());
            r.tracks.push_back(
                {7, c.result().v2, accurip::frameChecksum(bytes.data() + 450 * 2352)});
        }
        const auto body = accurip::buildEntry({r});
        // The ids in the entry must be those the grabber computes: the FreeDB id of the
        // ripper's own reading of the disc.
        return "HTTP/1.0 200 OK\r\n\r\n" + std::string(body.begin(), body.end());
    }

    // Grabs every track with the grabber opened for grabbing, after `prepare` had the dialog.
    QString grabAll(const std::function<void(CCDGrabDlg&)>& prepare = {}) {
        m_folderAnswer = QString::fromStdString(m_dir.path().string());
        CCDGrabDlg dlg(m_context, true);
        if (prepare)
            prepare(dlg);
        findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->setText("Band");
        findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)->setText("Live");
        for (int i = 0; i < 3; ++i)
            dlg.trackList()->setChecked(i, true);
        findControl<QPushButton>(&dlg, CCDGrabDlg::kGrabNow)->click();
        return messages().empty() ? QString() : messages().back().text;
    }

    std::string logText() {
        std::ifstream in(m_dir.path() / "Band - Live" / "Band - Live.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    CddbTestServer m_server;
    CddbTestServer m_ctdb;
    std::string m_driveName;
};

// Standard output of a shell command, and whether it ended with status 0.
std::string commandOutput(const std::string& command, bool& ok) {
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    ok = false;
    if (!pipe)
        return out;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int status = pclose(pipe);
    ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return out;
}

} // namespace

TEST_F(VerifiedGrabDialog, StoredOffsetGivesExactAccurateTracksAndALog) {
    startDisc(kOffset);
    ASSERT_TRUE(m_settings.setReadOffsetFor(m_driveName, kOffset));
    m_server.queueAnswer(entry());
    m_ctdb.queueAnswer(ctdbAnswer());
    const QString text = grabAll();
    ASSERT_EQ(messageIds(), std::vector<int>{2609});
    EXPECT_TRUE(text.contains("AccurateRip: all 3 tracks accurately ripped (confidence 7)"))
        << text.toStdString();
    // CTDB's word beside it, and which databases confirm the rip.
    EXPECT_TRUE(text.contains("CTDB: accurate (confidence 4 of 4 submissions)"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("The rip is verified by AccurateRip, CTDB.")) << text.toStdString();
    EXPECT_TRUE(text.contains("Band - Live.log")) << text.toStdString();
    const auto ranges = trackRanges();
    const Wav two = readWav(m_dir.path() / "Band - Live" / "Band - Track02.wav");
    EXPECT_TRUE(two.data == imageBytes(ranges[1].first, ranges[1].last));
    const std::string log = logText();
    EXPECT_NE(log.find("Read offset: 667 samples"), std::string::npos) << log;
    EXPECT_NE(log.find("  File: Band - Track03.wav"), std::string::npos) << log;
    // The offset moves the last track's end past the disc's edge: those samples were never
    // read, and the log does not call them exact.
    const size_t one = log.find("  File: Band - Track01.wav\n");
    const size_t three = log.find("  File: Band - Track03.wav\n");
    ASSERT_NE(one, std::string::npos) << log;
    ASSERT_NE(three, std::string::npos) << log;
    EXPECT_EQ(log.find("  Read: exact\n", one), log.find("  Read: ", one)) << log;
    EXPECT_EQ(log.find("  Read: exact, but for 667 samples beyond the edge of the disc", three),
              log.find("  Read: ", three))
        << log;
    // Every line of the log is filled.
    EXPECT_NE(log.find("Error correction: Jitter Correction (default)\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("AccurateRip: accurately ripped (confidence 7 (v2))"), std::string::npos);
    EXPECT_NE(log.find("  CTDB: accurate (confidence 4)\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nCTDB: accurate (confidence 4 of 4 submissions, entry 31)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nVerified: yes, by AccurateRip and CTDB\n"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "Band - Live" / "Band - Live.cue"));
}

TEST_F(VerifiedGrabDialog, WithoutTheOffsetTheTracksAreNotAccurate) {
    startDisc(kOffset);
    m_server.queueAnswer(entry());
    const QString text = grabAll();
    EXPECT_TRUE(text.contains("AccurateRip: not accurately ripped: track(s) 1, 2, 3 (0 of 3 tracks "
                              "accurate)"))
        << text.toStdString();
    EXPECT_NE(logText().find("not accurate (7 other rips differ)"), std::string::npos);
}

TEST_F(VerifiedGrabDialog, AbsurdStoredOffsetAndAMissingEntryAreSaidPlainly) {
    startDisc(0);
    // Written past the options' check, as a hand-edited profile would.
    ASSERT_TRUE(m_settings.writeProfileInt(SettingsRecord::kAccurateRip,
                                           ("ReadOffset " + m_driveName).c_str(), 9000));
    m_server.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    const QString text = grabAll();
    EXPECT_TRUE(text.contains("(9000 samples) is outside -5000..5000")) << text.toStdString();
    EXPECT_TRUE(text.contains("AccurateRip: disc not in the database")) << text.toStdString();
    // Read without offset: exact against the image of a drive without one.
    const auto ranges = trackRanges();
    const Wav one = readWav(m_dir.path() / "Band - Live" / "Band - Track01.wav");
    EXPECT_TRUE(one.data == imageBytes(ranges[0].first, ranges[0].last));
    EXPECT_NE(logText().find("Summary: 3 tracks, 3 exact, 0 failed; Disc not in the database"),
              std::string::npos)
        << logText();
}

// Detection with a known disc reads the drive without correction and finds its offset;
// the options take it, and refuse what no drive has.
TEST_F(VerifiedGrabDialog, OptionsDetectTheOffsetWithAKnownDiscAndRefuseAbsurdOnes) {
    startDisc(kOffset);
    m_server.queueAnswer(entry());
    m_server.queueAnswer(entry());
    const cld::OffsetDetection direct = cld::detectReadOffset(m_context, 0, m_dir.path().string());
    ASSERT_TRUE(direct.found) << direct.why;
    EXPECT_EQ(direct.offset, kOffset);
    EXPECT_EQ(direct.confidence, 7);
    for (const auto& file : std::filesystem::directory_iterator(m_dir.path()))
        EXPECT_EQ(file.path().filename().string().find("offset-detection"), std::string::npos)
            << file.path();
    // The drive's own setting is left as it was.
    EXPECT_EQ(m_context.driveSettings->GetReadOffset(), 0);

    COptionsDlg dlg(m_settings, COptionsDlg::builtinLanguages());
    dlg.addReadOffsets({{m_driveName, 12}}, 0,
                       [&](int index, int& offset, int& confidence, std::string& why) {
                           const cld::OffsetDetection d =
                               cld::detectReadOffset(m_context, index, m_dir.path().string());
                           offset = d.offset;
                           confidence = d.confidence;
                           why = d.why;
                           return d.found;
                       });
    auto* field = findControl<QLineEdit>(&dlg, COptionsDlg::kReadOffset);
    EXPECT_EQ(field->text(), "12");
    findControl<QPushButton>(&dlg, COptionsDlg::kDetectOffset)->click();
    EXPECT_EQ(field->text(), QString::number(kOffset));
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back().stringId, cld::IDS_OFFSET_FOUND);

    field->setText("6000");
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(messages().back().stringId, cld::IDS_BAD_OFFSET);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    field->setText("-48");
    findControl<QPushButton>(&dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(dlg.readOffsets().size(), 1u);
    EXPECT_EQ(dlg.readOffsets()[0].offset, -48);
    EXPECT_TRUE(
        m_settings.setReadOffsetFor(dlg.readOffsets()[0].drive, dlg.readOffsets()[0].offset));
    EXPECT_EQ(m_settings.readOffsetFor(m_driveName), -48);
    EXPECT_FALSE(m_settings.setReadOffsetFor(m_driveName, 5001));
    EXPECT_EQ(m_settings.readOffsetFor(m_driveName), -48);

    // A disc the database does not know cannot tell the offset.
    m_server.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    const cld::OffsetDetection unknown = cld::detectReadOffset(m_context, 0, m_dir.path().string());
    EXPECT_FALSE(unknown.found);
    EXPECT_NE(unknown.why.find("not in the AccurateRip database"), std::string::npos)
        << unknown.why;
}

// Two drives with different read offsets: the options list both and start with the one
// the grabber used last, detect and store each drive's offset on its own, and a grab on
// either drive reads exactly and logs that drive's offset.
TEST_F(VerifiedGrabDialog, TwoDrivesKeepDetectAndUseTheirOwnOffsets) {
    constexpr int kSecondOffset = -48;
    DiscSpec first;
    DiscSpec second;
    for (int i = 0; i < 3; ++i) {
        first.tracks.push_back({Content::Music, 600 + i * 50, {}, {}, 0, 0});
        second.tracks.push_back({Content::Music, 520 + i * 40, {}, {}, 0, 0});
    }
    first.faults.readOffset = kOffset;
    second.faults.readOffset = kSecondOffset;
    startDrives({first, second});
    CDRipDriveSettings* drives = m_context.driveSettings;
    ASSERT_EQ(drives->GetDriveCount(), 2);
    std::vector<std::string> names;
    for (int i = 0; i < 2; ++i) {
        NameText* name = nullptr;
        ASSERT_EQ(drives->GetDriveName(&name, i), 0);
        names.push_back(name->text());
        NameText::Release(name);
    }
    ASSERT_NE(names[0], names[1]);
    ASSERT_TRUE(
        m_settings.writeProfileString(SettingsRecord::kAccurateRip, "Server",
                                      "http://127.0.0.1:" + std::to_string(m_server.port()) + "/"));
    // The grabber last used the second drive; the first is the active one.
    ASSERT_TRUE(m_settings.setLastCD(names[1]));
    drives->SetActiveDrive(1);
    m_server.queueAnswer(entry(1));
    drives->SetActiveDrive(0);

    bool shown = false;
    whenModal([](QWidget* w) { return w->objectName() == QStringLiteral("176"); },
              [&](QWidget* w) {
                  auto* dlg = static_cast<QDialog*>(w);
                  auto* drive = findControl<QComboBox>(w, COptionsDlg::kOffsetDrive);
                  auto* field = findControl<QLineEdit>(w, COptionsDlg::kReadOffset);
                  if (!drive || !field) {
                      dlg->reject();
                      return;
                  }
                  shown = true;
                  EXPECT_EQ(drive->count(), 2);
                  EXPECT_EQ(drive->currentIndex(), 1);
                  EXPECT_EQ(field->text(), "0");
                  // Detection reads the drive that is picked.
                  findControl<QPushButton>(w, COptionsDlg::kDetectOffset)->click();
                  EXPECT_EQ(field->text(), QString::number(kSecondOffset));
                  drive->setCurrentIndex(0);
                  EXPECT_EQ(field->text(), "0");
                  field->setText(QString::number(kOffset));
                  drive->setCurrentIndex(1);
                  EXPECT_EQ(field->text(), QString::number(kSecondOffset));
                  findControl<QPushButton>(w, 1)->click();
              });
    runOptionsCommand(m_context, nullptr);
    ASSERT_TRUE(shown) << "the options offer no drive list";
    EXPECT_EQ(m_settings.readOffsetFor(names[0]), kOffset);
    EXPECT_EQ(m_settings.readOffsetFor(names[1]), kSecondOffset);

    // A drive takes its own offset, whichever drive was active.
    drives->SetActiveDrive(0);
    EXPECT_EQ(cld::applyStoredReadOffset(m_settings, drives, 1), "");
    EXPECT_EQ(drives->GetReadOffset(), kSecondOffset);
    drives->SetActiveDrive(0);
    EXPECT_EQ(drives->GetReadOffset(), 0) << "the first drive got the second one's offset";

    for (const int index : {1, 0}) {
        SCOPED_TRACE("drive " + std::to_string(index));
        drives->SetActiveDrive(index);
        m_server.queueAnswer(entry(index));
        const auto ranges = trackRanges();
        const std::string album = "Live " + std::to_string(index);
        m_folderAnswer = QString::fromStdString(m_dir.path().string());
        QString text;
        {
            CCDGrabDlg dlg(m_context, true);
            findControl<QComboBox>(&dlg, CCDGrabDlg::kDrive)->setCurrentIndex(index);
            findControl<QLineEdit>(&dlg, CCDGrabDlg::kArtist)->setText("Band");
            findControl<QLineEdit>(&dlg, CCDGrabDlg::kAlbum)
                ->setText(QString::fromStdString(album));
            for (int i = 0; i < 3; ++i)
                dlg.trackList()->setChecked(i, true);
            findControl<QPushButton>(&dlg, CCDGrabDlg::kGrabNow)->click();
            ASSERT_FALSE(messages().empty());
            text = messages().back().text;
        }
        EXPECT_TRUE(text.contains("AccurateRip: all 3 tracks accurately ripped (confidence 7)"))
            << text.toStdString();
        const auto folder = m_dir.path() / ("Band - " + album);
        const Wav two = readWav(folder / "Band - Track02.wav");
        EXPECT_TRUE(two.data == imageBytes(ranges[1].first, ranges[1].last, index));
        std::ifstream in(folder / ("Band - " + album + ".log"));
        std::stringstream log;
        log << in.rdbuf();
        const std::string expected =
            "Read offset: " + std::to_string(index == 0 ? kOffset : kSecondOffset) + " samples";
        EXPECT_NE(log.str().find(expected), std::string::npos) << log.str();
    }
}

TEST_F(VerifiedGrabDialog, FlacChoiceGivesTaggedExactFilesAVerifiedLogAndIsKept) {
    if (!haveTool("flac") || !haveTool("metaflac"))
        GTEST_SKIP() << "the flac and metaflac commands are needed";
    startDisc(kOffset);
    ASSERT_TRUE(m_settings.setReadOffsetFor(m_driveName, kOffset));
    m_server.queueAnswer(entry());
    std::string discId;
    const QString text = grabAll([&discId](CCDGrabDlg& dlg) {
        auto* saveAs = findControl<QComboBox>(&dlg, CCDGrabDlg::kSaveAs);
        ASSERT_NE(saveAs, nullptr);
        // WAV unless the user chooses otherwise.
        EXPECT_EQ(saveAs->currentIndex(), 0);
        EXPECT_FALSE(saveAs->isHidden());
        saveAs->setCurrentIndex(1);
        findControl<QLineEdit>(&dlg, CCDGrabDlg::kYear)->setText("1999");
        char id[16];
        std::snprintf(id, sizeof id, "%08X", dlg.discId());
        discId = id;
    });
    ASSERT_EQ(messageIds(), std::vector<int>{2609});
    EXPECT_EQ(m_folderTitle, "Select a Folder where to Save the FLAC file(s)...");
    // The checksums come from the FLAC files' audio: AccurateRip still vouches for them.
    EXPECT_TRUE(text.contains("AccurateRip: all 3 tracks accurately ripped (confidence 7)"))
        << text.toStdString();
    const auto folder = m_dir.path() / "Band - Live";
    const auto ranges = trackRanges();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("track " + std::to_string(i + 1));
        const std::string n = "0" + std::to_string(i + 1);
        const auto file = folder / ("Band - Track" + n + ".flac");
        EXPECT_FALSE(std::filesystem::exists(folder / ("Band - Track" + n + ".wav")));
        bool ok = false;
        const std::string audio =
            commandOutput("flac -d -c -s --force-raw-format --endian=little --sign=signed '" +
                              file.string() + "'",
                          ok);
        EXPECT_TRUE(ok);
        auto expect = imageBytes(ranges[static_cast<std::size_t>(i)].first,
                                 ranges[static_cast<std::size_t>(i)].last);
        // The drive's offset moves the last track's end past the lead-out, which the
        // ripper gives as silence.
        if (i == 2)
            std::fill(expect.end() - kOffset * 4, expect.end(), 0);
        EXPECT_EQ(audio.size(), expect.size());
        EXPECT_TRUE(
            std::equal(audio.begin(), audio.end(), expect.begin(), expect.end(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
        const std::string tags =
            commandOutput("metaflac --export-tags-to=- '" + file.string() + "'", ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(tags, "TITLE=Track" + n +
                            "\nARTIST=Band\nALBUM=Live\nALBUMARTIST=Band\nDATE=1999\n"
                            "GENRE=Other\nTRACKNUMBER=" +
                            std::to_string(i + 1) + "\nTRACKTOTAL=3\nDISCID=" + discId + "\n");
    }
    for (int i = 1; i <= 3; ++i) {
        bool ok = false;
        commandOutput("flac -t -s '" +
                          (folder / ("Band - Track0" + std::to_string(i) + ".flac")).string() +
                          "' 2>&1",
                      ok);
        EXPECT_TRUE(ok) << i;
    }
    std::ifstream cueIn(folder / "Band - Live.cue");
    std::stringstream cue;
    cue << cueIn.rdbuf();
    EXPECT_NE(cue.str().find("FILE \"Band - Track02.flac\" WAVE"), std::string::npos) << cue.str();
    const std::string log = logText();
    EXPECT_NE(log.find("  File: Band - Track03.flac"), std::string::npos) << log;
    EXPECT_NE(log.find("AccurateRip: accurately ripped (confidence 7 (v2))"), std::string::npos);

    // The choice is kept for the next grab; the encoding jobs' grabber does not offer it.
    EXPECT_EQ(m_settings.grabFormat(), SettingsRecord::kGrabToFlac);
    SettingsRecord reloaded;
    reloaded.LoadSettings();
    EXPECT_EQ(reloaded.grabFormat(), SettingsRecord::kGrabToFlac);
    {
        CCDGrabDlg again(m_context, true);
        EXPECT_EQ(findControl<QComboBox>(&again, CCDGrabDlg::kSaveAs)->currentIndex(), 1);
    }
    // The encoding jobs' grabber does not offer the choice, and its "Grab Now!" still
    // writes WAV files (the FLAC grab's log and cue sheet make way, so that nothing asks).
    std::filesystem::remove(folder / "Band - Live.log");
    std::filesystem::remove(folder / "Band - Live.cue");
    m_server.queueAnswer(entry());
    CCDGrabDlg forJob(m_context, false);
    EXPECT_TRUE(findControl<QComboBox>(&forJob, CCDGrabDlg::kSaveAs)->isHidden());
    findControl<QLineEdit>(&forJob, CCDGrabDlg::kArtist)->setText("Band");
    findControl<QLineEdit>(&forJob, CCDGrabDlg::kAlbum)->setText("Live");
    forJob.trackList()->setChecked(1, true);
    findControl<QPushButton>(&forJob, CCDGrabDlg::kGrabNow)->click();
    const Wav two = readWav(folder / "Band - Track02.wav");
    EXPECT_TRUE(two.data == imageBytes(ranges[1].first, ranges[1].last));
    EXPECT_EQ(m_settings.grabFormat(), SettingsRecord::kGrabToFlac);
}

// Every encoder of the engine is offered; an MP3 grab plays for each track's length with
// the disc's tags (and, with the ReplayGain setting on, each track's loudness and the
// disc's as the album's), the cue sheet names its files as MP3, AccurateRip vouches for
// the audio as it was read, and the choice is kept. The encoding jobs' grabber offers none
// of it.
TEST_F(VerifiedGrabDialog, EveryEncoderIsOfferedAndAnMp3GrabIsVerifiedAndTagged) {
    if (!haveTool("ffprobe"))
        GTEST_SKIP() << "the ffprobe command is needed";
    startDisc(kOffset);
    ASSERT_TRUE(m_settings.setReadOffsetFor(m_driveName, kOffset));
    m_server.queueAnswer(entry());
    ASSERT_TRUE(m_settings.setMp3ReplayGain(1));
    const QString text = grabAll([](CCDGrabDlg& dlg) {
        auto* saveAs = findControl<QComboBox>(&dlg, CCDGrabDlg::kSaveAs);
        const std::vector<std::string> names = cld::engine::EncoderRegistry::instance().names();
        ASSERT_EQ(saveAs->count(), static_cast<int>(names.size()));
        EXPECT_EQ(saveAs->itemData(0).toString(), "wav");
        EXPECT_EQ(saveAs->itemData(1).toString(), "flac");
        for (const std::string& name : names)
            EXPECT_GE(saveAs->findData(QString::fromStdString(name)), 0) << name;
        auto* settings = findControl<QPushButton>(&dlg, CCDGrabDlg::kEncoderSettings);
        ASSERT_NE(settings, nullptr);
        EXPECT_FALSE(settings->isHidden());
        const int mp3 = saveAs->findData(QStringLiteral("mp3"));
        ASSERT_GE(mp3, 0);
        EXPECT_EQ(saveAs->itemText(mp3), "MP3");
        saveAs->setCurrentIndex(mp3);
        findControl<QLineEdit>(&dlg, CCDGrabDlg::kYear)->setText("2001");
    });
    ASSERT_EQ(messageIds(), std::vector<int>{2609}) << text.toStdString();
    EXPECT_EQ(m_folderTitle, "Select a Folder where to Save the MP3 file(s)...");
    EXPECT_TRUE(text.contains("AccurateRip: all 3 tracks accurately ripped (confidence 7)"))
        << text.toStdString();
    const auto folder = m_dir.path() / "Band - Live";
    const auto ranges = trackRanges();
    std::set<std::string> albumGains;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto file = folder / ("Band - Track0" + std::to_string(i + 1) + ".mp3");
        bool ok = false;
        const std::string probe = commandOutput(
            "ffprobe -v error -show_entries "
            "format=duration:format_tags=title,artist,album,track,REPLAYGAIN_TRACK_GAIN,"
            "REPLAYGAIN_ALBUM_GAIN -of default=noprint_wrappers=1 '" +
                file.string() + "'",
            ok);
        ASSERT_TRUE(ok) << probe;
        const double seconds = static_cast<double>(ranges[static_cast<std::size_t>(i)].last -
                                                   ranges[static_cast<std::size_t>(i)].first + 1) /
                               75.0;
        const std::size_t at = probe.find("duration=");
        ASSERT_NE(at, std::string::npos) << probe;
        EXPECT_NEAR(std::stod(probe.substr(at + 9)), seconds, 0.1) << probe;
        EXPECT_NE(probe.find("title=Track0" + std::to_string(i + 1)), std::string::npos) << probe;
        EXPECT_NE(probe.find("artist=Band"), std::string::npos) << probe;
        EXPECT_NE(probe.find("album=Live"), std::string::npos) << probe;
        const std::size_t track = probe.find("REPLAYGAIN_TRACK_GAIN=");
        const std::size_t album = probe.find("REPLAYGAIN_ALBUM_GAIN=");
        ASSERT_NE(track, std::string::npos) << probe;
        ASSERT_NE(album, std::string::npos) << probe;
        albumGains.insert(probe.substr(album, probe.find('\n', album) - album));
    }
    EXPECT_EQ(albumGains.size(), 1u) << "one album value on every track";
    std::ifstream cueIn(folder / "Band - Live.cue");
    std::stringstream cue;
    cue << cueIn.rdbuf();
    EXPECT_NE(cue.str().find("FILE \"Band - Track01.mp3\" MP3"), std::string::npos) << cue.str();
    EXPECT_NE(logText().find("  File: Band - Track03.mp3"), std::string::npos);
    EXPECT_EQ(m_settings.grabEncoder(), "mp3");
    {
        CCDGrabDlg again(m_context, true);
        EXPECT_EQ(findControl<QComboBox>(&again, CCDGrabDlg::kSaveAs)->currentData().toString(),
                  "mp3");
    }
    CCDGrabDlg forJob(m_context, false);
    EXPECT_TRUE(findControl<QPushButton>(&forJob, CCDGrabDlg::kEncoderSettings)->isHidden());
}

TEST_F(VerifiedGrabDialog, ARipIsVerifiedLaterFromItsCueSheetInTheGrabbersVerifyDialog) {
    namespace fs = std::filesystem;
    startDisc(kOffset);
    ASSERT_TRUE(m_settings.setReadOffsetFor(m_driveName, kOffset));
    m_server.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    m_ctdb.queueAnswer("HTTP/1.0 404 Not Found\r\n\r\n");
    grabAll();
    const fs::path folder = m_dir.path() / "Band - Live";
    fs::remove(folder / "Band - Live.log");

    // The grabber offers the dialog.
    {
        CCDGrabDlg grabber(m_context, true);
        EXPECT_NE(findControl<QPushButton>(&grabber, CVerifyRipDlg::kOpenButton), nullptr);
    }
    CVerifyRipDlg dlg(m_context);
    findControl<QLineEdit>(&dlg, CVerifyRipDlg::kCueSheet)
        ->setText(QString::fromStdString((folder / "Band - Live.cue").string()));
    m_server.queueAnswer(entry());
    m_ctdb.queueAnswer(ctdbAnswer());
    findControl<QPushButton>(&dlg, CVerifyRipDlg::kVerify)->click();
    const std::string report = dlg.report().toStdString();
    EXPECT_NE(report.find("Track 02  Band - Track02.wav\n  AccurateRip: accurately ripped"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("  CTDB: accurate (confidence 4)"), std::string::npos) << report;
    EXPECT_NE(report.find("Verified: yes, by AccurateRip and CTDB"), std::string::npos) << report;

    // A missing file is named, and the rip is not verified.
    fs::remove(folder / "Band - Track02.wav");
    m_server.queueAnswer(entry());
    m_ctdb.queueAnswer(ctdbAnswer());
    dlg.verify();
    EXPECT_NE(dlg.report().toStdString().find("Band - Track02.wav is missing"), std::string::npos)
        << dlg.report().toStdString();
    EXPECT_NE(dlg.report().toStdString().find("Verified: no"), std::string::npos);
}
