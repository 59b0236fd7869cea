#include "BenchProcess.h"
#include "BenchProgram.h"
#include "Processes.h"
#include "TempDir.h"

#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

using cldbench::Result;
using cldbench::runCommand;
using cldbench::RunOptions;

constexpr long kMiB = 1024;

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

long statusKb(int pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

} // namespace

// A job that maps a large file (the virtual drive maps its disc image) is charged only its
// own memory: the private figure leaves the mapped file out, the resident peak does not.
TEST(BenchProcess, PrivateMemoryLeavesMappedFilesOut) {
    cldtest::TempDir dir;
    const auto image = dir.file("image.bin");
    {
        std::ofstream out(image, std::ios::binary);
        const std::string block(1 << 20, '\x5a');
        for (int i = 0; i < 64; ++i)
            out << block;
    }
    const auto ready = dir.file("ready");
    const auto release = dir.file("release");
    auto run = std::async(std::launch::async, [&] {
        return runCommand(
            {CLD_MEMORY_CHILD, image.string(), "24", ready.string(), release.string()});
    });
    ASSERT_TRUE(cldtest::waitUntil([&] { return std::filesystem::exists(ready); }));
    const int pid = std::stoi(readFile(ready));
    const long anon = cldbench::anonKb(pid);
    const long resident = statusKb(pid, "VmRSS");
    std::ofstream(release).put('\n');
    const Result r = run.get();

    ASSERT_EQ(r.status, 0);
    EXPECT_GE(anon, 24 * kMiB);
    EXPECT_LT(anon, 40 * kMiB);
    EXPECT_GE(resident, (64 + 24) * kMiB);
    // The sampled peak is of the same private memory, never of the mapped file; the
    // resident peak the kernel keeps counts both.
    EXPECT_LT(r.peakAnonKb, 40 * kMiB);
    EXPECT_GE(r.maxRssKb, (64 + 24) * kMiB);
    // Once the process is gone there is nothing to read.
    EXPECT_EQ(cldbench::anonKb(pid), -1);
}

TEST(BenchProcess, RunsInItsFolderWithItsEnvironmentAndCountsItsChildren) {
    cldtest::TempDir dir;
    RunOptions options;
    options.directory = dir.path().string();
    options.environment = {{"BENCH_WORD", "ready"}};
    // The work is done by a grandchild that the shell waits for.
    const Result r = runCommand(
        cldbench::shell("printf '%s' \"$BENCH_WORD\" > here.txt && "
                        "sh -c 'i=0; while [ $i -lt 300000 ]; do i=$((i+1)); done' && exit 7"),
        options);
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(readFile(dir.file("here.txt")), "ready");
    EXPECT_GT(r.cpuSeconds, 0.05);
    EXPECT_GE(r.seconds, r.cpuSeconds * 0.5);

    EXPECT_EQ(runCommand({"/nonexistent/bench-command"}).status, 127);
    options.directory = dir.file("missing").string();
    EXPECT_EQ(runCommand({"true"}, options).status, 126);
    EXPECT_EQ(runCommand({}).status, -1);
}

// The outputs of a run and its messages go where the benchmark says, and a run that left
// files out (or wrote empty ones) fails its row: it would look fast.
TEST(BenchProcess, OutputsAreCountedAndMessagesKeptApart) {
    cldtest::TempDir dir;
    RunOptions options;
    options.stdoutPath = dir.file("out.txt").string();
    options.stderrPath = dir.file("err.txt").string();
    EXPECT_EQ(runCommand(cldbench::shell("echo said; echo told >&2"), options).status, 0);
    EXPECT_EQ(readFile(dir.file("out.txt")), "said\n");
    EXPECT_EQ(readFile(dir.file("err.txt")), "told\n");

    std::filesystem::create_directories(dir.file("a/sub"));
    std::ofstream(dir.file("a/one.mp3")) << std::string(2000, 'x');
    std::ofstream(dir.file("a/sub/two.mp3")) << std::string(2000, 'x');
    std::ofstream(dir.file("a/note.txt")) << "not an output";
    cldbench::PairFigures f;
    EXPECT_TRUE(cldbench::checkOutputs(f, {dir.file("a")}, ".mp3", 2, true));
    // Counted in the folder alone, one is missing.
    EXPECT_FALSE(cldbench::checkOutputs(f, {dir.file("a")}, ".mp3", 2));
    EXPECT_NE(f.failure.find("holds 1 of 2 .mp3 files"), std::string::npos) << f.failure;
    // An empty output is no output.
    cldbench::PairFigures g;
    std::ofstream(dir.file("a/three.mp3")) << "";
    EXPECT_FALSE(cldbench::checkOutputs(g, {dir.file("a")}, ".mp3", 3, true));
    cldbench::removeFilesWith(dir.file("a"), ".mp3", true);
    EXPECT_TRUE(cldbench::filesWith(dir.file("a"), ".mp3", true).empty());
    EXPECT_TRUE(std::filesystem::exists(dir.file("a/note.txt")));
    EXPECT_NE(cldbench::loadAverage().find(" (1 min), "), std::string::npos);
}

TEST(BenchProcess, PairsAlternateAndStopAtTheFirstFailure) {
    cldtest::TempDir dir;
    const std::string log = dir.file("order").string();
    int prepared = 0;
    auto prepare = [&](bool ours) {
        ++prepared;
        std::ofstream(log, std::ios::app) << (ours ? 'p' : 'q');
    };
    const auto ours = cldbench::shell("printf A >> '" + log + "'");
    const auto theirs = cldbench::shell("printf B >> '" + log + "'");
    const cldbench::PairFigures f = cldbench::runPairs(ours, {}, theirs, {}, 3, prepare);
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(readFile(log), "pAqBpAqBpAqB");
    EXPECT_EQ(f.ours.size(), 3u);
    EXPECT_EQ(f.theirs.size(), 3u);

    std::filesystem::remove(log);
    const auto failing = cldbench::shell("printf F >> '" + log + "'; exit 3");
    const cldbench::PairFigures g = cldbench::runPairs(ours, {}, failing, {}, 3, prepare);
    EXPECT_FALSE(g.ok);
    EXPECT_EQ(readFile(log), "pAqF");
    EXPECT_NE(g.failure.find("3"), std::string::npos);
}

TEST(BenchProcess, MediansAndRatios) {
    EXPECT_EQ(cldbench::median({}), 0);
    EXPECT_EQ(cldbench::median({5, 1, 3}), 3);
    EXPECT_EQ(cldbench::median({4, 1, 3, 2}), 2.5);

    cldbench::PairFigures f;
    const double ours[] = {2, 9, 3};
    const double theirs[] = {1, 3, 1};
    for (int i = 0; i < 3; ++i) {
        Result a;
        a.seconds = ours[i];
        a.cpuSeconds = ours[i] / 2;
        a.peakAnonKb = 100 * (i + 1);
        Result b;
        b.seconds = theirs[i];
        f.ours.push_back(a);
        f.theirs.push_back(b);
    }
    EXPECT_EQ(f.oursSeconds(), 3);
    EXPECT_EQ(f.theirSeconds(), 1);
    EXPECT_EQ(f.oursCpu(), 1.5);
    // Pairwise 2, 3, 3: the median of the ratios is not the ratio of the medians.
    EXPECT_EQ(f.pairRatio(), 3);
    EXPECT_EQ(f.oursPeakAnonKb(), 300);
}
