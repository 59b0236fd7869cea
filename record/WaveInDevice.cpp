#include "WaveInDevice.h"

#include "CaptureDevices.h"
#include "Log.h"

#include <alsa/asoundlib.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cld {
namespace {

constexpr const char* kFormatRefused = "Output format not supported.";
constexpr const char* kDeviceAllocated =
    "Another application is recording audio. Stop recording with this other application and "
    "then try to record again.";

snd_pcm_format_t sampleFormat(const WaveInFormat& format) {
    return format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
}

WaveInResult openResult(int err) {
    if (err == -EBUSY || err == -EAGAIN)
        return WaveInResult::Allocated;
    return WaveInResult::SystemError;
}

// Restricts `params` to the format; false when the device refuses it.
bool restrict(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, const WaveInFormat& format) {
    return snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) == 0 &&
           snd_pcm_hw_params_set_format(pcm, params, sampleFormat(format)) == 0 &&
           snd_pcm_hw_params_set_channels(pcm, params, format.channels) == 0 &&
           snd_pcm_hw_params_set_rate(pcm, params, format.sampleRate, 0) == 0;
}

struct PcmCloser {
    snd_pcm_t* pcm;
    ~PcmCloser() {
        if (pcm)
            snd_pcm_close(pcm);
    }
};

} // namespace

WaveInDevice::WaveInDevice(const WaveInFormat& format, uint32_t framesPerBuffer)
    : m_format(format), m_framesPerBuffer(framesPerBuffer),
      m_bufferBytes(static_cast<size_t>(framesPerBuffer) * format.BlockAlign()),
      m_memory(m_bufferBytes * kBufferCount), m_spill(m_bufferBytes) {
    for (int i = 0; i < kBufferCount; ++i)
        m_headers[i].data = m_memory.data() + static_cast<size_t>(i) * m_bufferBytes;
}

WaveInDevice::~WaveInDevice() {
    Close();
}

WaveInResult WaveInDevice::GetCaps(const std::string& pcmName, WaveInCaps& caps) {
    routeAlsaMessages();
    caps = {};
    snd_pcm_t* pcm = nullptr;
    const int err = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0)
        return err == -EBUSY ? WaveInResult::Allocated : WaveInResult::BadDevice;
    PcmCloser closer{pcm};
    snd_pcm_hw_params_t* any;
    snd_pcm_hw_params_t* trial;
    snd_pcm_hw_params_alloca(&any);
    snd_pcm_hw_params_alloca(&trial);
    if (snd_pcm_hw_params_any(pcm, any) < 0)
        return WaveInResult::BadDevice;
    for (size_t row = 0; row < kProbeFormats.size(); ++row) {
        snd_pcm_hw_params_copy(trial, any);
        if (restrict(pcm, trial, kProbeFormats[row]))
            caps.formats |= 1u << row;
    }
    return WaveInResult::Ok;
}

WaveInResult WaveInDevice::QueryFormat(const std::string& pcmName, const WaveInFormat& format) {
    routeAlsaMessages();
    snd_pcm_t* pcm = nullptr;
    const int err = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0)
        return err == -EBUSY ? WaveInResult::Allocated : WaveInResult::BadDevice;
    PcmCloser closer{pcm};
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    if (snd_pcm_hw_params_any(pcm, params) < 0 || !restrict(pcm, params, format))
        return WaveInResult::BadFormat;
    return WaveInResult::Ok;
}

std::string WaveInDevice::ResultText(WaveInResult result, int systemCode) {
    switch (result) {
    case WaveInResult::Ok:
        return {};
    case WaveInResult::BadFormat:
        return kFormatRefused;
    case WaveInResult::Allocated:
        return kDeviceAllocated;
    case WaveInResult::BadDevice:
        return snd_strerror(-ENODEV);
    case WaveInResult::NotOpen:
    case WaveInResult::BadBuffer:
        return snd_strerror(-EINVAL);
    case WaveInResult::SystemError:
        break;
    }
    std::string text = snd_strerror(systemCode);
    if (text.size() >= kMaxErrorText)
        text.resize(kMaxErrorText - 1);
    return text;
}

WaveInResult WaveInDevice::Fail(WaveInResult result, int systemCode) {
    m_lastResult = result;
    m_errorText = ResultText(result, systemCode);
    return result;
}

WaveInResult WaveInDevice::Open(const std::string& pcmName, AutoResetEvent* notify) {
    routeAlsaMessages();
    if (m_pcm)
        return Fail(WaveInResult::Allocated);
    m_errorText.clear();
    m_lastResult = WaveInResult::Ok;
    const WaveInResult query = QueryFormat(pcmName, m_format);
    if (query == WaveInResult::BadFormat || query == WaveInResult::Allocated)
        return Fail(query);

    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0)
        return Fail(openResult(err), err);
    PcmCloser closer{pcm};
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    if ((err = snd_pcm_hw_params_any(pcm, params)) < 0)
        return Fail(WaveInResult::SystemError, err);
    if (!restrict(pcm, params, m_format))
        return Fail(WaveInResult::BadFormat);
    // The sound system delivers one of our buffers per period. Its own ring is kept
    // larger than our eight buffers (about 0.75 s at 44100 Hz), so that a reader thread
    // held up by a busy machine catches up instead of losing audio.
    snd_pcm_uframes_t period = m_framesPerBuffer;
    snd_pcm_uframes_t ring = static_cast<snd_pcm_uframes_t>(m_framesPerBuffer) * 32;
    snd_pcm_hw_params_set_period_size_near(pcm, params, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(pcm, params, &ring);
    if ((err = snd_pcm_hw_params(pcm, params)) < 0)
        return Fail(WaveInResult::SystemError, err);
    if ((err = snd_pcm_prepare(pcm)) < 0)
        return Fail(WaveInResult::SystemError, err);
    closer.pcm = nullptr;
    m_pcm = pcm;
    m_notify = notify;
    return WaveInResult::Ok;
}

