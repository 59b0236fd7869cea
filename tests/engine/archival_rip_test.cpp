// The archivist's rip through the engine on the virtual drive: gap detection, the hidden
// first track ripped as track 0, ISRCs, the catalogue number and pre-emphasis in the
// log, the cue sheet (read back through the drive's own parser) and the tags; test and
// copy under jitter and scratch faults; the log's checksum.

#include "CdPipeline.h"
#include "DiscImage.h"
#include "EngineFixtures.h"
#include "GrabFixture.h"
#include "RipLog.h"

#include <fstream>
#include <sstream>

using namespace cldtest;
using cld::engine::CdPipeline;
using cld::engine::CdRipSpec;
using cld::engine::JobEnd;
using cld::engine::JobObserver;
using cld::engine::JobResult;
using cld::engine::VerifyEnv;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace fs = std::filesystem;

namespace {

class Quiet : public JobObserver {
public:
    void itemStarted(const cld::engine::ItemStart&) override {}
    void progress(const cld::engine::Progress&) override {}
    void itemEnded(const cld::engine::ItemEnd&) override {}
    void finished(const JobEnd&) override {}
    cld::engine::Answer ask(const cld::engine::Question&) override {
        return cld::engine::Answer::Cancel;
    }
};

std::string fileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ArchivalRip : public GrabTest {
protected:
    // 150 sectors of audio before track 1; pregaps of 1 and 75 sectors before tracks 3
    // and 4; ISRCs on tracks 1 and 3; pre-emphasis on track 2; a catalogue number.
    DiscSpec richDisc() {
        DiscSpec d;
        d.title = "Record";
        d.performer = "Band";
        d.catalog = "0724349691424";
        d.tracks.push_back({Content::Music, 300, "One", {}, 150, 0});
        d.tracks.push_back({Content::Music, 200, "Two", {}, 0, 0});
        d.tracks.push_back({Content::Music, 200, "Three", {}, 1, 0});
        d.tracks.push_back({Content::Music, 250, "Four", {}, 75, 0});
        d.codes = {{1, {"GBAYE0000351", ""}}, {2, {"", "PRE"}}, {3, {"USRC17607839", ""}}};
        return d;
    }
    CdRipSpec setup(const std::string& encoder, int tracks) {
        CdRipSpec s;
        const char* titles[] = {"One", "Two", "Three", "Four"};
        for (int i = 0; i < tracks; ++i)
            s.tracks.push_back({i, titles[i]});
        s.artist = "Band";
        s.album = "Record";
        s.folder = m_out.string();
        s.encoder = encoder;
        return s;
    }
    VerifyEnv noLookup() {
        VerifyEnv env;
        env.rip = m_rip;
        env.drives = m_rip->GetDriveSettings();
        env.lookup = false;
        return env;
    }
    std::string log() { return fileText(m_out / "Band - Record.log"); }
};

} // namespace

