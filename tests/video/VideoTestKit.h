#pragma once

#include "IWmFrameSink.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace videotest {

// Makes a clip with ffmpeg: a moving test picture with a tone. `container` is "avi"
// (MPEG-4 part 2 video, PCM sound) or "mpg" (MPEG-1 video, MPEG audio layer II).
void makeClip(const std::filesystem::path& path, const std::string& container, double seconds,
              int width = 320, int height = 240, int fps = 25);

// The container's playing time as ffprobe reports it (seconds; -1 when it cannot tell).
double probeDuration(const std::filesystem::path& file);

// One ffprobe field of the first stream of a kind ("a" or "v"), or of the format
// ("format"), e.g. probeField(f, "v", "codec_name").
std::string probeField(const std::filesystem::path& file, const std::string& kind,
                       const std::string& field);

// Counts the pictures a data view delivers and remembers the size of the last one.
class CountingSink : public IWmFrameSink {
public:
    void OnVideoFrame(const WmVideoFrame& frame) override;
    int count() const { return m_count.load(); }
    int width() const { return m_width.load(); }
    int height() const { return m_height.load(); }
    // True when the last picture had more than one colour (it is not a blank frame).
    bool varied() const { return m_varied.load(); }

private:
    std::atomic<int> m_count{0};
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};
    std::atomic<bool> m_varied{false};
};

// A private X server for screen capture tests: started with a free display number,
// stopped and reaped when the object goes away. DISPLAY is not changed.
class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    // False when Xvfb is not installed or did not come up.
    bool running() const { return !m_display.empty(); }
    // ":N"
    const std::string& display() const { return m_display; }
    // Ends the server now, as if the display went away.
    void stop();

private:
    pid_t m_pid = -1;
    std::string m_display;
};

} // namespace videotest
