// Timing of what the video job writes: a screen capture's sound and pictures against the
// wall clock they were captured by, and the frame grid of conversions between 25 and
// 30 pictures per second.
#include "AlsaTestDevices.h"
#include "GetErrorText.h"
#include "MediaFixtures.h"
#include "Processes.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VideoTestKit.h"
#include "WmEncoderControl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace videotest;
namespace fs = std::filesystem;

namespace {

const std::string kProfiles = CLD_PROFILE_SOURCE_DIR;
const std::string kBroadband = "Video for broadband (384 Kbps, 320x240)"; // 25 fps
const std::string kLan = "Video for LAN (1 Mbps, 640x480)";               // 30 fps

std::string run(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        ::pclose(p);
    }
    return out;
}

std::string quote(const fs::path& p) {
    return "'" + p.string() + "'";
}

int indexOf(const WmEncoderControl& enc, const std::string& name) {
    for (int i = 0; i < enc.GetProfileCount(); ++i)
        if (enc.GetProfileInfo(i).name == name)
            return i;
    return -1;
}

void configure(WmEncoderControl& enc, const std::string& profile, const std::string& audioIn,
               const std::string& videoIn, const fs::path& out) {
    const int index = indexOf(enc, profile);
    ASSERT_GE(index, 0) << profile;
    enc.PrepareForFile();
    WmSourceGroup& group = enc.AddSourceGroup();
    group.SetInput(audioIn);
    group.AddVideoSource(videoIn, nullptr, nullptr);
    group.SetProfile(enc.GetProfile(index));
    group.Activate();
    enc.SetOutputFile(out.string());
}

// The presentation times of the pictures of a file's video stream, in seconds.
std::vector<double> frameTimes(const fs::path& file) {
    std::vector<double> times;
    std::istringstream lines(run("ffprobe -v error -select_streams v:0 -show_entries "
                                 "packet=pts_time -of csv=p=0 " +
                                 quote(file)));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            times.push_back(std::atof(line.c_str()));
    std::sort(times.begin(), times.end());
    return times;
}

double streamDuration(const fs::path& file, const char* kind) {
    return std::atof(run(std::string("ffprobe -v error -select_streams ") + kind +
                         ":0 -show_entries stream=duration -of csv=p=0 " + quote(file))
                         .c_str());
}

struct Edge {
    double time;
    bool rising;
};

// Where the picture turns white or black: the time of the first picture of each state.
std::vector<Edge> pictureEdges(const fs::path& file) {
    std::vector<Edge> edges;
    std::istringstream lines(run("ffprobe -v error -f lavfi -i \"movie=" + file.string() +
                                 ",scale=8:8,format=gray,signalstats\" -show_entries "
                                 "frame=pts_time:frame_tags=lavfi.signalstats.YAVG -of csv=p=0"));
    int last = -1;
    for (std::string line; std::getline(lines, line);) {
        double t = 0, y = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf", &t, &y) != 2)
            continue;
        const int white = y > 128 ? 1 : 0;
        if (last >= 0 && white != last)
            edges.push_back({t, white == 1});
        last = white;
    }
    return edges;
}

// Where the tone starts and stops, after and before at least 0.1 s of quiet. The decoded
// sound is placed at the time of its first decoded frame: the codec's first packets give
// no samples, and a player starts the sound there.
std::vector<Edge> soundEdges(const fs::path& file) {
    const double start = std::atof(run("ffprobe -v error -select_streams a:0 -show_entries "
                                       "frame=pts_time -read_intervals %+#8 -of csv=p=0 " +
                                       quote(file))
                                       .c_str());
    const int rate = 44100;
    std::vector<int16_t> samples;
    if (FILE* p = ::popen(("ffmpeg -v error -i " + quote(file) +
                           " -map 0:a -ac 1 -ar 44100 -f s16le - 2>/dev/null")
                              .c_str(),
                          "r")) {
        int16_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, sizeof(int16_t), 4096, p)) > 0)
            samples.insert(samples.end(), buf, buf + n);
        ::pclose(p);
    }
    std::vector<Edge> edges;
    const size_t quiet = rate / 10;
    size_t lastLoud = 0;
    bool haveLoud = false;
    bool on = false;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) <= 4000)
            continue;
        if (!haveLoud || i - lastLoud > quiet) {
            if (haveLoud && on)
                edges.push_back({start + static_cast<double>(lastLoud) / rate, false});
            edges.push_back({start + static_cast<double>(i) / rate, true});
            on = true;
        }
        haveLoud = true;
        lastLoud = i;
    }
    if (haveLoud && on && samples.size() - lastLoud > quiet)
        edges.push_back({start + static_cast<double>(lastLoud) / rate, false});
    return edges;
}

// Runs the painter on a display until the object goes away.
class Painter {
public:
    explicit Painter(const std::string& display) {
        const std::string cmd = std::string(CLD_SCREEN_PAINTER) + " " + display;
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::execl(CLD_SCREEN_PAINTER, CLD_SCREEN_PAINTER, display.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char text[8] = {};
        m_ready = m_pid > 0 && ::read(fds[0], text, 5) == 5 && std::string(text, 5) == "ready";
        ::close(fds[0]);
    }
    ~Painter() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool ready() const { return m_ready; }

private:
    pid_t m_pid = -1;
    bool m_ready = false;
};

} // namespace

