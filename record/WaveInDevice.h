#pragma once

#include "AutoResetEvent.h"
#include "WaveInFormat.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

namespace cld {

// Results of the device operations.
enum class WaveInResult {
    Ok,
    BadDevice, // no such device, or it cannot capture
    Allocated, // another application holds the device
    BadFormat, // the device refuses the format
    NotOpen,
    BadBuffer,   // a buffer index out of range or in the wrong state
    SystemError, // any other error of the sound system (see ErrorText)
};

// Which of the probe formats a capture device accepts, one bit per row of kProbeFormats.
struct WaveInCaps {
    uint32_t formats = 0;
    bool Lists(size_t row) const { return (formats >> row) & 1u; }
};

// One recording from an ALSA capture device through eight buffers of one memory block.
// The buffers are handed to the device in turn: a queued buffer is filled by the device
// and then marked done, and the device signals the notification event; a done buffer
// belongs to the caller until it is queued again. A reader thread inside the device
// object plays the part of the sound driver.
class WaveInDevice {
public:
    static constexpr int kBufferCount = 8;
    static constexpr size_t kMaxErrorText = 256;

    WaveInDevice(const WaveInFormat& format, uint32_t framesPerBuffer);
    ~WaveInDevice();
    WaveInDevice(const WaveInDevice&) = delete;
    WaveInDevice& operator=(const WaveInDevice&) = delete;

    // Which probe formats the device accepts; BadDevice/Allocated when it cannot be
    // asked.
    static WaveInResult GetCaps(const std::string& pcmName, WaveInCaps& caps);
    // Asks the device whether it records in `format`, without keeping it open.
    static WaveInResult QueryFormat(const std::string& pcmName, const WaveInFormat& format);
    // A text for a result; `systemCode` is the sound system's code for SystemError.
    static std::string ResultText(WaveInResult result, int systemCode);

    // Opens the device for recording; each finished buffer sets `notify`.
    WaveInResult Open(const std::string& pcmName, AutoResetEvent* notify);
    bool IsOpen() const { return m_pcm != nullptr; }
    WaveInResult Prepare(int index);
    WaveInResult Unprepare(int index);
    // Queues a prepared buffer with its full size.
    WaveInResult AddBuffer(int index);
    WaveInResult Start();
    // Stops recording; queued buffers are marked done with what they hold.
    WaveInResult Reset();
    void Close();

    bool IsDone(int index) const;
    size_t RecordedBytes(int index) const;
    const uint8_t* Data(int index) const;
    const WaveInFormat& Format() const { return m_format; }
    size_t BufferBytes() const { return m_bufferBytes; }
    uint32_t FramesPerBuffer() const { return m_framesPerBuffer; }
    const std::string& ErrorText() const { return m_errorText; }
    WaveInResult LastResult() const { return m_lastResult; }

private:
    struct Header {
        uint8_t* data = nullptr;
        size_t recorded = 0;
        bool prepared = false;
        bool queued = false;
        bool done = false;
    };

    WaveInResult Fail(WaveInResult result, int systemCode = 0);
    void ReaderLoop();
    bool Valid(int index) const { return index >= 0 && index < kBufferCount; }

    WaveInFormat m_format;
    uint32_t m_framesPerBuffer;
    size_t m_bufferBytes;
    std::vector<uint8_t> m_memory;
    Header m_headers[kBufferCount];
    std::deque<int> m_queue;
    mutable std::mutex m_lock;

    snd_pcm_t* m_pcm = nullptr;
    AutoResetEvent* m_notify = nullptr;
    std::thread m_reader;
    std::atomic<bool> m_stopReader{false};
    std::vector<uint8_t> m_spill;
    WaveInResult m_lastResult = WaveInResult::Ok;
    std::string m_errorText;
};

} // namespace cld
