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
#include "JobParameters.h"
#include "MediaFixtures.h"
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

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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
        GrabSelection& sel = env.context.grabSelection;
        sel.trackNames = {"Opening", "AC-DC. Live.", "Finale"};
        sel.ticked = {0, 2};
        sel.artist = "Band";
        sel.album = "Record";
        sel.year = 1999;
        sel.genreIndex = 17;
        m_out = env.path("out");
        fs::create_directories(m_out);
        m_params.outputPath = m_out.string() + "/";
        m_params.artist = sel.artist;
        m_params.album = sel.album;
    }
    void TearDown() override {
        if (m_rip)
            m_rip->Dispose();
    }

    int64_t m_slowMicros = 0;
    std::vector<std::pair<int64_t, int64_t>> m_scratched;
    ConvertEnv env;
    std::unique_ptr<vdrivekit::VirtualDrives> m_drives;
    CDRipObject* m_rip = nullptr;
    fs::path m_out;
    JobParameters m_params;
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
    CMP3EncoderProgressDlg dlg(env.context, m_params, 1);
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
    CMP3EncoderProgressDlg dlg(env.context, m_params, 1);
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
    env.context.grabSelection.ticked = {1};
    CMP3EncoderProgressDlg dlg(env.context, m_params, 1);
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    const fs::path mp3 = m_out / "Band - AC-DC. Live..mp3";
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
    CEncoderProgressDlg dlg(env.context, m_params, 1, createMediaEncoder(env.context));
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
    CMP3EncoderProgressDlg dlg(env.context, m_params, 1);
    dlg.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{IDS_GRAB_FAILED});
    EXPECT_TRUE(env.script->messages[0].text.contains("could not be created"));
    EXPECT_FALSE(dlg.completed());
    EXPECT_FALSE(fs::exists(env.path("missing")));

    env.script->messages.clear();
    env.context.ripObject = nullptr;
    CEncoderProgressDlg wma(env.context, m_params, 1, createMediaEncoder(env.context));
    wma.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{IDS_NO_RIPPER});
}

TEST_F(SlowCdModes, AbortWhileReadingDeletesTheTemporaryWavsAndKeepsFinishedFiles) {
    // Abort once the second selected track is being read: the first is then encoded
    // (or encoding) and the second's WAV is partial.
    CMP3EncoderProgressDlg dlg(env.context, m_params, 1);
    env.script->onWait = [&](int) {
        std::error_code ec;
        if (!dlg.abortRequested() && fs::file_size(m_out / "Band - Finale.wav", ec) > 100000 && !ec)
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
}

// Abort while a track is being encoded: its MP3 stays, but as NAME.part, and the message
// says so; the tracks before it keep their tags.
TEST_F(CdModes, AbortedTrackKeepsItsPartialMp3AsPartAndSaysSo) {
    // One encoder: the first track is done before the second one's encoder starts.
    env.settings.setParallelJobs(1);
    converttest::JobGate gate(CodecJob::WorkerPoint::Started, "Band - Finale.mp3");
    CMP3EncoderProgressDlg dlg(env.context, m_params, 1);
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
    // The partial file is a valid, shorter MP3 without a tag.
    Id3v1Tag partialTag;
    partialTag.Load((m_out / "Band - Finale.mp3.part").string());
    EXPECT_TRUE(partialTag.title.empty());
    EXPECT_EQ(codectest::probe(m_out / "Band - Finale.mp3.part")["stream.codec_name"], "mp3");
    EXPECT_LT(durationOf(m_out / "Band - Finale.mp3.part"), 2.5);
}

// An artist with "/" gives file names with "-", as the grabber's WAV mode does.
TEST_F(CdModes, ArtistWithSlashMakesCleanFileNames) {
    env.context.grabSelection.artist = "AC/DC Tribute";
    CMP3EncoderProgressDlg mp3(env.context, m_params, 1);
    mp3.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(m_out), (std::vector<std::string>{
                                  "AC-DC Tribute - Finale.mp3", "AC-DC Tribute - Opening.mp3",
                                  "AC_DC Tribute - Record.cue", "AC_DC Tribute - Record.log"}));
    Id3v1Tag tag;
    ASSERT_TRUE(tag.Load((m_out / "AC-DC Tribute - Opening.mp3").string()));
    EXPECT_EQ(tag.artist, "AC/DC Tribute") << "the tag keeps the real name";

    env.script->messages.clear();
    const fs::path wmaOut = env.path("wma");
    fs::create_directories(wmaOut);
    m_params.outputPath = wmaOut.string() + "/";
    CEncoderProgressDlg wma(env.context, m_params, 1, createMediaEncoder(env.context));
    wma.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(wmaOut), (std::vector<std::string>{
                                   "AC-DC Tribute - Finale.wma", "AC-DC Tribute - Opening.wma",
                                   "AC_DC Tribute - Record.cue", "AC_DC Tribute - Record.log"}));
}

// A track whose file name the ripper refuses stops the job with its message, and the
// next job runs as if it had never been tried.
TEST_F(CdModes, ARefusedTrackNameDoesNotSpoilTheNextJob) {
    env.context.grabSelection.trackNames[0] = std::string(300, 'x');
    CMP3EncoderProgressDlg refused(env.context, m_params, 1);
    refused.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{IDS_GRAB_FAILED});
    EXPECT_TRUE(filesIn(m_out).empty());

    env.script->messages.clear();
    env.context.grabSelection.trackNames[0] = "Opening";
    CMP3EncoderProgressDlg next(env.context, m_params, 1);
    next.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(filesIn(m_out), (std::vector<std::string>{"Band - Finale.mp3", "Band - Opening.mp3",
                                                        "Band - Record.cue", "Band - Record.log"}));
}