WaveInResult WaveInDevice::Prepare(int index) {
    if (!Valid(index))
        return WaveInResult::BadBuffer;
    std::lock_guard lock(m_lock);
    Header& h = m_headers[index];
    if (h.queued)
        return WaveInResult::BadBuffer;
    h.prepared = true;
    h.done = false;
    h.recorded = 0;
    return WaveInResult::Ok;
}

WaveInResult WaveInDevice::Unprepare(int index) {
    if (!Valid(index))
        return WaveInResult::BadBuffer;
    std::lock_guard lock(m_lock);
    Header& h = m_headers[index];
    if (h.queued)
        return WaveInResult::BadBuffer;
    h.prepared = false;
    return WaveInResult::Ok;
}

WaveInResult WaveInDevice::AddBuffer(int index) {
    if (!Valid(index))
        return WaveInResult::BadBuffer;
    if (!m_pcm)
        return WaveInResult::NotOpen;
    std::lock_guard lock(m_lock);
    Header& h = m_headers[index];
    if (!h.prepared || h.queued)
        return WaveInResult::BadBuffer;
    h.done = false;
    h.recorded = 0;
    h.queued = true;
    m_queue.push_back(index);
    return WaveInResult::Ok;
}

WaveInResult WaveInDevice::Start() {
    if (!m_pcm)
        return WaveInResult::NotOpen;
    if (m_reader.joinable())
        return WaveInResult::Ok;
    const int err = snd_pcm_start(m_pcm);
    if (err < 0)
        return Fail(WaveInResult::SystemError, err);
    m_stopReader = false;
    try {
        m_reader = std::thread([this] { ReaderLoop(); });
    } catch (const std::system_error&) {
        snd_pcm_drop(m_pcm);
        return Fail(WaveInResult::SystemError, -ENOMEM);
    }
    return WaveInResult::Ok;
}

void WaveInDevice::ReaderLoop() {
    const size_t frameBytes = m_format.BlockAlign();
    while (!m_stopReader.load()) {
        int rc = snd_pcm_wait(m_pcm, 100);
        if (rc < 0) {
            if (snd_pcm_recover(m_pcm, rc, 1) < 0 || snd_pcm_start(m_pcm) < 0) {
                logf(LogLevel::Warning, "capture: the device failed: %s", snd_strerror(rc));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            continue;
        }
        if (rc == 0)
            continue;

        uint8_t* target;
        size_t wantFrames;
        int index = -1;
        {
            std::lock_guard lock(m_lock);
            if (m_queue.empty()) {
                // Nothing queued: the audio is dropped, as a sound card does.
                target = m_spill.data();
                wantFrames = m_framesPerBuffer;
            } else {
                index = m_queue.front();
                const Header& h = m_headers[index];
                target = h.data + h.recorded;
                wantFrames = (m_bufferBytes - h.recorded) / frameBytes;
            }
        }
        const snd_pcm_sframes_t got = snd_pcm_readi(m_pcm, target, wantFrames);
        if (got == -EAGAIN)
            continue;
        if (got < 0) {
            if (snd_pcm_recover(m_pcm, static_cast<int>(got), 1) < 0 || snd_pcm_start(m_pcm) < 0) {
                logf(LogLevel::Warning, "capture: reading failed: %s",
                     snd_strerror(static_cast<int>(got)));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            continue;
        }
        if (index < 0)
            continue;
        bool finished = false;
        {
            std::lock_guard lock(m_lock);
            Header& h = m_headers[index];
            h.recorded += static_cast<size_t>(got) * frameBytes;
            if (h.recorded >= m_bufferBytes) {
                h.done = true;
                h.queued = false;
                m_queue.pop_front();
                finished = true;
            }
        }
        if (finished && m_notify)
            m_notify->Set();
    }
}

WaveInResult WaveInDevice::Reset() {
    if (!m_pcm)
        return WaveInResult::NotOpen;
    m_stopReader = true;
    if (m_reader.joinable())
        m_reader.join();
    snd_pcm_drop(m_pcm);
    {
        std::lock_guard lock(m_lock);
        for (int index : m_queue) {
            m_headers[index].queued = false;
            m_headers[index].done = true;
        }
        m_queue.clear();
    }
    if (m_notify)
        m_notify->Set();
    return WaveInResult::Ok;
}

void WaveInDevice::Close() {
    if (!m_pcm)
        return;
    Reset();
    snd_pcm_close(m_pcm);
    m_pcm = nullptr;
    m_notify = nullptr;
}

bool WaveInDevice::IsDone(int index) const {
    if (!Valid(index))
        return false;
    std::lock_guard lock(m_lock);
    return m_headers[index].done;
}

size_t WaveInDevice::RecordedBytes(int index) const {
    if (!Valid(index))
        return 0;
    std::lock_guard lock(m_lock);
    return m_headers[index].recorded;
}

const uint8_t* WaveInDevice::Data(int index) const {
    return Valid(index) ? m_headers[index].data : nullptr;
}

} // namespace cld
