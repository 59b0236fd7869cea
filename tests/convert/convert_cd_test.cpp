// The CD modes on the virtual drive, through the ripper library loaded as the program
// loads it.

#include "CEncoderProgressDlg.h"
#include "CMP3EncoderProgressDlg.h"
#include "CProgressBar.h"
#include "CodecJob.h"
#include "ConvertCommands.h"
#include "ConvertIds.h"
#include "ConvertTestKit.h"
#include "Id3v1Tag.h"
#include "JobSpec.h"
#include "MediaFixtures.h"
#include "Mp3Encoder.h"
#include "StringIds.h"
#include "VDriveKit.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/NameText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <condition_variable>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <tuple>

using namespace cld;
using converttest::control;
using converttest::ConvertEnv;
using vdrivekit::Content;
using vdrivekit::DiscSpec;
namespace fs = std::filesystem;

namespace {

GetClassObjectFn ripperEntry() {
    static GetClassObjectFn fn = [] {
        const auto path = cldtest::binDir() / "libcldrip.so";
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        return handle ? reinterpret_cast<GetClassObjectFn>(dlsym(handle, "GetClassObject"))
                      : nullptr;
    }();
    return fn;
}

double durationOf(const fs::path& file) {
    const auto probe = codectest::probe(file);
    const auto it = probe.find("stream.duration");
    return it == probe.end() ? -1.0 : std::atof(it->second.c_str());
}

std::unique_ptr<cld::engine::AudioEncoder> makeMp3(const cld::engine::EncoderOptions& options) {
    return std::make_unique<cld::engine::Mp3Encoder>(options);
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The files in the CD job's own temporary folders inside `out`: the WAV files read so far
// and the one the ripper is writing.
std::vector<fs::path> temporaryFiles(const fs::path& out) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(out, ec)) {
        if (e.path().filename().string().rfind(".cld-", 0) != 0 || !e.is_directory())
            continue;
        for (const auto& f : fs::recursive_directory_iterator(e.path(), ec))
            if (f.is_regular_file(ec))
                files.push_back(f.path());
    }
    return files;
}

size_t temporaryWavCount(const fs::path& out) {
    size_t count = 0;
    for (const fs::path& f : temporaryFiles(out))
        count += f.extension() == ".wav";
    return count;
}

// Bytes the ripper has written of the track it is reading now.
uintmax_t bytesBeingRead(const fs::path& out) {
    uintmax_t bytes = 0;
    for (const fs::path& f : temporaryFiles(out)) {
        std::error_code ec;
        if (f.extension() == ".part")
            bytes += fs::file_size(f, ec);
    }
    return bytes;
}

std::string textOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text;
    for (std::string line; std::getline(in, line);)
        text += line + "\n";
    return text;
}

// A disc of three music tracks (4, 2 and 3 seconds) in a virtual drive, a grab object
// from the library, and the grabber's selection of tracks 1 and 3.
class CdModes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(ripperEntry(), nullptr) << dlerror();
        DiscSpec disc;
        disc.tracks.push_back({Content::Music, 300, {}, {}, 0, 0});
        disc.tracks.push_back({Content::Music, 150, {}, {}, 0, 0});
        disc.tracks.push_back({Content::Music, 225, {}, {}, 0, 0});
        disc.faults.slowMicrosPerSector = m_slowMicros;
        disc.faults.scratched = m_scratched;
        m_drives = std::make_unique<vdrivekit::VirtualDrives>(env.path("images"),
                                                              std::vector<DiscSpec>{disc});
        NameText* name = NameText::Create("CDRipObject");
        m_rip = static_cast<CDRipObject*>(ripperEntry()(name));
        name->Destroy();
        ASSERT_NE(m_rip, nullptr);
        env.context.ripObject = m_rip;
        env.context.driveSettings = m_rip->GetDriveSettings();
        cld::engine::DiscSelection& sel = env.context.grabSelection;
        sel.trackNames = {"Opening", "AC-DC. Live.", "Finale"};
        sel.ticked = {0, 2};
        sel.artist = "Band";
        sel.album = "Record";
        sel.year = 1999;
        sel.genreIndex = 17;
        m_out = env.path("out");
        fs::create_directories(m_out);
        m_params.outputPath = m_out.string() + "/";
        m_params.mode = cld::engine::JobMode::CdEncode;
        // The CD jobs read the disc as the grabber left it in the context.
        m_params.disc = sel;
    }
    void TearDown() override {
        if (m_rip)
            m_rip->Dispose();
    }

    // Runs the CD job of the encoding dialog for ".mp3" or ".wma" with the fixture's
    // parameters; the dialog is kept for what it shows afterwards.
    std::unique_ptr<CBatchProgressDlg> runCdJob(const std::string& extension) {
        std::unique_ptr<CBatchProgressDlg> dlg;
        if (extension == ".mp3")
            dlg = std::make_unique<CMP3EncoderProgressDlg>(
                env.context, converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
        else
            dlg = std::make_unique<CEncoderProgressDlg>(
                env.context, converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                createMediaEncoder(env.context));
        dlg->exec();
        return dlg;
    }

    int64_t m_slowMicros = 0;
    std::vector<std::pair<int64_t, int64_t>> m_scratched;
    ConvertEnv env;
    std::unique_ptr<vdrivekit::VirtualDrives> m_drives;
    CDRipObject* m_rip = nullptr;
    fs::path m_out;
    cld::engine::JobSpec m_params;
};

class SlowCdModes : public CdModes {
protected:
    SlowCdModes() { m_slowMicros = 600; }
};