TEST(CaptureTiming, SoundAndPicturesOfAScreenCaptureStayInStepAndEndTogether) {
    if (std::string(CLD_SCREEN_PAINTER).empty() || !cldtest::haveTool("Xvfb"))
        GTEST_SKIP() << "Xvfb or the X11 library is not installed";
    cldtest::AlsaTestDevices::get();
    XvfbServer x;
    ASSERT_TRUE(x.running());
    cldtest::ScopedEnv display("DISPLAY", x.display());
    Painter painter(x.display());
    ASSERT_TRUE(painter.ready());

    cldtest::TempDir dir;
    const fs::path out = dir.file("sync.wmv");
    WmEncoderControl enc(kProfiles, "");
    ASSERT_NO_FATAL_FAILURE(configure(enc, kBroadband, "DEVICE://clock",
                                      std::string("ScreenCap://") + kScreenPluginName, out));
    enc.Start();
    EXPECT_TRUE(cldtest::waitUntil([&] {
        return enc.GetRunState() != WmEncoderControl::kRunning ||
               enc.GetStatistics().encodedMilliseconds >= 6300;
    }));
    enc.Stop();
    ASSERT_EQ(enc.GetLastErrorCode(), 0u) << GetErrorText(enc.GetLastErrorCode());

    const double frame = 1.0 / 25;
    // Both tracks end within one picture of each other.
    const double audio = streamDuration(out, "a");
    const double video = streamDuration(out, "v");
    EXPECT_GT(video, 5.0);
    EXPECT_NEAR(audio, video, frame) << "sound " << audio << " s, pictures " << video << " s";

    // Every change of the screen lies within one picture of the matching change of the
    // sound: both were made by the same clock at the same moment.
    const std::vector<Edge> pictures = pictureEdges(out);
    std::vector<Edge> sound = soundEdges(out);
    // The device begins capturing late: the sound before its first sample is silence,
    // and its first change is only where the capture began.
    ASSERT_GT(sound.size(), 2u);
    sound.erase(sound.begin());
    std::vector<double> offsets;
    for (const Edge& p : pictures) {
        if (p.time < sound.front().time - 0.45)
            continue;
        // A change in the last tenth of a second before the stop may have no sound after
        // it to be seen in: the stop cuts both tracks there.
        if (p.time > std::min(audio, video) - 0.1)
            continue;
        double best = 1e9;
        for (const Edge& s : sound)
            if (s.rising == p.rising && std::abs(p.time - s.time) < std::abs(best))
                best = p.time - s.time;
        if (std::abs(best) < 0.45)
            offsets.push_back(best);
        else
            ADD_FAILURE() << "a change of the picture at " << p.time << " s has no sound change";
    }
    ASSERT_GE(offsets.size(), 6u) << pictures.size() << " picture changes, " << sound.size()
                                  << " sound changes";
    std::vector<double> sorted = offsets;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    // A picture shows a change in the first grab after it, placed on the nearest slot of
    // the frame grid: from half a picture before the sound to one picture after it. A
    // busy machine may paint or grab a picture late now and then, so the middle offset
    // must be within one picture and three in four within three pictures.
    EXPECT_LE(std::abs(median), frame) << "pictures after sound by " << median * 1000 << " ms";
    const auto close = std::count_if(offsets.begin(), offsets.end(),
                                     [&](double d) { return std::abs(d) <= 3 * frame; });
    EXPECT_GE(4 * static_cast<size_t>(close), 3 * offsets.size());
    std::printf("capture offset pictures-sound: median %.1f ms over %zu changes; sound %.3f s, "
                "pictures %.3f s\n",
                median * 1000, offsets.size(), audio, video);
}

TEST(FrameTiming, TwentyFiveAndThirtyPicturesPerSecondConvertOnAnEvenGrid) {
    cldtest::TempDir dir;
    struct Case {
        int inFps;
        std::string profile;
        int outFps;
    };
    for (const Case& c : {Case{25, kLan, 30}, Case{30, kBroadband, 25}}) {
        SCOPED_TRACE(std::to_string(c.inFps) + " -> " + std::to_string(c.outFps));
        const fs::path in = dir.file("clip" + std::to_string(c.inFps) + ".mpg");
        const fs::path out = dir.file("clip" + std::to_string(c.inFps) + ".wmv");
        makeClip(in, "mpg", 4.0, 320, 240, c.inFps);
        WmEncoderControl enc(kProfiles, "");
        const std::string input = "FILE://" + in.string();
        ASSERT_NO_FATAL_FAILURE(configure(enc, c.profile, input, input, out));
        enc.Start();
        ASSERT_TRUE(codectest::waitWhile(
            [&] { return enc.GetRunState() == WmEncoderControl::kRunning; }, 120));
        ASSERT_EQ(enc.GetLastErrorCode(), 0u);

        const std::vector<double> times = frameTimes(out);
        ASSERT_GT(times.size(), static_cast<size_t>(3.5 * c.outFps));
        double shortest = 1e9, longest = 0;
        for (size_t i = 1; i < times.size(); ++i) {
            shortest = std::min(shortest, times[i] - times[i - 1]);
            longest = std::max(longest, times[i] - times[i - 1]);
        }
        const double frame = 1.0 / c.outFps;
        // The container keeps milliseconds: 33/34 ms on a 30 fps grid, 40 ms on 25.
        EXPECT_LE(longest - shortest, frame) << shortest * 1000 << " .. " << longest * 1000;
        EXPECT_NEAR(longest, frame, 0.0015);
        EXPECT_NEAR(static_cast<double>(times.size()) / c.outFps, 4.0, 2 * frame);
        EXPECT_EQ(probeField(out, "v", "avg_frame_rate"), std::to_string(c.outFps) + "/1");
    }
}
