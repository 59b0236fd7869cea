#include "VideoTestKit.h"

#include "MediaFixtures.h"
#include "Processes.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace videotest {

using codectest::quote;
using codectest::shell;

void makeClip(const std::filesystem::path& path, const std::string& container, double seconds,
              int width, int height, int fps) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string codecs = container == "mpg" ? "-c:v mpeg1video -b:v 800k -c:a mp2 -b:a 128k"
                                                  : "-c:v mpeg4 -q:v 5 -c:a pcm_s16le";
    const std::string t = std::to_string(seconds);
    shell("ffmpeg -v error -y -f lavfi -i testsrc=size=" + size + ":rate=" + std::to_string(fps) +
          ":duration=" + t + " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" + t +
          " -ac 2 " + codecs + " " + quote(path));
}

double probeDuration(const std::filesystem::path& file) {
    const std::string text = probeField(file, "format", "duration");
    return text.empty() ? -1 : std::atof(text.c_str());
}

std::string probeField(const std::filesystem::path& file, const std::string& kind,
                       const std::string& field) {
    std::string out;
    const std::string select = kind == "format" ? "" : "-select_streams " + kind + ":0 ";
    const std::string section = kind == "format" ? "format" : "stream";
    shell("ffprobe -v error " + select + "-show_entries " + section + "=" + field +
              " -of default=nw=1:nk=1 " + quote(file) + " 2>/dev/null",
          &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    const auto nl = out.find('\n');
    return nl == std::string::npos ? out : out.substr(0, nl);
}

void CountingSink::OnVideoFrame(const WmVideoFrame& frame) {
    m_width = frame.width;
    m_height = frame.height;
    bool varied = false;
    if (frame.pixels && frame.width > 0 && frame.height > 0) {
        uint32_t first = 0;
        std::memcpy(&first, frame.pixels, 4);
        for (int y = 0; y < frame.height && !varied; y += 7) {
            const uint8_t* row = frame.pixels + static_cast<size_t>(y) * frame.stride;
            for (int x = 0; x < frame.width; x += 5) {
                uint32_t px = 0;
                std::memcpy(&px, row + static_cast<size_t>(x) * 4, 4);
                if (px != first) {
                    varied = true;
                    break;
                }
            }
        }
    }
    m_varied = varied;
    ++m_count;
}

XvfbServer::XvfbServer() {
    int fds[2];
    if (pipe(fds) != 0)
        return;
    m_pid = fork();
    if (m_pid == 0) {
        close(fds[0]);
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDOUT_FILENO);
            dup2(devnull, STDERR_FILENO);
        }
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (m_pid < 0) {
        close(fds[0]);
        return;
    }
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    struct pollfd p {};
    p.fd = fds[0];
    p.events = POLLIN;
    const auto end = std::chrono::steady_clock::now() + cldtest::kHangLimit;
    while (std::chrono::steady_clock::now() < end) {
        if (poll(&p, 1, 200) <= 0)
            continue;
        char c = 0;
        if (read(fds[0], &c, 1) != 1)
            break;
        if (c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    if (!number.empty())
        m_display = ":" + number;
}

XvfbServer::~XvfbServer() {
    stop();
}

void XvfbServer::stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
}

} // namespace videotest