// The first track has sectors that read differently every time.
class ScratchedCdModes : public CdModes {
protected:
    ScratchedCdModes() { m_scratched = {{80, 82}}; }
};

} // namespace

TEST_F(CdModes, CdToMp3TagsEveryTrackAndLeavesNoTemporaryWav) {
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_TRUE(dlg.windowTitle().endsWith(" CD-Audio -> MP3 Encoding Progress"));
    EXPECT_TRUE(control<CProgressBar>(&dlg, IDC_GRAB_BAR)->isEnabled());
    EXPECT_EQ(control<CProgressBar>(&dlg, IDC_GRAB_BAR)->pos(), 100);
    EXPECT_EQ(control<CProgressBar>(&dlg, IDC_OVERALL_BAR)->pos(), 2);
    EXPECT_EQ(control<CProgressBar>(&dlg, IDC_OVERALL_BAR)->upper(), 2);
    EXPECT_EQ(control<QLabel>(&dlg, IDC_FILE_COUNT)->text(), "2 of 2");
    EXPECT_TRUE(control<QLabel>(&dlg, IDC_INPUT_FILE)->text().contains(", CD-Audio Track Nr. 3") ||
                control<QLabel>(&dlg, IDC_INPUT_FILE)->text().endsWith(".wav"));
    EXPECT_EQ(filesIn(m_out), (std::vector<std::string>{"Band - Finale.mp3", "Band - Opening.mp3",
                                                        "Band - Record.cue", "Band - Record.log"}));
    // The rip log and cue sheet name the MP3 files, with the MP3 file type.
    const std::string cue = textOf(m_out / "Band - Record.cue");
    EXPECT_NE(cue.find("FILE \"Band - Opening.mp3\" MP3\n  TRACK 01 AUDIO\n    TITLE \"Opening\""),
              std::string::npos)
        << cue;
    EXPECT_NE(cue.find("FILE \"Band - Finale.mp3\" MP3\n  TRACK 03 AUDIO"), std::string::npos)
        << cue;
    EXPECT_NE(cue.find("PERFORMER \"Band\""), std::string::npos) << cue;
    EXPECT_NE(textOf(m_out / "Band - Record.log").find("Band - Opening.mp3"), std::string::npos);
    EXPECT_NEAR(durationOf(m_out / "Band - Opening.mp3"), 4.0, 0.1);
    EXPECT_NEAR(durationOf(m_out / "Band - Finale.mp3"), 3.0, 0.1);
    for (const auto& [file, title] :
         {std::pair{"Band - Opening.mp3", "Opening"}, std::pair{"Band - Finale.mp3", "Finale"}}) {
        Id3v1Tag tag;
        ASSERT_TRUE(tag.Load((m_out / file).string()));
        EXPECT_EQ(tag.title, title);
        EXPECT_EQ(tag.artist, "Band");
        EXPECT_EQ(tag.album, "Record");
        EXPECT_EQ(tag.year, "1999");
        EXPECT_EQ(tag.genre, 17);
        EXPECT_EQ(tag.track, 0);
        const auto probe = codectest::probe(m_out / file);
        EXPECT_EQ(probe.at("tag.title"), title);
        EXPECT_EQ(probe.at("tag.artist"), "Band");
    }
    // The UTF-8 tag at the front says more: the track of the disc's tracks, the genre's
    // name and the disc's id.
    DiscInfo* disc = m_rip->GetDiscInfo();
    ASSERT_NE(disc, nullptr);
    char discId[16];
    std::snprintf(discId, sizeof discId, "%08X", disc->GetDiscId());
    disc->Destroy();
    for (const auto& [file, track] :
         {std::pair{"Band - Opening.mp3", "1/3"}, std::pair{"Band - Finale.mp3", "3/3"}}) {
        EXPECT_EQ(textOf(m_out / file).substr(0, 4), std::string("ID3\x04", 4));
        auto probe = codectest::probe(m_out / file);
        EXPECT_EQ(probe["tag.track"], track);
        EXPECT_EQ(probe["tag.genre"], "Rock");
        EXPECT_EQ(probe["tag.date"], "1999");
        EXPECT_EQ(probe["tag.album"], "Record");
        EXPECT_EQ(probe["tag.CDDB DiscID"], discId);
    }
}

// With loudness on, each track's file carries its own ReplayGain values and, once the
// disc is done, the album's, the same in every file.
TEST_F(CdModes, ReplayGainGivesEveryTrackItsOwnAndTheAlbumsValues) {
    ASSERT_TRUE(env.context.settings.setMp3ReplayGain(1));
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    auto first = codectest::probe(m_out / "Band - Opening.mp3");
    auto last = codectest::probe(m_out / "Band - Finale.mp3");
    EXPECT_NE(first["tag.REPLAYGAIN_TRACK_GAIN"], "");
    EXPECT_NE(first["tag.REPLAYGAIN_TRACK_PEAK"], "");
    EXPECT_NE(first["tag.REPLAYGAIN_ALBUM_GAIN"], "");
    EXPECT_EQ(first["tag.REPLAYGAIN_ALBUM_GAIN"], last["tag.REPLAYGAIN_ALBUM_GAIN"]);
    EXPECT_EQ(first["tag.REPLAYGAIN_ALBUM_PEAK"], last["tag.REPLAYGAIN_ALBUM_PEAK"]);
    EXPECT_EQ(first["tag.title"], "Opening") << "the names stay";
    EXPECT_EQ(filesIn(m_out), (std::vector<std::string>{"Band - Finale.mp3", "Band - Opening.mp3",
                                                        "Band - Record.cue", "Band - Record.log"}));
}