TEST_F(SlowCdModes, AbortInCdToWmaSaysSoAndDeletesTheWav) {
    CEncoderProgressDlg dlg(env.context, m_params, 1, createMediaEncoder(env.context));
    env.script->onWait = [&](int) {
        std::error_code ec;
        if (!dlg.abortRequested() && fs::file_size(m_out / "Band - Opening.wav", ec) > 100000 &&
            !ec)
            dlg.requestAbort();
    };
    dlg.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{191});
    EXPECT_TRUE(filesIn(m_out).empty());
}

// Abort while a CD track is encoded to WMA: its file stays as NAME.part.
TEST_F(SlowCdModes, AbortedWmaTrackKeepsItsPartialFileAsPart) {
    CEncoderProgressDlg dlg(env.context, m_params, 1, createMediaEncoder(env.context));
    // Once the second track is being read, the first one's encoding has been started.
    env.script->onWait = [&](int) {
        std::error_code ec;
        if (!dlg.abortRequested() && fs::exists(m_out / "Band - Finale.wav", ec))
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
    CMP3EncoderProgressDlg dlg(env.context, m_params, 1);
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
    env.context.grabSelection.coverImage = cover;
    CMP3EncoderProgressDlg mp3(env.context, m_params, 1);
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
    CEncoderProgressDlg wma(env.context, m_params, 1, createMediaEncoder(env.context));
    wma.exec();
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(textOf(wmaOut / "folder.jpg"), "mine\n");
}

// With four jobs the reader runs ahead while the earlier tracks encode at once: all
// three tracks are in the encoders together, never more than five temporary WAV files are
// on disk, and the MP3 files (with their tags) are byte for byte those of the plain
// pipeline.
TEST_F(CdModes, CdToMp3EncodesEarlierTracksOnEveryCore) {
    env.context.grabSelection.ticked = {0, 1, 2};
    env.settings.setParallelJobs(1);
    CMP3EncoderProgressDlg one(env.context, m_params, 1);
    one.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});

    env.script->messages.clear();
    env.settings.setParallelJobs(4);
    const fs::path out4 = env.path("out4");
    fs::create_directories(out4);
    JobParameters params = m_params;
    params.outputPath = out4.string() + "/";
    std::mutex lock;
    std::condition_variable wake;
    int held = 0;
    bool released = false;
    CodecJob::SetWorkerHook([&](const CodecJob&, CodecJob::WorkerPoint point) {
        if (point != CodecJob::WorkerPoint::Started)
            return;
        std::unique_lock guard(lock);
        ++held;
        wake.wait_for(guard, std::chrono::seconds(cldtest::kHangLimitSeconds),
                      [&] { return released; });
    });
    size_t mostWavs = 0;
    int heldTogether = 0;
    CMP3EncoderProgressDlg four(env.context, params, 1);
    env.script->onWait = [&](int) {
        size_t wavs = 0;
        for (const auto& e : fs::directory_iterator(out4))
            wavs += e.path().extension() == ".wav";
        mostWavs = std::max(mostWavs, wavs);
        std::lock_guard guard(lock);
        if (held == 3 && !released) {
            heldTogether = held;
            released = true;
            wake.notify_all();
        }
    };
    four.exec();
    env.script->onWait = nullptr;
    {
        std::lock_guard guard(lock);
        released = true;
        wake.notify_all();
    }
    CodecJob::SetWorkerHook({});
    EXPECT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_EQ(heldTogether, 3) << "the three tracks were not encoded at once";
    EXPECT_LE(mostWavs, 5u);
    EXPECT_GE(mostWavs, 3u);
    for (const char* name :
         {"Band - Opening.mp3", "Band - AC-DC. Live..mp3", "Band - Finale.mp3"}) {
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
    env.context.grabSelection.ticked = {0, 1, 2};
    env.settings.setParallelJobs(1);
    CEncoderProgressDlg one(env.context, m_params, 1, createMediaEncoder(env.context));
    one.exec();
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});

    env.script->messages.clear();
    env.settings.setParallelJobs(3);
    const fs::path out3 = env.path("out3");
    fs::create_directories(out3);
    JobParameters params = m_params;
    params.outputPath = out3.string() + "/";
    size_t mostWavs = 0;
    env.script->onWait = [&](int) {
        size_t wavs = 0;
        for (const auto& e : fs::directory_iterator(out3))
            wavs += e.path().extension() == ".wav";
        mostWavs = std::max(mostWavs, wavs);
    };
    CEncoderProgressDlg three(env.context, params, 1, createMediaEncoder(env.context));
    three.exec();
    env.script->onWait = nullptr;
    ASSERT_EQ(env.messageIds(), std::vector<int>{156});
    EXPECT_LE(mostWavs, 4u);
    const char* titles[] = {"Opening", "AC-DC. Live.", "Finale"};
    for (const char* title : titles) {
        const std::string name = std::string("Band - ") + title + ".wma";
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
