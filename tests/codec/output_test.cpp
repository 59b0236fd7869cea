#include "Exception.h"
#include "GetErrorText.h"
#include "Id3v1Tag.h"
#include "MediaFixtures.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "Mp3StreamEncoder.h"
#include "OutputFile.h"
#include "TagFileStream.h"
#include "TempDir.h"
#include "WMException.h"
#include "WavStreamWriter.h"
#include "WmErrors.h"
#include "WmaDecodeJob.h"
#include "WmaEncodeJob.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
const std::string kProfiles = CLD_PROFILE_SOURCE_DIR;
const std::string kProfile = "Audio for CD transparency (128 Kbps stereo)";

std::vector<fs::path> temporariesIn(const fs::path& folder) {
    return cldtest::temporaryFilesIn(folder);
}

bool runMp3Encode(const fs::path& in, const fs::path& out, int* error, uint32_t* detail) {
    Mp3EncodeJob job;
    job.SetInput(in.string());
    job.SetOutput(out.string());
    const bool started = job.Start();
    waitWhile([&] { return job.IsRunning(); });
    *error = job.GetErrorCode();
    *detail = job.GetErrorDetail();
    return started;
}

bool runMp3Decode(const fs::path& in, const fs::path& out, int* error, uint32_t* detail) {
    Mp3DecodeJob job;
    job.SetInput(in.string());
    job.SetOutput(out.string());
    const bool started = job.Start();
    waitWhile([&] { return job.IsRunning(); });
    *error = job.GetErrorCode();
    *detail = job.GetErrorDetail();
    return started;
}

bool runWmaDecode(const fs::path& in, const fs::path& out, int* error, uint32_t* detail) {
    WmaDecodeJob job;
    const bool started = job.Open(in.string(), out.string()) == 1 && job.Start() == 1;
    waitWhile([&] { return job.IsRunning(); });
    *error = job.GetErrorCode();
    *detail = job.GetErrorDetail();
    return started;
}

uint32_t runWmaEncode(const fs::path& in, const fs::path& out) {
    auto enc = std::make_unique<WmEncoderControl>(kProfiles, "");
    int index = -1;
    for (int i = 0; i < enc->GetProfileCount(); ++i) {
        if (enc->GetProfileInfo(i).name == kProfile)
            index = i;
    }
    WmaEncodeJob job(std::move(enc));
    job.SetProfileIndex(index);
    try {
        job.EncodeFile(in.string(), out.string());
    } catch (const WMException& e) {
        return e.GetCode();
    }
    waitWhile([&] { return job.IsEncoding(); });
    return job.GetLastErrorCode();
}

struct Inputs {
    fs::path wav;
    fs::path mp3;
    fs::path wma;
};

Inputs makeInputs(const cldtest::TempDir& dir, int seconds) {
    Inputs in{dir.file("in.wav"), dir.file("in.mp3"), dir.file("in.wma")};
    writeWav(in.wav, makeSignal(seconds * kRate, kRate, 2), kRate, 2);
    EXPECT_EQ(shell("lame --quiet -b 128 " + quote(in.wav) + " " + quote(in.mp3)), 0);
    EXPECT_EQ(
        shell("ffmpeg -v error -y -i " + quote(in.wav) + " -c:a wmav2 -b:a 128k " + quote(in.wma)),
        0);
    return in;
}

} // namespace