// With the UTF-8 tag switched off the files carry only the version 1 tag at the end.
TEST_F(CdModes, Id3v2TagSwitchedOffLeavesOnlyTheVersion1Tag) {
    ASSERT_TRUE(env.context.settings.setMp3Id3v2Tag(0));
    m_params.disc.ticked = {1};
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    const fs::path mp3 = m_out / "Band - AC-DC. Live.mp3";
    ASSERT_TRUE(fs::exists(mp3));
    EXPECT_EQ(static_cast<unsigned char>(textOf(mp3)[0]), 0xFF) << "the stream starts at once";
    Id3v1Tag tag;
    ASSERT_TRUE(tag.Load(mp3.string()));
    EXPECT_EQ(tag.title, "AC-DC. Live.");
    EXPECT_EQ(tag.genre, 17);
    EXPECT_EQ(codectest::probe(mp3)["tag.REPLAYGAIN_TRACK_GAIN"], "") << "off by default";
}

TEST_F(CdModes, TheLauncherChainRunsSettingsThenProgress) {
    env.context.settings.setLastWMAOutFolder(m_out.string());
    converttest::onNextDialog([](QWidget* settings) {
        EXPECT_EQ(settings->objectName(), "160");
        control<QPushButton>(settings, IDC_OK)->click();
    });
    runCdToMp3Encoding(env.context, nullptr);
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(m_out / "Band - Record"),
              (std::vector<std::string>{"Band - Finale.mp3", "Band - Opening.mp3",
                                        "Band - Record.cue", "Band - Record.log"}));

    // Cancelling the settings opens nothing further.
    env.script->messages.clear();
    converttest::onNextDialog(
        [](QWidget* settings) { control<QPushButton>(settings, IDC_CANCEL)->click(); });
    runCdToWmaEncoding(env.context, nullptr);
    EXPECT_TRUE(env.messageIds().empty());
}

TEST_F(CdModes, CdToWmaWritesTheTrackNamesIntoEachFile) {
    CEncoderProgressDlg dlg(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_TRUE(dlg.windowTitle().endsWith(" CD-Audio -> WMA Encoding Progress"));
    EXPECT_EQ(filesIn(m_out), (std::vector<std::string>{"Band - Finale.wma", "Band - Opening.wma",
                                                        "Band - Record.cue", "Band - Record.log"}));
    // Other programs name any audio file that is not MP3 WAVE in a cue sheet.
    const std::string cue = textOf(m_out / "Band - Record.cue");
    EXPECT_NE(cue.find("FILE \"Band - Opening.wma\" WAVE\n"), std::string::npos) << cue;
    EXPECT_NE(cue.find("FILE \"Band - Finale.wma\" WAVE\n"), std::string::npos) << cue;
    const auto probe = codectest::probe(m_out / "Band - Opening.wma");
    EXPECT_EQ(probe.at("stream.codec_name"), "wmav2");
    EXPECT_NEAR(durationOf(m_out / "Band - Finale.wma"), 3.0, 0.2);
    // Each file carries the disc's names as the standard attributes, and its own title
    // and number; the album is no copyright notice.
    for (const auto& [file, title, track] : {std::tuple{"Band - Opening.wma", "Opening", "1"},
                                             std::tuple{"Band - Finale.wma", "Finale", "3"}}) {
        SCOPED_TRACE(file);
        auto tags = codectest::probe(m_out / file);
        EXPECT_EQ(tags["tag.title"], title);
        EXPECT_EQ(tags["tag.artist"], "Band");
        EXPECT_EQ(tags["tag.album"], "Record");
        EXPECT_EQ(tags["tag.album_artist"], "Band");
        EXPECT_EQ(tags["tag.WM/Year"], "1999");
        EXPECT_EQ(tags["tag.genre"], "Rock");
        EXPECT_EQ(tags["tag.track"], track);
        EXPECT_EQ(tags.count("tag.copyright"), 0u);
        if (const auto attributes = codectest::asfAttributes(m_out / file)) {
            auto a = *attributes;
            EXPECT_EQ(a["Title"], title);
            EXPECT_EQ(a["Author"], "Band");
            EXPECT_EQ(a["WM/AlbumTitle"], "Record");
            EXPECT_EQ(a["WM/AlbumArtist"], "Band");
            EXPECT_EQ(a["WM/Year"], "1999");
            EXPECT_EQ(a["WM/Genre"], "Rock");
            EXPECT_EQ(a["WM/TrackNumber"], track);
            EXPECT_EQ(a.count("Copyright"), 0u);
        }
    }
}

TEST_F(CdModes, AGrabThatFailsIsReportedAndNothingIsLeftBehind) {
    m_params.outputPath = env.path("missing").string() + "/";
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{IDS_CD_TEMP_FOLDER_FAILED});
    EXPECT_TRUE(env.script->messages[0].text.contains(
        QString::fromStdString(env.path("missing").string())));
    EXPECT_FALSE(dlg.completed());
    EXPECT_FALSE(fs::exists(env.path("missing")));

    env.script->messages.clear();
    m_params.outputPath = m_out.string() + "/";
    env.context.ripObject = nullptr;
    CEncoderProgressDlg wma(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    wma.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{IDS_NO_RIPPER});
}

