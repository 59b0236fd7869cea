// Grabbing to FLAC through the library's own export, on the virtual drive: the files are
// checked with the flac and metaflac commands, the audio against the disc image.

#include "FileSizeLimit.h"
#include "GrabFixture.h"
#include "RipLog.h"

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

using namespace cldtest;
using vdrivekit::Content;
using vdrivekit::DiscSpec;

namespace {

struct Command {
    int status = -1;
    std::string out;
};

// Runs a shell command and keeps its standard output and exit status.
Command run(const std::string& command) {
    Command c;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return c;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        c.out.append(buffer, n);
    const int status = pclose(pipe);
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return c;
}

std::string quoted(const std::filesystem::path& path) {
    std::string q = "'";
    for (char ch : path.string())
        q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

// The raw samples the flac command decodes from a file.
std::vector<std::uint8_t> decodeFlac(const std::filesystem::path& file) {
    const Command c =
        run("flac -d -c -s --force-raw-format --endian=little --sign=signed " + quoted(file));
    EXPECT_EQ(c.status, 0) << file;
    return {c.out.begin(), c.out.end()};
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// Files of the folder whose names start with the temporary prefix.
std::vector<std::string> leftovers(const std::filesystem::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind(".cldrip-", 0) == 0)
            out.push_back(e.path().filename().string());
    return out;
}

class FlacGrabTest : public GrabTest {
protected:
    void SetUp() override {
        if (!haveTool("flac") || !haveTool("metaflac"))
            GTEST_SKIP() << "the flac and metaflac commands are needed";
    }
    void addTags(const std::vector<std::string>& tags) {
        for (const std::string& t : tags)
            EXPECT_EQ(m_rip->AddTrackTag(Text(t)), 0) << t;
    }
};

DiscSpec threeTracks() {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 700, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Silence, 150, {}, {}, 0, 0});
    disc.tracks.push_back({Content::Ramp, 400, {}, {}, 0, 0});
    return disc;
}

} // namespace