TEST_F(ArchivalRip, TheCueSheetAndLogDescribeTheDiscExactly) {
    start({richDisc()});
    makeObject();
    CdRipSpec s = setup("wav", 4);
    s.ripHiddenTrack = true;
    CdPipeline job(m_rip, s, noLookup(), nullptr);
    Quiet q;
    const JobEnd end = job.run(q);
    ASSERT_EQ(end.result, JobResult::Completed);
    EXPECT_EQ(end.converted, 5u);
    // The hidden track holds the disc's first 150 sectors.
    const Wav hidden = readWav(m_out / "Band - HTOA.wav");
    EXPECT_TRUE(hidden.data == imageBytes(0, 149));
    // The cue sheet read back through the drive's parser is the disc it was ripped from.
    std::string error;
    auto original = vdrive::DiscImage::load(m_drives->cuePaths()[0].string(), error);
    ASSERT_NE(original, nullptr) << error;
    auto copy = vdrive::DiscImage::load((m_out / "Band - Record.cue").string(), error);
    const std::string cue = fileText(m_out / "Band - Record.cue");
    ASSERT_NE(copy, nullptr) << error << "\n" << cue;
    EXPECT_EQ(copy->leadOut(), original->leadOut());
    EXPECT_EQ(copy->catalog(), "0724349691424");
    ASSERT_EQ(copy->tracks().size(), 4u) << cue;
    for (size_t i = 0; i < 4; ++i) {
        const auto& a = original->tracks()[i];
        const auto& b = copy->tracks()[i];
        EXPECT_EQ(b.start, a.start) << "track " << i + 1 << "\n" << cue;
        EXPECT_EQ(b.index0, a.index0) << "track " << i + 1 << "\n" << cue;
        EXPECT_EQ(b.isrc, a.isrc);
        EXPECT_EQ(b.control, a.control);
    }
    // Every sector of the copy is the disc's.
    std::vector<uint8_t> a(2352), b(2352);
    for (int64_t lba = 0; lba < original->leadOut(); lba += 37) {
        original->copyBytes(lba * 2352, 2352, a.data());
        copy->copyBytes(lba * 2352, 2352, b.data());
        ASSERT_EQ(a, b) << "sector " << lba;
    }
    const std::string text = log();
    for (const char* line :
         {"Catalogue number (MCN): 0724349691424\n",
          "Before track 1 (HTOA): 00:02:00 (150 sectors) of audio (a hidden track, HTOA), ripped "
          "as track 0 into Band - HTOA.wav\n",
          "Track 01\n  File: Band - One.wav\n  Pregap: 00:02:00 (150 sectors)\n"
          "  ISRC: GBAYE0000351\n  Pre-emphasis: no\n",
          "Track 02\n  File: Band - Two.wav\n  Pregap: none\n  ISRC: none\n  Pre-emphasis: yes\n",
          "Track 03\n  File: Band - Three.wav\n  Pregap: 00:00:01 (1 sector)\n",
          "Track 04\n  File: Band - Four.wav\n  Pregap: 00:01:00 (75 sectors)\n",
          "Drive feature: Q sub-channel: readable (measured)\n", "Peak of the disc: "})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n---\n" << text;
    EXPECT_EQ(accurip::checkLogChecksum(text), accurip::LogChecksum::Ok);
}