TEST(OutputFile, DevicesPipesAndFoldersAreRefusedAndLeftAlone) {
    cldtest::TempDir dir;
    const Inputs in = makeInputs(dir, 1);
    // A device node of our own (the system's null device is never touched), a pipe and a
    // folder, each where an output would go.
    const fs::path device = dir.file("device.wav");
    const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    fs::create_directory(dir.file("folder.wav"));
    std::vector<fs::path> targets = {dir.file("pipe.wav"), dir.file("folder.wav")};
    if (haveDevice)
        targets.push_back(device);
    else
        std::fprintf(stderr, "no device node test: mknod is not permitted here\n");

    for (const fs::path& target : targets) {
        SCOPED_TRACE(target.filename().string());
        int error = 0;
        uint32_t detail = 0;
        EXPECT_FALSE(runMp3Decode(in.mp3, target, &error, &detail));
        EXPECT_EQ(error, CodecJob::kErrOutput);
        EXPECT_EQ(detail, cld::wmerr::kOutputNotFile);
        EXPECT_FALSE(GetErrorText(detail).empty());

        runMp3Encode(in.wav, target, &error, &detail);
        EXPECT_EQ(error, CodecJob::kErrOutput);
        EXPECT_EQ(detail, cld::wmerr::kOutputNotFile);

        EXPECT_FALSE(runWmaDecode(in.wma, target, &error, &detail));
        EXPECT_EQ(error, CodecJob::kErrOutput);
        EXPECT_EQ(detail, cld::wmerr::kOutputNotFile);

        EXPECT_EQ(runWmaEncode(in.wav, target), cld::wmerr::kOutputNotFile);

        Mp3StreamEncoder stream;
        EXPECT_EQ(stream.Open(target.string(), 2, kRate), 0);
        EXPECT_EQ(stream.GetErrorCode(), CodecJob::kErrOutput);

        WavStreamWriter writer;
        EXPECT_THROW(writer.Create(target.string()), Exception);

        Id3v1Tag tag;
        tag.title = "x";
        EXPECT_EQ(tag.Write(target.string()), 0);
        EXPECT_TRUE(temporariesIn(dir.path()).empty());
    }
    struct stat st {};
    if (haveDevice) {
        ASSERT_EQ(::lstat(device.c_str(), &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device node is still a device node";
        EXPECT_EQ(st.st_rdev, makedev(1, 3));
    }
    ASSERT_EQ(::lstat(dir.file("pipe.wav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(fs::is_directory(dir.file("folder.wav")));
    EXPECT_TRUE(fs::is_empty(dir.file("folder.wav")));

    // The same kinds of path as inputs are refused at once; a pipe must not block the open.
    for (const fs::path& source : targets) {
        SCOPED_TRACE("input " + source.filename().string());
        int error = 0;
        uint32_t detail = 0;
        EXPECT_FALSE(runMp3Decode(source, dir.file("a.wav"), &error, &detail));
        EXPECT_EQ(error, CodecJob::kErrInput);
        EXPECT_FALSE(runMp3Encode(source, dir.file("a.mp3"), &error, &detail));
        EXPECT_EQ(error, CodecJob::kErrInput);
        EXPECT_FALSE(runWmaDecode(source, dir.file("b.wav"), &error, &detail));
        EXPECT_EQ(error, CodecJob::kErrInput);
        EXPECT_EQ(runWmaEncode(source, dir.file("b.wma")), cld::wmerr::kInputOpen);
    }

    // A link is never written through, whatever it points to: the linked file stays as
    // it was, and so does the link.
    writeFile(dir.file("real.wav"), {'o', 'l', 'd'});
    fs::create_symlink(dir.file("real.wav"), dir.file("link.wav"));
    int error = -1;
    uint32_t detail = 0;
    EXPECT_FALSE(runMp3Decode(in.mp3, dir.file("link.wav"), &error, &detail));
    EXPECT_EQ(error, CodecJob::kErrOutput);
    EXPECT_EQ(detail, cld::wmerr::kOutputNotFile);
    EXPECT_EQ(runWmaEncode(in.wav, dir.file("link.wav")), cld::wmerr::kOutputNotFile);
    EXPECT_TRUE(fs::is_symlink(dir.file("link.wav")));
    EXPECT_EQ(readFile(dir.file("real.wav")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_TRUE(temporariesIn(dir.path()).empty());
}

namespace {

// Runs `job` in a child process and kills it (SIGKILL) once its temporary output (the
// only temporary file in the output's folder) has grown past a few blocks. Returns false
// when the child ended by itself first.
bool killMidJob(const fs::path& output, const std::function<void()>& job) {
    const pid_t pid = fork();
    if (pid == 0) {
        job();
        _exit(0);
    }
    bool killed = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < end) {
        std::error_code ec;
        const std::vector<fs::path> parts = temporariesIn(output.parent_path());
        if (!parts.empty() && fs::file_size(parts.front(), ec) > 64 * 1024 && !ec) {
            killed = ::kill(pid, SIGKILL) == 0;
            break;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

} // namespace

// Tags are edited in the program's own files only: a link, a pipe or a folder put in the
// file's place is refused (without blocking on the pipe) and left as it was.
TEST(OutputFile, TagsAreNeverEditedThroughWhatWasPutInTheFilesPlace) {
    cldtest::TempDir dir;
    const std::string own = dir.file("own.m4a").string();
    std::ofstream(own) << "audio";
    auto stream = cld::openOwnTagFile(own);
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(stream->isOpen());
    EXPECT_FALSE(stream->readOnly());
    stream.reset();

    const std::string user = dir.file("user.txt").string();
    std::ofstream(user) << "the user's";
    const std::string link = dir.file("link.m4a").string();
    ASSERT_EQ(::symlink(user.c_str(), link.c_str()), 0);
    EXPECT_EQ(cld::openOwnTagFile(link), nullptr);
    const std::string pipe = dir.file("pipe.m4a").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(cld::openOwnTagFile(pipe), nullptr);
    EXPECT_EQ(cld::openOwnTagFile(dir.path().string()), nullptr);
    EXPECT_EQ(cld::openOwnTagFile(dir.file("missing.m4a").string()), nullptr);
    std::ifstream in(user);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "the user's");
}

TEST(OutputFile, KilledJobLeavesNoCompleteLookingOutputAndTheNextRunCleansUp) {
    cldtest::TempDir dir;
    const Inputs in = makeInputs(dir, 60);
    struct Case {
        const char* name;
        fs::path output;
        std::function<void()> run;
    };
    int error = 0;
    uint32_t detail = 0;
    // Each job writes into a folder of its own: a process looks through a folder for
    // leftovers once.
    for (const char* sub : {"a", "b", "c", "d"})
        fs::create_directory(dir.file(sub));
    const std::vector<Case> cases = {
        {"mp3 encode", dir.file("a/enc.mp3"),
         [&] { runMp3Encode(in.wav, dir.file("a/enc.mp3"), &error, &detail); }},
        {"mp3 decode", dir.file("b/dec.wav"),
         [&] { runMp3Decode(in.mp3, dir.file("b/dec.wav"), &error, &detail); }},
        {"wma encode", dir.file("c/enc.wma"), [&] { runWmaEncode(in.wav, dir.file("c/enc.wma")); }},
        {"wma decode", dir.file("d/wdec.wav"),
         [&] { runWmaDecode(in.wma, dir.file("d/wdec.wav"), &error, &detail); }},
    };
    // An older output of the same name survives a killed run whole.
    writeFile(dir.file("b/dec.wav"), {'o', 'l', 'd'});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool existed = fs::exists(c.output);
        ASSERT_TRUE(killMidJob(c.output, c.run)) << "the job ended before it could be killed";
        ASSERT_EQ(temporariesIn(c.output.parent_path()).size(), 1u);
        const fs::path part = temporariesIn(c.output.parent_path()).front();
        if (existed)
            EXPECT_EQ(readFile(c.output), (std::vector<uint8_t>{'o', 'l', 'd'}));
        else
            EXPECT_FALSE(fs::exists(c.output)) << "nothing under the output's name";

        // The next run of the same job removes the leftover and writes a whole file.
        c.run();
        EXPECT_FALSE(fs::exists(part));
        ASSERT_TRUE(fs::exists(c.output));
        const Pcm dec = decodeWithFfmpeg(c.output);
        EXPECT_NEAR(static_cast<double>(dec.samples.size() / 2), 60.0 * kRate, 4096);
    }
}

namespace {

struct LimitedRun {
    bool ran = false;
    int error = -1;
    uint32_t detail = 0;
};

// Runs `job` in a child process whose files may not grow beyond `limitBytes` (the
// process's file-size limit, with the limit's signal ignored, so that a write past it
// fails with EFBIG as a write to a full disk fails with ENOSPC). `job` returns the error
// code and the failure code behind it.
LimitedRun runWithFileSizeLimit(rlim_t limitBytes,
                                const std::function<std::pair<int, uint32_t>()>& job) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{limitBytes, limitBytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto [error, detail] = job();
        const uint64_t message[2] = {static_cast<uint64_t>(error), detail};
        const ssize_t written = ::write(fds[1], message, sizeof message);
        _exit(written == sizeof message ? 0 : 1);
    }
    ::close(fds[1]);
    uint64_t message[2] = {};
    const ssize_t got = ::read(fds[0], message, sizeof message);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    LimitedRun r;
    r.ran = got == sizeof message && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.error = static_cast<int>(message[0]);
    r.detail = static_cast<uint32_t>(message[1]);
    return r;
}

} // namespace

// A disk that fills up while a job writes: the job fails with the system's reason, the
// unfinished file is removed and nothing takes the output's name; an older file of that
// name stays whole.
TEST(OutputFile, FullDiskRemovesTheUnfinishedOutputAndNamesTheReason) {
    cldtest::TempDir dir;
    const Inputs in = makeInputs(dir, 30);
    const fs::path full = dir.file("full");
    fs::create_directory(full);
    struct Case {
        const char* name;
        fs::path output;
        std::function<std::pair<int, uint32_t>()> run;
    };
    const std::vector<Case> cases = {
        {"mp3 encode", full / "enc.mp3",
         [&] {
             int error = 0;
             uint32_t detail = 0;
             runMp3Encode(in.wav, full / "enc.mp3", &error, &detail);
             return std::pair{error, detail};
         }},
        {"mp3 decode", full / "dec.wav",
         [&] {
             int error = 0;
             uint32_t detail = 0;
             runMp3Decode(in.mp3, full / "dec.wav", &error, &detail);
             return std::pair{error, detail};
         }},
        {"wma decode", full / "wdec.wav",
         [&] {
             int error = 0;
             uint32_t detail = 0;
             runWmaDecode(in.wma, full / "wdec.wav", &error, &detail);
             return std::pair{error, detail};
         }},
        {"wma encode", full / "enc.wma",
         [&] {
             const uint32_t code = runWmaEncode(in.wav, full / "enc.wma");
             return std::pair{code != 0 ? CodecJob::kErrOutput : 0, code};
         }},
    };
    // An earlier output of the same name must survive the failed run.
    writeFile(full / "dec.wav", {'o', 'l', 'd'});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool existed = fs::exists(c.output);
        const LimitedRun r = runWithFileSizeLimit(200 * 1024, c.run);
        ASSERT_TRUE(r.ran);
        EXPECT_EQ(r.error, CodecJob::kErrOutput);
        EXPECT_EQ(r.detail, cld::wmerr::fromErrno(EFBIG));
        EXPECT_EQ(GetErrorText(r.detail), std::strerror(EFBIG));
        EXPECT_TRUE(temporariesIn(c.output.parent_path()).empty())
            << "the unfinished file is removed";
        if (existed)
            EXPECT_EQ(readFile(c.output), (std::vector<uint8_t>{'o', 'l', 'd'}));
        else
            EXPECT_FALSE(fs::exists(c.output)) << "nothing under the output's name";
        // With room enough the same job writes the whole file.
        const auto [error, detail] = c.run();
        EXPECT_EQ(error, 0) << GetErrorText(detail);
        EXPECT_NEAR(static_cast<double>(decodeWithFfmpeg(c.output).samples.size() / 2),
                    30.0 * kRate, 4096);
    }
}
