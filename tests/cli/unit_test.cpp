// The command line's plain parts: track lists, input plans, output locks, the bar.

#include "Commands.h"
#include "Console.h"
#include "InputFiles.h"
#include "OutputLock.h"
#include "TempDir.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace cld::cli;

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

} // namespace