TEST_F(ArchivalRip, IsrcAndCatalogueGoIntoTheTags) {
    start({richDisc()});
    makeObject();
    CdPipeline job(m_rip, setup("flac", 1), noLookup(), nullptr);
    Quiet q;
    ASSERT_EQ(job.run(q).result, JobResult::Completed);
    int status = -1;
    const std::string tags = enginetest::run("metaflac --show-tag=ISRC --show-tag=BARCODE " +
                                                 enginetest::quoted(m_out / "Band - One.flac"),
                                             status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(tags.find("ISRC=GBAYE0000351"), std::string::npos) << tags;
    EXPECT_NE(tags.find("BARCODE=0724349691424"), std::string::npos) << tags;
    // In an MP3 file the ISRC is the ID3 TSRC frame.
    for (const auto& entry : fs::directory_iterator(m_out))
        fs::remove(entry.path());
    CdPipeline mp3(m_rip, setup("mp3", 1), noLookup(), nullptr);
    ASSERT_EQ(mp3.run(q).result, JobResult::Completed);
    std::ifstream in(m_out / "Band - One.mp3", std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    const size_t frame = head.find("TSRC");
    ASSERT_NE(frame, std::string::npos);
    EXPECT_NE(head.find("GBAYE0000351", frame), std::string::npos);
}

TEST_F(ArchivalRip, SilenceBeforeTrackOneIsAPregapNotATrack) {
    DiscSpec d;
    d.title = "Record";
    d.performer = "Band";
    d.tracks.push_back({Content::Music, 300, "One", {}, 0, 120});
    d.tracks.push_back({Content::Music, 200, "Two", {}, 0, 0});
    start({d});
    makeObject();
    CdRipSpec s = setup("wav", 2);
    s.ripHiddenTrack = true;
    CdPipeline job(m_rip, s, noLookup(), nullptr);
    Quiet q;
    ASSERT_EQ(job.run(q).result, JobResult::Completed);
    EXPECT_FALSE(fs::exists(m_out / "Band - HTOA.wav"));
    EXPECT_NE(log().find("Before track 1 (HTOA): 00:01:45 (120 sectors) of silence\n"),
              std::string::npos)
        << log();
    const std::string cue = fileText(m_out / "Band - Record.cue");
    EXPECT_NE(cue.find("    PREGAP 00:01:45\n    INDEX 01 00:00:00\n"), std::string::npos) << cue;
}

// Test and copy: a clean disc is "copy OK" throughout, with the CRCs the log's CRC32
// lines give; a copy damaged by jitter or a scratch is never called "copy OK".
TEST_F(ArchivalRip, TestAndCopyConfirmsCleanReadsAndNeverADamagedOne) {
    DiscSpec clean;
    clean.title = "Record";
    clean.performer = "Band";
    for (const char* t : {"One", "Two", "Three"})
        clean.tracks.push_back({Content::Music, 300, t, {}, 0, 0});
    DiscSpec jitter = clean;
    jitter.faults.jitterFrames = 4;
    DiscSpec scratched = clean;
    scratched.faults.scratched = {{400, 402}};
    start({clean, jitter, scratched});
    makeObject();
    auto rip = [&](int drive, int correction) {
        for (const auto& entry : fs::directory_iterator(m_out))
            fs::remove(entry.path());
        m_rip->GetDriveSettings()->SetActiveDrive(drive);
        m_rip->GetDriveSettings()->SetErrorCorrection(correction);
        CdRipSpec s = setup("wav", 3);
        s.driveIndex = drive;
        s.testAndCopy = true;
        CdPipeline job(m_rip, s, noLookup(), nullptr);
        Quiet q;
        EXPECT_EQ(job.run(q).result, JobResult::Completed);
        return log();
    };

    std::string text = rip(0, 1);
    EXPECT_NE(text.find("Test and copy: 3 of 3 tracks copy OK\n"), std::string::npos) << text;
    size_t crcAt = 0;
    for (int track = 0; track < 3; ++track) {
        crcAt = text.find("  CRC32: ", crcAt + 1);
        ASSERT_NE(crcAt, std::string::npos);
        const std::string crc = text.substr(crcAt + 9, 8);
        EXPECT_NE(text.find("  Test CRC32: " + crc + "\n  Copy CRC32: " + crc + "\n"),
                  std::string::npos)
            << text;
    }

    // Jitter with no correction: every read lands elsewhere, so the copy is damaged and
    // no read with correction gives it again.
    text = rip(1, 0);
    EXPECT_EQ(text.find("Test and copy: copy OK"), std::string::npos) << text;
    EXPECT_NE(text.find("Test and copy: 0 of 3 tracks copy OK\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Test and copy: mismatch (no read gave the copy's CRC again; 2 reads "
                        "with correction)"),
              std::string::npos)
        << text;
    // Jitter with jitter correction: exact reads, confirmed.
    text = rip(1, 1);
    EXPECT_NE(text.find("Test and copy: 3 of 3 tracks copy OK\n"), std::string::npos) << text;

    // A scratch in track 2 (sectors 400..402): that track alone is not confirmed.
    text = rip(2, 1);
    EXPECT_NE(text.find("Test and copy: 2 of 3 tracks copy OK\n"), std::string::npos) << text;
    const size_t two = text.find("Track 02\n");
    const size_t three = text.find("Track 03\n");
    ASSERT_NE(two, std::string::npos);
    const std::string second = text.substr(two, three - two);
    EXPECT_EQ(second.find("Test and copy: copy OK"), std::string::npos) << second;
    EXPECT_NE(second.find("Test and copy: mismatch"), std::string::npos) << second;
    const size_t test = second.find("  Test CRC32: ");
    const size_t copy = second.find("  Copy CRC32: ");
    ASSERT_NE(test, std::string::npos);
    ASSERT_NE(copy, std::string::npos);
    EXPECT_NE(second.substr(test + 14, 8), second.substr(copy + 14, 8));
}