TEST_F(FlacGrabTest, WholeTracksDecodeToTheDiscAudioAndCarryTagsAndMd5) {
    start({threeTracks()});
    makeObject();
    const auto ranges = tracks();
    ASSERT_EQ(ranges.size(), 3u);
    m_rip->GetDriveSettings()->SetErrorCorrection(1);
    ASSERT_EQ(m_rip->SetOutputFolder(Text(m_out.string())), 0);
    ASSERT_EQ(m_rip->SetOutputFormat(CDRipObject::FormatFlac), 0);
    const std::vector<std::string> titles = {"Überall", "Тишина", "Ramp \"up\""};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(m_rip->AddTrack(i, Text("Artist - " + std::to_string(i + 1)), 0, -1), 0);
        addTags({"TITLE=" + titles[static_cast<std::size_t>(i)], "ARTIST=Björk & 坂本",
                 "ALBUM=Live", "DATE=1997", "GENRE=Electronic",
                 "TRACKNUMBER=" + std::to_string(i + 1), "TRACKTOTAL=3", "CDDB=1a02b403"});
    }
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    GrabStatus* s = m_rip->GetStatus();
    ASSERT_EQ(s->GetTrackResultCount(), 3);
    s->Destroy();

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("track " + std::to_string(i + 1));
        const auto file = m_out / ("Artist - " + std::to_string(i + 1) + ".flac");
        ASSERT_TRUE(std::filesystem::exists(file));
        EXPECT_FALSE(
            std::filesystem::exists(m_out / ("Artist - " + std::to_string(i + 1) + ".wav")));
        EXPECT_EQ(run("flac -t -s " + quoted(file) + " 2>&1").status, 0);
        const auto r = ranges[static_cast<std::size_t>(i)];
        const auto expect = imageBytes(r.first, r.last);
        const auto decoded = decodeFlac(file);
        EXPECT_EQ(decoded.size(), expect.size());
        EXPECT_TRUE(decoded == expect);

        // The stream info's MD5 is the MD5 of the disc's audio, as md5sum computes it.
        const auto raw = m_dir.path() / "track.raw";
        {
            std::ofstream o(raw, std::ios::binary);
            o.write(reinterpret_cast<const char*>(expect.data()),
                    static_cast<std::streamsize>(expect.size()));
        }
        const Command md5 = run("md5sum " + quoted(raw));
        const Command info = run("metaflac --show-md5sum --show-total-samples --show-sample-rate "
                                 "--show-channels --show-bps " +
                                 quoted(file));
        EXPECT_EQ(info.out, md5.out.substr(0, 32) + "\n" + std::to_string(expect.size() / 4) +
                                "\n44100\n2\n16\n");

        const Command tags = run("metaflac --export-tags-to=- " + quoted(file));
        EXPECT_EQ(tags.status, 0);
        EXPECT_EQ(tags.out, "TITLE=" + titles[static_cast<std::size_t>(i)] +
                                "\nARTIST=Björk & 坂本\nALBUM=Live\nDATE=1997\n"
                                "GENRE=Electronic\nTRACKNUMBER=" +
                                std::to_string(i + 1) + "\nTRACKTOTAL=3\nCDDB=1a02b403\n");
    }
    EXPECT_TRUE(leftovers(m_out).empty());

    // The checksums the rip log gives a FLAC file are those of its audio: the same as a
    // WAV rip's of the same track.
    ASSERT_EQ(m_rip->SetOutputFolder(Text(m_out.string())), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(m_rip->AddTrack(i, Text("Artist - " + std::to_string(i + 1)), 0, -1), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    for (int i = 0; i < 3; ++i) {
        const std::string base = (m_out / ("Artist - " + std::to_string(i + 1))).string();
        accurip::TrackChecksums fromFlac, fromWav;
        std::string why;
        ASSERT_TRUE(accurip::checksumTrackFile(base + ".flac", i == 0, i == 2, fromFlac, why))
            << why;
        ASSERT_TRUE(accurip::checksumTrackFile(base + ".wav", i == 0, i == 2, fromWav, why)) << why;
        EXPECT_EQ(fromFlac.v1, fromWav.v1);
        EXPECT_EQ(fromFlac.v2, fromWav.v2);
        EXPECT_EQ(fromFlac.crc32, fromWav.crc32);
        EXPECT_EQ(fromFlac.crc32NoSilence, fromWav.crc32NoSilence);
        if (i != 1) {
            EXPECT_NE(fromFlac.crc32NoSilence, 0u);
        }
    }

    // A FLAC file whose audio was changed after it was written is refused, naming it.
    const auto damaged = m_out / "Artist - 1.flac";
    std::string bytes = fileText(damaged);
    ASSERT_GT(bytes.size(), 20000u);
    bytes[bytes.size() / 2] ^= 0x20;
    {
        std::ofstream o(damaged, std::ios::binary | std::ios::trunc);
        o.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    accurip::TrackChecksums sums;
    std::string why;
    EXPECT_FALSE(accurip::checksumTrackFile(damaged.string(), true, false, sums, why));
    EXPECT_NE(why.find(damaged.string()), std::string::npos) << why;
}

TEST_F(FlacGrabTest, FormatAndTagsAreRefusedOrResetAsTheInterfaceSays) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 80, {}, {}, 0, 0});
    start({disc});
    makeObject();
    ASSERT_EQ(m_rip->SetOutputFolder(Text(m_out.string())), 0);
    EXPECT_EQ(m_rip->SetOutputFormat(2), 1);
    EXPECT_EQ(m_rip->SetOutputFormat(-1), 1);
    // No job yet, or the last one was refused: there is nothing to tag.
    EXPECT_EQ(m_rip->AddTrackTag(Text("TITLE=x")), 1);
    ASSERT_EQ(m_rip->SetOutputFormat(CDRipObject::FormatFlac), 0);
    ASSERT_EQ(m_rip->AddTrack(0, Text("first"), 0, -1), 0);
    EXPECT_EQ(m_rip->AddTrack(0, Text("a/b"), 0, -1), 1);
    EXPECT_EQ(m_rip->AddTrackTag(Text("TITLE=meant for a/b")), 1);
    ASSERT_EQ(m_rip->AddTrack(0, Text("x.FLAC"), 0, -1), 0);
    EXPECT_EQ(m_rip->AddTrackTag(Text("=value")), 1);
    EXPECT_EQ(m_rip->AddTrackTag(Text("NO VALUE")), 1);
    EXPECT_EQ(m_rip->AddTrackTag(Text("TITL\xc3\x89=x")), 1);
    EXPECT_EQ(m_rip->AddTrackTag(Text("TITLE\x7f=x")), 1);
    EXPECT_EQ(m_rip->AddTrackTag(Text("TITLE=\xff\xfe")), 1);
    EXPECT_EQ(m_rip->AddTrackTag(nullptr), 1);
    EXPECT_EQ(m_rip->AddTrackTag(Text("COMMENT=")), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    EXPECT_TRUE(std::filesystem::exists(m_out / "first.flac"));
    EXPECT_TRUE(std::filesystem::exists(m_out / "x.FLAC"));
    EXPECT_EQ(run("metaflac --export-tags-to=- " + quoted(m_out / "first.flac")).out, "");
    EXPECT_EQ(run("metaflac --export-tags-to=- " + quoted(m_out / "x.FLAC")).out, "COMMENT=\n");

    // The next grab writes WAV again unless it asks for FLAC itself.
    ASSERT_EQ(m_rip->SetOutputFolder(Text(m_out.string())), 0);
    ASSERT_EQ(m_rip->AddTrack(0, Text("plain"), 0, -1), 0);
    EXPECT_EQ(m_rip->AddTrackTag(Text("TITLE=ignored by WAV")), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    const Wav w = readWav(m_out / "plain.wav");
    expectConsistentHeader(w);
    EXPECT_TRUE(w.data == imageBytes(0, 79));
    EXPECT_FALSE(std::filesystem::exists(m_out / "plain.flac"));
}

TEST_F(FlacGrabTest, AbortAndFullDiskLeaveNothingUnderTheTrackName) {
    DiscSpec disc;
    disc.tracks.push_back({Content::Music, 1500, {}, {}, 0, 0});
    disc.faults.slowMicrosPerSector = 300;
    start({disc});
    makeObject();
    // An earlier file of that name, which the user agreed to replace, stays as it was
    // when the track is aborted.
    {
        std::ofstream o(m_out / "aborted.flac");
        o << "earlier";
    }
    ASSERT_EQ(m_rip->SetOutputFolder(Text(m_out.string())), 0);
    ASSERT_EQ(m_rip->SetOutputFormat(CDRipObject::FormatFlac), 0);
    ASSERT_EQ(m_rip->SetReplaceExisting(1), 0);
    ASSERT_EQ(m_rip->AddTrack(0, Text("new"), 0, -1), 0);
    ASSERT_EQ(m_rip->AddTrack(0, Text("aborted"), 0, -1), 0);
    ASSERT_EQ(m_rip->StartGrab(), 1);
    // Abort once part of the second track has been encoded.
    ASSERT_TRUE(waitUntil([this] {
        GrabStatus* s = m_rip->GetStatus();
        NameText* file = s->GetFileName();
        const bool there = file && std::string(file->text()) == "aborted.flac" &&
                           s->GetPercent() >= 10 && !leftovers(m_out).empty();
        if (file)
            file->Destroy();
        s->Destroy();
        return there;
    }));
    m_rip->AbortGrab();
    EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorNone);
    EXPECT_EQ(decodeFlac(m_out / "new.flac"), imageBytes(0, 1499));
    EXPECT_EQ(fileText(m_out / "aborted.flac"), "earlier");
    EXPECT_TRUE(leftovers(m_out).empty());

    // A disk that fills up in the middle of a track: the grab says so and leaves
    // neither a file under the track's name nor its temporary file.
    std::filesystem::remove(m_out / "new.flac");
    std::filesystem::remove(m_out / "aborted.flac");
    ASSERT_EQ(m_rip->SetOutputFolder(Text(m_out.string())), 0);
    ASSERT_EQ(m_rip->SetOutputFormat(CDRipObject::FormatFlac), 0);
    ASSERT_EQ(m_rip->AddTrack(0, Text("full"), 0, -1), 0);
    ASSERT_EQ(m_rip->AddTrack(0, Text("after"), 0, -1), 0);
    {
        const ScopedFileSizeLimit limit(256 * 1024);
        ASSERT_EQ(m_rip->StartGrab(), 1);
        EXPECT_EQ(waitForGrab().error, GrabStatus::ErrorWriteFailed);
    }
    EXPECT_FALSE(std::filesystem::exists(m_out / "full.flac"));
    EXPECT_FALSE(std::filesystem::exists(m_out / "after.flac"));
    EXPECT_TRUE(leftovers(m_out).empty());
    GrabStatus* s = m_rip->GetStatus();
    ASSERT_EQ(s->GetTrackResultCount(), 1);
    GrabTrackResult r{};
    ASSERT_EQ(s->GetTrackResult(0, &r), 0);
    EXPECT_EQ(r.result, GrabStatus::TrackFailed);
    s->Destroy();
}