// An encoder that refuses its settings stops the job with a message naming the track's
// file, and leaves no file of that track behind.
TEST_F(CdModes, AnEncoderThatRefusesItsProfileIsReportedWithTheTracksFile) {
    m_params.wmaProfileIndex = 9999;
    CEncoderProgressDlg dlg(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{196});
    EXPECT_TRUE(env.script->messages[0].text.contains(
        QString::fromStdString((m_out / "Band - Opening.wma").string())))
        << env.script->messages[0].text.toStdString();
    EXPECT_FALSE(dlg.completed());
    for (const std::string& name : filesIn(m_out))
        EXPECT_EQ(name.find(".wma"), std::string::npos) << name;
    EXPECT_TRUE(temporaryFiles(m_out).empty());
}

TEST_F(SlowCdModes, AbortWhileReadingDeletesTheTemporaryWavsAndKeepsFinishedFiles) {
    // Abort once the second selected track is being read: the first is then encoded
    // (or encoding) and the second's WAV is partial.
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    env.script->onWait = [&](int) {
        if (!dlg.abortRequested() &&
            control<QLabel>(&dlg, IDC_OUTPUT_FILE)->text() == "Band - Finale.wav" &&
            bytesBeingRead(m_out) > 100000)
            dlg.requestAbort();
    };
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{191});
    EXPECT_FALSE(dlg.completed());
    std::vector<std::string> files = filesIn(m_out);
    // The first track was read whole: its log and cue sheet stay beside its file.
    for (const char* written : {"Band - Record.cue", "Band - Record.log"}) {
        const auto at = std::find(files.begin(), files.end(), written);
        ASSERT_NE(at, files.end()) << written;
        files.erase(at);
    }
    ASSERT_EQ(files.size(), 1u);
    if (files[0] == "Band - Opening.mp3") {
        // Its encoder had finished: a whole, tagged file.
        Id3v1Tag tag;
        EXPECT_TRUE(tag.Load((m_out / files[0]).string()));
        EXPECT_EQ(tag.title, "Opening");
        EXPECT_NEAR(durationOf(m_out / files[0]), 4.0, 0.1);
    } else {
        EXPECT_EQ(files[0], "Band - Opening.mp3.part");
    }
    // The log tells the truth about the abort and the one file; the track being read
    // when Abort came is not in it, and the cue sheet names a whole file or none.
    const std::string log = textOf(m_out / "Band - Record.log");
    EXPECT_EQ(log.rfind("Rip log\nStatus: incomplete, aborted by the user\n", 0), 0u) << log;
    EXPECT_NE(log.find("  File: " + files[0]), std::string::npos) << log;
    EXPECT_EQ(log.find("Finale"), std::string::npos) << log;
    const std::string cue = textOf(m_out / "Band - Record.cue");
    EXPECT_EQ(cue.find("Finale"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("Band - Opening.mp3") != std::string::npos, files[0] == "Band - Opening.mp3")
        << cue;
}

// Abort while a track is being encoded: its MP3 stays, but as NAME.part, and the message
// says so; the tracks before it keep their tags.
TEST_F(CdModes, AbortedTrackKeepsItsPartialMp3AsPartAndSaysSo) {
    // One encoder: the first track is done before the second one's encoder starts.
    env.settings.setParallelJobs(1);
    converttest::EncoderGate gate(cld::engine::Mp3Encoder::describe(), makeMp3,
                                  [](const AudioTags& tags) { return tags.title == "Finale"; });
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    env.script->onWait = [&](int) {
        if (gate.held() && !dlg.abortRequested()) {
            dlg.requestAbort();
            gate.release();
        }
    };
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{191});
    const QString text = env.script->messages[0].text;
    EXPECT_TRUE(text.startsWith("Process aborted by user !"));
    EXPECT_TRUE(text.contains(QString::fromStdString((m_out / "Band - Finale.mp3.part").string())))
        << text.toStdString();
    EXPECT_EQ(filesIn(m_out),
              (std::vector<std::string>{"Band - Finale.mp3.part", "Band - Opening.mp3",
                                        "Band - Record.cue", "Band - Record.log"}));
    Id3v1Tag tag;
    ASSERT_TRUE(tag.Load((m_out / "Band - Opening.mp3").string()));
    EXPECT_EQ(tag.title, "Opening");
    EXPECT_NEAR(durationOf(m_out / "Band - Opening.mp3"), 4.0, 0.1);
    // The partial file is a valid, shorter MP3.
    EXPECT_EQ(codectest::probe(m_out / "Band - Finale.mp3.part")["stream.codec_name"], "mp3");
    EXPECT_LT(durationOf(m_out / "Band - Finale.mp3.part"), 2.5);
    // The log says the rip was aborted and what is on disk; the cue sheet describes the
    // whole file only.
    const std::string log = textOf(m_out / "Band - Record.log");
    EXPECT_EQ(log.rfind("Rip log\nStatus: incomplete, aborted by the user\n", 0), 0u) << log;
    EXPECT_NE(log.find("  File: Band - Opening.mp3\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  File: Band - Finale.mp3.part (incomplete"), std::string::npos) << log;
    EXPECT_NE(log.find("Summary: rip aborted by the user; 1 of 2 files complete;"),
              std::string::npos)
        << log;
    const std::string cue = textOf(m_out / "Band - Record.cue");
    EXPECT_NE(cue.find("FILE \"Band - Opening.mp3\" MP3"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("Finale"), std::string::npos) << cue;
}

