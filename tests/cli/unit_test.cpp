// The command line's plain parts: track lists, input plans, output locks, the bar.

#include "AudioEncoder.h"
#include "Commands.h"
#include "Console.h"
#include "InputFiles.h"
#include "OutputLock.h"
#include "RipLogReader.h"
#include "TempDir.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace cld::cli;

// The program offers exactly the engine's encoders, by the names the registry gives them.
TEST(OutputFormats, AreTheRegistrysEncoders) {
    std::vector<std::string> offered = outputFormats();
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(offered, cld::engine::EncoderRegistry::instance().names());
}

TEST(TrackList, RangesAndSingles) {
    std::set<int> tracks;
    std::string why;
    ASSERT_TRUE(parseTrackList("1-3,7", tracks, why)) << why;
    EXPECT_EQ(tracks, (std::set<int>{1, 2, 3, 7}));
    ASSERT_TRUE(parseTrackList("5", tracks, why));
    EXPECT_EQ(tracks, (std::set<int>{5}));
    ASSERT_TRUE(parseTrackList("2-2,1,99", tracks, why));
    EXPECT_EQ(tracks, (std::set<int>{1, 2, 99}));
    for (const char* bad :
         {"", "0", "100", "3-1", "1,", ",1", "1-", "a", "1;2", "1--3", "-3", "99999999999"}) {
        EXPECT_FALSE(parseTrackList(bad, tracks, why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

TEST(InputPlan, FoldersMirrorBelowTheOutputFolder) {
    cldtest::TempDir dir;
    const auto in = dir.path() / "in";
    std::filesystem::create_directories(in / "a" / "b");
    for (const auto& f :
         {in / "x.wav", in / "a" / "y.FLAC", in / "a" / "b" / "z.mp3", in / "a" / "notes.txt"})
        std::ofstream(f) << "x";
    const std::set<std::string> exts{".wav", ".flac", ".mp3"};

    InputPlan flat = planInputs({in.string()}, exts, false, "", ".mp3");
    ASSERT_EQ(flat.files.size(), 1u);
    EXPECT_EQ(flat.files[0].output, (in / "x.mp3").string());

    const auto out = dir.path() / "out";
    InputPlan deep = planInputs({in.string(), (in / "x.wav").string(), "nothing-here"}, exts, true,
                                out.string(), ".wma");
    ASSERT_EQ(deep.files.size(), 3u); // x.wav listed twice counts once
    std::set<std::string> outputs;
    for (const auto& f : deep.files)
        outputs.insert(f.output);
    EXPECT_EQ(outputs,
              (std::set<std::string>{(out / "x.wma").string(), (out / "a" / "y.wma").string(),
                                     (out / "a" / "b" / "z.wma").string()}));
    EXPECT_EQ(deep.missing, (std::vector<std::string>{"nothing-here"}));
}

TEST(OutputLock, OneHolderAcrossProcessesAndTakenOverAfterADeath) {
    cldtest::TempDir dir;
    const std::string output = dir.file("song.mp3").string();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        OutputLock lock;
        const char c = lock.tryLock(output) == OutputLock::Result::Locked ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        ::pause(); // holds the lock until killed
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    OutputLock mine;
    EXPECT_EQ(mine.tryLock(output), OutputLock::Result::HeldByOther);
    EXPECT_FALSE(mine.held());
    // A holder that dies leaves its lock file but no lock.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(std::filesystem::exists(OutputLock::lockPathFor(output)));
    EXPECT_EQ(mine.tryLock(output), OutputLock::Result::Locked);
    mine.release();
    EXPECT_FALSE(std::filesystem::exists(OutputLock::lockPathFor(output)));
    ::close(ready[0]);
    ::close(ready[1]);

    // A folder that refuses the lock file.
    OutputLock nowhere;
    EXPECT_EQ(nowhere.tryLock((dir.path() / "no" / "such" / "x.mp3").string()),
              OutputLock::Result::Failed);

    // A pipe under the lock file's name is refused at once, never waited on nor removed.
    const std::string piped = (dir.path() / "piped.mp3").string();
    ASSERT_EQ(::mkfifo(OutputLock::lockPathFor(piped).c_str(), 0600), 0);
    OutputLock pipe;
    EXPECT_EQ(pipe.tryLock(piped), OutputLock::Result::Failed);
    EXPECT_TRUE(std::filesystem::exists(OutputLock::lockPathFor(piped)));
}

TEST(Console, BarAndClock) {
    EXPECT_EQ(Console::barText(0.5, 10), "#####-----");
    EXPECT_EQ(Console::barText(-1, 4), "----");
    EXPECT_EQ(Console::barText(2, 4), "####");
    EXPECT_EQ(Console::barText(0.999, 10), "#########-");
    EXPECT_EQ(Console::clockText(65), "1:05");
    EXPECT_EQ(Console::clockText(3725), "1:02:05");
    EXPECT_EQ(Console::clockText(-1), "?");
}

const char* const kLog = "Rip log\n"
                         "AccurateRip id: dBAR-002-000003cf-000009f7-09000802.bin\n"
                         "Tracks on the disc: 2 (2 audio)\n"
                         "\n"
                         "Track 01\n"
                         "  File: A - First.flac\n"
                         "  Read: exact\n"
                         "  CRC32: C1F3B2FE\n"
                         "  CRC32 without silence: 17C53863\n"
                         "  AccurateRip v1: F8EF7F9B\n"
                         "  AccurateRip v2: CCD8826A\n"
                         "\n"
                         "Track 02\n"
                         "  File: A - Second.flac (incomplete: it holds only part of the track)\n"
                         "  Read: failed\n"
                         "  Checksums: not computed\n"
                         "\n"
                         "Summary: 2 tracks\n";

TEST(RipLogReader, ReadsIdsFilesAndChecksums) {
    LoggedRip rip;
    std::string why;
    ASSERT_TRUE(readRipLog(kLog, rip, why)) << why;
    EXPECT_EQ(rip.ids.trackCount, 2);
    EXPECT_EQ(rip.ids.id1, 0x3cfu);
    EXPECT_EQ(rip.ids.id2, 0x9f7u);
    EXPECT_EQ(rip.ids.freedb, 0x09000802u);
    ASSERT_EQ(rip.tracks.size(), 2u);
    EXPECT_EQ(rip.tracks[0].file, "A - First.flac");
    EXPECT_TRUE(rip.tracks[0].complete);
    EXPECT_TRUE(rip.tracks[0].hasChecksums);
    EXPECT_EQ(rip.tracks[0].sums.crc32, 0xC1F3B2FEu);
    EXPECT_EQ(rip.tracks[0].sums.v1, 0xF8EF7F9Bu);
    EXPECT_EQ(rip.tracks[0].sums.v2, 0xCCD8826Au);
    EXPECT_EQ(rip.tracks[1].file, "A - Second.flac");
    EXPECT_FALSE(rip.tracks[1].complete);
    EXPECT_FALSE(rip.tracks[1].hasChecksums);
}

TEST(RipLogReader, DamagedLogsAreRefusedNotMisread) {
    LoggedRip rip;
    std::string why;
    // Every cut of the log reads without harm; those that lose the id or every track are
    // refused with a reason.
    const std::string whole = kLog;
    for (size_t n = 0; n <= whole.size(); ++n) {
        why.clear();
        if (!readRipLog(whole.substr(0, n), rip, why)) {
            EXPECT_FALSE(why.empty()) << n;
        }
    }
    for (const char* bad :
         {"", "hello\n", "AccurateRip id: dBAR-002-zzzzzzzz-000009f7-09000802.bin\n",
          "AccurateRip id: dBAR-000-000003cf-000009f7-09000802.bin\nTrack 01\n",
          "AccurateRip id: dBAR-002-000003cf-000009f7-09000802.bin\n",
          "AccurateRip id: dBAR-002-000003cf-000009f7-09000802.bin\nTrack 0x\n"}) {
        EXPECT_FALSE(readRipLog(bad, rip, why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
}

} // namespace
