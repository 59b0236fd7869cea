#pragma once

#include "IWmReaderSink.h"
#include "WaveFormat.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Reads a media file on a thread of its own and delivers its audio as 16-bit PCM to a
// sink, with sample times in 100-nanosecond units. Open and Start are asynchronous on
// that thread; the calls wait up to ten seconds for the status they need and throw
// WMException otherwise.
class WmReader {
public:
    enum Status {
        kOpened = 1,
        kEndOfFile = 4,
        kError = 7,
        kStarted = 11,
        kStopped = 12,
        kClosed = 13,
    };
    static constexpr int kWaitMs = 10000;

    explicit WmReader(IWmReaderSink* sink);
    ~WmReader();
    WmReader(const WmReader&) = delete;
    WmReader& operator=(const WmReader&) = delete;

    // `path` gets the "file://" prefix unless it already has it (in any case).
    void Open(const std::string& path);
    void Start();
    void Stop();
    void Close();

    // The file's length in 100 ns units; 0 when the file does not say.
    int64_t GetDuration() const;
    bool HasAudio() const { return m_hasAudio; }
    bool HasVideo() const { return m_hasVideo; }
    // Throws WMException when the file has no audio.
    WaveFormat GetAudioFormat() const;

    static std::string MakeUrl(const std::string& path);

private:
    struct Media;
    enum class Command { Open, Start, Stop, Close, Quit };

    void ThreadMain();
    void Post(Command c);
    // Resets the event, posts, and waits for the status.
    void Request(Command c, int wantStatus);
    void Report(int status, uint32_t result, bool reply);
    bool Deliver(); // one packet; false at the end of the file

    IWmReaderSink* m_sink;
    std::string m_url;
    std::unique_ptr<Media> m_media;
    bool m_hasAudio = false;
    bool m_hasVideo = false;
    WaveFormat m_audioFormat;
    int64_t m_duration = 0;

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Command> m_commands;
    bool m_signalled = false;
    int m_status = 0;
    uint32_t m_result = 0;
    std::thread m_thread;
};