// Names go into the tags, the cue sheet and the log as they came; only file names are
// made by the file-name rule. Every line of the log is filled, in both encoding jobs.
TEST_F(CdModes, NamesGoIntoTagsAndTheCueSheetAsTheyCame) {
    const std::string first = "Слово/Word: 終";
    const std::string third = "..\\a?*\"b\"";
    m_params.disc.trackNames = {first, "unused", third};
    m_params.disc.artist = "AC/DC: Live?";
    for (const char* extension : {".mp3", ".wma"}) {
        SCOPED_TRACE(extension);
        const fs::path out = env.path(extension + 1);
        fs::create_directories(out);
        m_params.outputPath = out.string() + "/";
        env.script->messages.clear();
        const std::unique_ptr<CBatchProgressDlg> dlg = runCdJob(extension);
        ASSERT_EQ(env.messageIds(), std::vector<int>{156});
        // The artist's part of a name loses its trailing dot, as any name does.
        const std::string base = std::string("AC-DC. Live - ");
        EXPECT_EQ(filesIn(out), (std::vector<std::string>{base + "-a.-'b'" + extension,
                                                          base + "Record.cue", base + "Record.log",
                                                          base + "Слово-Word. 終" + extension}));
        auto probe = codectest::probe(out / (base + "Слово-Word. 終" + extension));
        EXPECT_EQ(probe["tag.title"], first);
        EXPECT_EQ(probe["tag.artist"], "AC/DC: Live?");
        EXPECT_EQ(codectest::probe(out / (base + "-a.-'b'" + extension))["tag.title"], third);
        const std::string cue = textOf(out / (base + "Record.cue"));
        EXPECT_NE(cue.find("    TITLE \"" + first + "\"\n"), std::string::npos) << cue;
        EXPECT_NE(cue.find("PERFORMER \"AC/DC: Live?\"\n"), std::string::npos) << cue;
        const std::string log = textOf(out / (base + "Record.log"));
        EXPECT_NE(log.find("Artist: AC/DC: Live?\n"), std::string::npos) << log;
        // Every key has its value.
        for (std::size_t at = 0, nl; (nl = log.find('\n', at)) != std::string::npos; at = nl + 1) {
            const std::string line = log.substr(at, nl - at);
            EXPECT_FALSE(line.size() >= 2 && line.substr(line.size() - 1) == ":") << line;
        }
        EXPECT_NE(log.find("Error correction: Jitter Correction (default)\n"), std::string::npos)
            << log;
    }
}

// An artist with "/" gives file names with "-", as the grabber's WAV mode does.
TEST_F(CdModes, ArtistWithSlashMakesCleanFileNames) {
    m_params.disc.artist = "AC/DC Tribute";
    CMP3EncoderProgressDlg mp3(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    mp3.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(m_out), (std::vector<std::string>{
                                  "AC-DC Tribute - Finale.mp3", "AC-DC Tribute - Opening.mp3",
                                  "AC-DC Tribute - Record.cue", "AC-DC Tribute - Record.log"}));
    Id3v1Tag tag;
    ASSERT_TRUE(tag.Load((m_out / "AC-DC Tribute - Opening.mp3").string()));
    EXPECT_EQ(tag.artist, "AC/DC Tribute") << "the tag keeps the real name";

    env.script->messages.clear();
    const fs::path wmaOut = env.path("wma");
    fs::create_directories(wmaOut);
    m_params.outputPath = wmaOut.string() + "/";
    CEncoderProgressDlg wma(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    wma.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(wmaOut), (std::vector<std::string>{
                                   "AC-DC Tribute - Finale.wma", "AC-DC Tribute - Opening.wma",
                                   "AC-DC Tribute - Record.cue", "AC-DC Tribute - Record.log"}));
}

// A track the ripper refuses (its temporary file's path would not fit the ripper's
// record in a folder this deep) stops the job with its message, and the next job runs as
// if it had never been tried.
TEST_F(CdModes, ARefusedTrackDoesNotSpoilTheNextJob) {
    // 240 bytes: the folder fits, the temporary WAV file's path in it does not.
    const fs::path deep = env.root() / std::string(240 - env.root().string().size() - 1, 'd');
    fs::create_directories(deep);
    cld::engine::JobSpec params = m_params;
    params.outputPath = deep.string() + "/";
    CMP3EncoderProgressDlg refused(env.context,
                                   converttest::inMode(params, cld::engine::JobMode::CdEncode));
    refused.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{IDS_GRAB_FAILED});
    EXPECT_TRUE(filesIn(deep).empty());

    env.script->messages.clear();
    m_params.disc.trackNames[0] = "Opening";
    CMP3EncoderProgressDlg next(env.context,
                                converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    next.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(m_out), (std::vector<std::string>{"Band - Finale.mp3", "Band - Opening.mp3",
                                                        "Band - Record.cue", "Band - Record.log"}));
}

TEST_F(SlowCdModes, AbortInCdToWmaSaysSoAndDeletesTheWav) {
    CEncoderProgressDlg dlg(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    env.script->onWait = [&](int) {
        if (!dlg.abortRequested() && bytesBeingRead(m_out) > 100000)
            dlg.requestAbort();
    };
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{191});
    EXPECT_TRUE(filesIn(m_out).empty());
}

