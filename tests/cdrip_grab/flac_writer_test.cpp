// The ripper's FLAC writer on its own: audio handed over in pieces that cut sample
// frames, names, and what a failed or refused file leaves behind.

#include "FlacWriter.h"
#include "Processes.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "TrackJob.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string decoded(const std::filesystem::path& file, int& status) {
    return cldtest::commandOutput(
        "flac -d -c -s --force-raw-format --endian=little --sign=signed '" + file.string() + "'",
        status);
}

// Stereo samples that use the whole 16-bit range, negative ones included.
std::vector<std::uint8_t> audio(std::size_t frames) {
    std::vector<std::uint8_t> bytes(frames * 4);
    std::uint32_t x = 12345;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}

bool noTemporaries(const std::filesystem::path& folder) {
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind(".cldrip-", 0) == 0)
            return false;
    return true;
}

} // namespace

TEST(FlacWriter, PiecesThatCutFramesDecodeToTheSameBytes) {
    if (!cldtest::haveTool("flac"))
        GTEST_SKIP() << "the flac command is needed";
    cldtest::TempDir dir;
    const auto bytes = audio(30011);
    const auto path = dir.path() / "pieces.flac";
    FlacWriter w;
    // The expected length is only a hint for the seek table: give a wrong one.
    ASSERT_TRUE(w.create(path.string(), {"TITLE=x"}, 20000)) << w.error();
    std::size_t at = 0;
    for (std::size_t piece = 1; at < bytes.size(); piece = piece % 13 + 1) {
        const std::size_t n = std::min(piece * 97 + piece % 4, bytes.size() - at);
        ASSERT_TRUE(w.append(bytes.data() + at, n));
        at += n;
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_TRUE(w.finish()) << w.error();
    int status = -1;
    const std::string out = decoded(path, status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(out == std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(noTemporaries(dir.path()));
}

TEST(FlacWriter, CutAudioRefusedPathsAndBadTagsLeaveNothing) {
    cldtest::TempDir dir;
    const auto bytes = audio(1000);
    // Audio that ends inside a sample frame is not a whole track.
    {
        FlacWriter w;
        const auto path = dir.path() / "cut.flac";
        ASSERT_TRUE(w.create(path.string(), {}, 0)) << w.error();
        ASSERT_TRUE(w.append(bytes.data(), bytes.size() - 2));
        EXPECT_FALSE(w.finish());
        EXPECT_NE(w.error().find(path.string()), std::string::npos) << w.error();
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    // A folder under the name is refused, never replaced; a tag that is not NAME=value
    // is refused before anything is written.
    std::filesystem::create_directory(dir.path() / "folder.flac");
    FlacWriter w;
    EXPECT_FALSE(w.create((dir.path() / "folder.flac").string(), {}, 0));
    EXPECT_NE(w.error().find("folder"), std::string::npos) << w.error();
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder.flac"));
    EXPECT_FALSE(w.create((dir.path() / "tag.flac").string(), {"TITLE"}, 0));
    EXPECT_NE(w.error().find("TITLE"), std::string::npos) << w.error();
    EXPECT_FALSE(w.create((dir.path() / "none" / "x.flac").string(), {}, 0));
    // A picture block whose lengths run past its end, or that holds no picture.
    for (const std::vector<std::uint8_t>& picture :
         {std::vector<std::uint8_t>{0, 0, 0, 3, 0, 0, 0, 200, 'i', 'm'},
          std::vector<std::uint8_t>(32, 0)}) {
        w.setPicture(picture);
        EXPECT_FALSE(w.create((dir.path() / "picture.flac").string(), {}, 0));
        EXPECT_NE(w.error().find("cover"), std::string::npos) << w.error();
    }
    w.setPicture({});
    // A writer dropped before Finish (a killed track) leaves nothing.
    {
        FlacWriter dropped;
        ASSERT_TRUE(dropped.create((dir.path() / "dropped.flac").string(), {}, 1000));
        ASSERT_TRUE(dropped.append(bytes.data(), bytes.size()));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "dropped.flac"));
    EXPECT_TRUE(noTemporaries(dir.path()));

    EXPECT_EQ(trackFileName("Song", TrackFormatFlac), "Song.flac");
    EXPECT_EQ(trackFileName("Song.FLAC", TrackFormatFlac), "Song.FLAC");
    EXPECT_EQ(trackFileName("a.mp3", TrackFormatFlac), "a.mp3.flac");
    EXPECT_EQ(trackFileName("ab", TrackFormatFlac), "ab.flac");
    EXPECT_EQ(trackFileName("Song"), "Song.wav");
}

// Pieces smaller than a frame, some ending inside a frame that an earlier piece began;
// and a layout other than a CD's (24-bit mono at 48 kHz, the highest level).
TEST(FlacWriter, TinyPiecesAndOtherLayoutsDecodeToTheSameBytes) {
    if (!cldtest::haveTool("flac"))
        GTEST_SKIP() << "the flac command is needed";
    cldtest::TempDir dir;
    struct Case {
        PcmLayout layout;
        unsigned level;
        const char* name;
    };
    for (const Case& c :
         {Case{{44100, 2, 16}, 5, "cd.flac"}, Case{{48000, 1, 24}, 8, "mono24.flac"},
          Case{{32000, 3, 16}, 0, "three.flac"}}) {
        SCOPED_TRACE(c.name);
        auto bytes = audio(4001 * c.layout.frameBytes());
        bytes.resize(4001 * c.layout.frameBytes());
        const auto path = dir.path() / c.name;
        FlacWriter w;
        ASSERT_TRUE(w.create(path.string(), {}, 0, false, c.layout, c.level)) << w.error();
        std::size_t at = 0;
        for (std::size_t piece = 1; at < bytes.size(); piece = piece % 3 + 1) {
            const std::size_t n = std::min(piece, bytes.size() - at);
            ASSERT_TRUE(w.append(bytes.data() + at, n));
            at += n;
        }
        ASSERT_TRUE(w.finish()) << w.error();
        int status = -1;
        const std::string out = decoded(path, status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(out.size(), bytes.size());
        EXPECT_TRUE(out == std::string(bytes.begin(), bytes.end()));
    }
    // A layout or level FLAC cannot take is refused before anything is written.
    FlacWriter w;
    EXPECT_FALSE(w.create((dir.path() / "8bit.flac").string(), {}, 0, false, {44100, 2, 8}));
    EXPECT_NE(w.error().find("8 bits"), std::string::npos) << w.error();
    EXPECT_FALSE(w.create((dir.path() / "level.flac").string(), {}, 0, false, {}, 9));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "8bit.flac"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "level.flac"));
    EXPECT_TRUE(noTemporaries(dir.path()));
}