// Abort while a CD track is encoded to WMA: its file stays as NAME.part.
TEST_F(SlowCdModes, AbortedWmaTrackKeepsItsPartialFileAsPart) {
    CEncoderProgressDlg dlg(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    // Once the second track is being read, the first one's encoding has been started.
    env.script->onWait = [&](int) {
        if (!dlg.abortRequested() &&
            control<QLabel>(&dlg, IDC_OUTPUT_FILE)->text() == "Band - Finale.wav")
            dlg.requestAbort();
    };
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{191});
    std::vector<std::string> files = filesIn(m_out);
    // The first track was read whole: its log and cue sheet stay beside its file.
    for (const char* written : {"Band - Record.cue", "Band - Record.log"}) {
        const auto at = std::find(files.begin(), files.end(), written);
        ASSERT_NE(at, files.end()) << written;
        files.erase(at);
    }
    // The first track's encoding either ended before the abort (a whole file) or was cut
    // short (kept as .part); never a cut file under the track's own name.
    ASSERT_EQ(files.size(), 1u);
    if (files[0] == "Band - Opening.wma")
        EXPECT_NEAR(durationOf(m_out / files[0]), 4.0, 0.2);
    else
        EXPECT_EQ(files[0], "Band - Opening.wma.part");
}

// A track saved whole whose audio could not all be verified is no read failure: the job
// goes on, keeps its file and names it at the end with what happened and the advice.
TEST_F(ScratchedCdModes, AWholeTrackNotReadExactlyIsNamedNotFailed) {
    env.context.driveSettings->SetErrorCorrection(2);
    CMP3EncoderProgressDlg dlg(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{941});
    const QString text = env.script->messages[0].text;
    EXPECT_FALSE(text.contains("could not be read.")) << text.toStdString();
    EXPECT_TRUE(text.contains("Band - Opening: ")) << text.toStdString();
    EXPECT_TRUE(text.contains("could not be verified")) << text.toStdString();
    EXPECT_TRUE(text.contains("Jitter and Scratch Repair")) << text.toStdString();
    EXPECT_FALSE(text.contains("Finale")) << text.toStdString();
    EXPECT_TRUE(dlg.completed());
    EXPECT_NEAR(durationOf(m_out / "Band - Opening.mp3"), 4.0, 0.2);
    EXPECT_NEAR(durationOf(m_out / "Band - Finale.mp3"), 3.0, 0.2);
}

// The cover the grabber found goes beside the encoded files as folder.jpg, once: a cover
// that is there already stays.
TEST_F(CdModes, TheReleaseCoverIsKeptBesideTheFiles) {
    const std::string cover = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(600, 'c');
    m_params.disc.coverImage = cover;
    CMP3EncoderProgressDlg mp3(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    mp3.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(textOf(m_out / "folder.jpg").size(), cover.size() + 1);
    std::ifstream in(m_out / "folder.jpg", std::ios::binary);
    std::string written(cover.size() + 8, '\0');
    in.read(written.data(), static_cast<std::streamsize>(written.size()));
    written.resize(static_cast<size_t>(in.gcount()));
    EXPECT_TRUE(written == cover);
    EXPECT_FALSE(fs::exists(m_out / "folder.jpg.part"));
    // Each MP3 carries it as its front cover.
    const std::string tagged = textOf(m_out / "Band - Opening.mp3");
    const size_t apic = tagged.find("APIC");
    ASSERT_NE(apic, std::string::npos);
    EXPECT_NE(tagged.find(std::string("image/jpeg\0\x03", 12), apic), std::string::npos);
    EXPECT_NE(tagged.find(cover, apic), std::string::npos);

    const fs::path wmaOut = env.path("wma");
    fs::create_directories(wmaOut);
    std::ofstream(wmaOut / "folder.jpg") << "mine";
    m_params.outputPath = wmaOut.string() + "/";
    env.script->messages.clear();
    CEncoderProgressDlg wma(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    wma.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(textOf(wmaOut / "folder.jpg"), "mine\n");
}

// With four jobs the reader runs ahead while the earlier tracks encode at once: all
// three tracks are in the encoders together, never more than five temporary WAV files are
// on disk, and the MP3 files (with their tags) are byte for byte those of the plain
// pipeline.
TEST_F(CdModes, CdToMp3EncodesEarlierTracksOnEveryCore) {
    m_params.disc.ticked = {0, 1, 2};
    env.settings.setParallelJobs(1);
    CMP3EncoderProgressDlg one(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    one.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});

    env.script->messages.clear();
    env.settings.setParallelJobs(4);
    const fs::path out4 = env.path("out4");
    fs::create_directories(out4);
    cld::engine::JobSpec params = m_params;
    params.outputPath = out4.string() + "/";
    // Every encoder waits at its first block until three are waiting at once.
    auto gate =
        std::make_unique<converttest::EncoderGate>(cld::engine::Mp3Encoder::describe(), makeMp3);
    size_t mostWavs = 0;
    int heldTogether = 0;
    CMP3EncoderProgressDlg four(env.context,
                                converttest::inMode(params, cld::engine::JobMode::CdEncode));
    env.script->onWait = [&](int) {
        mostWavs = std::max(mostWavs, temporaryWavCount(out4));
        if (heldTogether == 0 && gate->held() == 3) {
            heldTogether = 3;
            gate->release();
        }
    };
    four.exec();
    env.script->onWait = nullptr;
    gate.reset();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(heldTogether, 3) << "the three tracks were not encoded at once";
    EXPECT_LE(mostWavs, 5u);
    EXPECT_GE(mostWavs, 3u);
    for (const char* name : {"Band - Opening.mp3", "Band - AC-DC. Live.mp3", "Band - Finale.mp3"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(out4 / name));
        EXPECT_EQ(codectest::shell("cmp -s " + codectest::quote(m_out / name) + " " +
                                   codectest::quote(out4 / name)),
                  0);
        Id3v1Tag tag;
        ASSERT_TRUE(tag.Load((out4 / name).string()));
        EXPECT_EQ(tag.album, "Record");
    }
    for (const auto& e : fs::directory_iterator(out4))
        EXPECT_NE(e.path().extension(), ".wav") << e.path();
}

// The WMA mode encodes earlier tracks on several encoders too: every track of the disc
// comes out with its names, decoding to the samples of the one-encoder pipeline, and no
// more temporary WAV files than encoders + 1 are ever on disk.
TEST_F(CdModes, CdToWmaOnSeveralEncodersMatchesThePlainPipeline) {
    m_params.disc.ticked = {0, 1, 2};
    env.settings.setParallelJobs(1);
    CEncoderProgressDlg one(env.context,
                            converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                            createMediaEncoder(env.context));
    one.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});

    env.script->messages.clear();
    env.settings.setParallelJobs(3);
    const fs::path out3 = env.path("out3");
    fs::create_directories(out3);
    cld::engine::JobSpec params = m_params;
    params.outputPath = out3.string() + "/";
    size_t mostWavs = 0;
    env.script->onWait = [&](int) { mostWavs = std::max(mostWavs, temporaryWavCount(out3)); };
    CEncoderProgressDlg three(env.context,
                              converttest::inMode(params, cld::engine::JobMode::CdEncode),
                              createMediaEncoder(env.context));
    three.exec();
    env.script->onWait = nullptr;
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_LE(mostWavs, 4u);
    // The file names lose a title's trailing dot; the tags keep it.
    const std::pair<const char*, const char*> titles[] = {
        {"Opening", "Opening"}, {"AC-DC. Live.", "AC-DC. Live"}, {"Finale", "Finale"}};
    for (const auto& [title, stem] : titles) {
        const std::string name = std::string("Band - ") + stem + ".wma";
        SCOPED_TRACE(name);
        ASSERT_TRUE(fs::exists(out3 / name));
        EXPECT_EQ(codectest::probe(out3 / name).at("tag.title"), title);
        const codectest::Pcm a = codectest::decodeWithFfmpeg(m_out / name);
        const codectest::Pcm b = codectest::decodeWithFfmpeg(out3 / name);
        EXPECT_FALSE(b.samples.empty());
        EXPECT_TRUE(a.samples == b.samples);
    }
    for (const auto& e : fs::directory_iterator(out3))
        EXPECT_NE(e.path().extension(), ".wav") << e.path();
}

namespace {

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// The files a user already has in the folder the CD job writes to, and the names the
// program once used for its temporary files, planted with a link to a file outside the
// folder and a pipe.
struct UserFiles {
    explicit UserFiles(const fs::path& folder, const fs::path& outsideFile) : out(folder) {
        outside = outsideFile;
        put(outside, "outside");
        for (const char* name :
             {"Band - Opening.wav", "Band - Finale.wav", "Band - Opening.mp3", "Band - Opening.wma",
              "Band - Opening.flac", "folder.jpg", "Band - Record.log", "Band - Record.cue"})
            put(out / name, std::string("mine: ") + name);
        fs::create_symlink(outside, out / "folder.jpg.part");
        fs::create_symlink(outside, out / "Band - Record.log.part");
        ::mkfifo((out / "Band - Record.cue.part").c_str(), 0644);
    }
    static void put(const fs::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }
    // Every file of the user's as it was (or, with `replaced`, gone under those names).
    void expectUntouched(const std::vector<std::string>& replaced = {}) const {
        for (const auto& [name, text] : before()) {
            if (std::find(replaced.begin(), replaced.end(), name) != replaced.end())
                continue;
            EXPECT_EQ(bytesOf(out / name), text) << name;
        }
        EXPECT_EQ(bytesOf(outside), "outside");
        EXPECT_TRUE(fs::is_symlink(out / "folder.jpg.part"));
        EXPECT_TRUE(fs::is_fifo(out / "Band - Record.cue.part"));
    }
    std::vector<std::pair<std::string, std::string>> before() const {
        std::vector<std::pair<std::string, std::string>> files;
        for (const char* name :
             {"Band - Opening.wav", "Band - Finale.wav", "Band - Opening.mp3", "Band - Opening.wma",
              "Band - Opening.flac", "folder.jpg", "Band - Record.log", "Band - Record.cue"})
            files.emplace_back(name, std::string("mine: ") + name);
        return files;
    }
    fs::path out;
    fs::path outside;
};

} // namespace

// A CD job into a folder that holds the user's files (among them the WAV files of an
// earlier rip of the same disc, and files at the program's old temporary names) asks once,
// and whatever the answer, no file of the user's is changed, removed or written through
// unless the user chose Replace.
TEST_F(CdModes, UserFilesInTheFolderSurviveEveryCdJob) {
    const std::string cover = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(600, 'c');
    m_params.disc.coverImage = cover;
    const UserFiles user(m_out, env.path("outside.txt"));
    std::vector<Message> asked;
    MessageResult reply = MessageResult::No; // Keep both
    env.script->answer = [&](const Message& m) {
        if (m.stringId == IDS_NAMES_TAKEN_ASK) {
            asked.push_back(m);
            EXPECT_EQ(m.buttons, MessageButtons::ReplaceKeepBothCancel);
            return reply;
        }
        return MessageResult::Ok;
    };

    for (const char* extension : {".mp3", ".wma"}) {
        SCOPED_TRACE(extension);
        asked.clear();
        env.script->messages.clear();
        const std::unique_ptr<CBatchProgressDlg> dlg = runCdJob(extension);
        EXPECT_TRUE(dlg->completed());
        ASSERT_EQ(asked.size(), 1u) << "one question per job";
        // The user's file of the output's name, the log and the cue sheet are in the way.
        EXPECT_TRUE(asked[0].text.startsWith("3 of the files")) << asked[0].text.toStdString();
        EXPECT_TRUE(asked[0].text.contains(QStringLiteral("Band - Opening") + extension));
        user.expectUntouched();
        // The new files got numbers; the other track's name was free.
        EXPECT_NEAR(durationOf(m_out / ("Band - Opening (2)" + std::string(extension))), 4.0, 0.2);
        EXPECT_NEAR(durationOf(m_out / ("Band - Finale" + std::string(extension))), 3.0, 0.2);
        const std::string cue = textOf(m_out / "Band - Record (2).cue");
        EXPECT_NE(cue.find("FILE \"Band - Opening (2)" + std::string(extension) + "\""),
                  std::string::npos)
            << cue;
        EXPECT_NE(textOf(m_out / "Band - Record (2).log").find("Band - Finale"), std::string::npos);
        fs::remove(m_out / ("Band - Opening (2)" + std::string(extension)));
        fs::remove(m_out / ("Band - Finale" + std::string(extension)));
        fs::remove(m_out / "Band - Record (2).log");
        fs::remove(m_out / "Band - Record (2).cue");
    }
    // No temporary file or folder is left, and the cover of the user's stayed.
    for (const auto& e : fs::directory_iterator(m_out))
        EXPECT_NE(e.path().filename().string().rfind(".cld", 0), 0u) << e.path();

    // Cancel: nothing is read, nothing written.
    reply = MessageResult::Cancel;
    const std::vector<std::string> before = filesIn(m_out);
    CMP3EncoderProgressDlg cancelled(env.context,
                                     converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    cancelled.exec();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(filesIn(m_out), before);
    user.expectUntouched();

    // Replace: the user's MP3 of that name, the log and the cue sheet give way; the user's
    // WAV files of the disc, and everything else, stay.
    reply = MessageResult::Yes;
    CMP3EncoderProgressDlg replacing(env.context,
                                     converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    replacing.exec();
    EXPECT_TRUE(replacing.completed());
    user.expectUntouched({"Band - Opening.mp3", "Band - Record.log", "Band - Record.cue"});
    EXPECT_NEAR(durationOf(m_out / "Band - Opening.mp3"), 4.0, 0.2);
    EXPECT_NE(textOf(m_out / "Band - Record.cue").find("Band - Opening.mp3"), std::string::npos);
    std::vector<std::string> after = before;
    after.push_back("Band - Finale.mp3");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(filesIn(m_out), after);
}

// Titles that used to lose a track: two tracks of one name, a title that ends like the
// log's extension, one with a dot and digits, path-like titles and a very long one. Every
// track is kept under a name of its own, with its format's extension, inside the folder.
TEST_F(CdModes, EveryTitleKeepsItsTrackUnderItsOwnName) {
    std::string longTitle;
    while (longTitle.size() < 300)
        longTitle += "Ω";
    m_params.disc.trackNames = {"Interlude", "Interlude", "Record.log"};
    m_params.disc.album = "Record";
    m_params.disc.ticked = {0, 1, 2};
    env.settings.setParallelJobs(2);
    CMP3EncoderProgressDlg first(env.context,
                                 converttest::inMode(m_params, cld::engine::JobMode::CdEncode));
    first.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(m_out),
              (std::vector<std::string>{"Band - Interlude (2).mp3", "Band - Interlude.mp3",
                                        "Band - Record.cue", "Band - Record.log",
                                        "Band - Record.log.mp3"}));
    EXPECT_NEAR(durationOf(m_out / "Band - Interlude.mp3"), 4.0, 0.2);
    EXPECT_NEAR(durationOf(m_out / "Band - Interlude (2).mp3"), 2.0, 0.2);
    EXPECT_NEAR(durationOf(m_out / "Band - Record.log.mp3"), 3.0, 0.2);
    EXPECT_EQ(codectest::probe(m_out / "Band - Record.log.mp3")["tag.title"], "Record.log");

    const fs::path other = env.path("other");
    fs::create_directories(other);
    m_params.outputPath = other.string() + "/";
    m_params.disc.artist = "../..";
    m_params.disc.trackNames = {"Op.111", "AC/DC", longTitle};
    env.script->messages.clear();
    CEncoderProgressDlg second(env.context,
                               converttest::inMode(m_params, cld::engine::JobMode::CdEncode),
                               createMediaEncoder(env.context));
    second.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    const std::vector<std::string> names = filesIn(other);
    ASSERT_EQ(names.size(), 5u) << "three tracks, a log and a cue sheet";
    // "../.." loses its dots at both ends: "-".
    EXPECT_EQ(names[0], "- - AC-DC.wma");
    EXPECT_EQ(names[1], "- - Op.111.wma");
    EXPECT_EQ(names[2], "- - Record.cue");
    EXPECT_EQ(names[3], "- - Record.log");
    EXPECT_EQ(names[4].substr(0, 8), "- - ΩΩ");
    EXPECT_EQ(fs::path(names[4]).extension(), ".wma");
    EXPECT_LE(names[4].size(), 255u);
    EXPECT_EQ(codectest::probe(other / names[4])["tag.title"], longTitle)
        << "the tag keeps the whole title";
    // Nothing was written beside the chosen folder.
    for (const auto& e : fs::directory_iterator(other.parent_path()))
        EXPECT_NE(e.path().extension(), ".wma") << e.path();
}
