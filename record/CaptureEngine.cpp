#include "CaptureEngine.h"

#include "CaptureDevices.h"
#include "Log.h"

#include <algorithm>
#include <cerrno>

namespace cld {

CaptureEngine::CaptureEngine() {
    m_points.reserve(kFramesPerBuffer);
    SelectDevice(0);
}

CaptureEngine::~CaptureEngine() {
    // The worker calls the consumer operations; it must end while they still exist, so
    // the subclass's destructor stops first too.
    Stop();
    ReleasePreparedDevice();
}

bool CaptureEngine::PrepareDevice() {
    if (!m_usable || IsRecording())
        return false;
    std::lock_guard lock(m_deviceLock);
    if (m_device && m_device->IsOpen() && m_preparedName == m_pcmName &&
        m_device->Format() == m_format)
        return true;
    m_device.reset();
    m_preparedName.clear();
    auto device = std::make_unique<WaveInDevice>(m_format, kFramesPerBuffer);
    if (device->Open(m_pcmName, &m_event) != WaveInResult::Ok) {
        m_errorText = device->ErrorText();
        return false;
    }
    m_device = std::move(device);
    m_preparedName = m_pcmName;
    return true;
}

bool CaptureEngine::IsDevicePrepared() const {
    std::lock_guard lock(m_deviceLock);
    return !IsRecording() && m_device && m_device->IsOpen() && m_preparedName == m_pcmName;
}

void CaptureEngine::ReleasePreparedDevice() {
    if (IsRecording())
        return;
    std::lock_guard lock(m_deviceLock);
    m_device.reset();
    m_preparedName.clear();
}

bool CaptureEngine::SelectDevice(uint32_t deviceId) {
    m_deviceId = deviceId;
    const std::vector<CaptureDeviceInfo> devices = listCaptureDevices();
    if (deviceId >= devices.size()) {
        m_pcmName.clear();
        m_usable = false;
        return false;
    }
    return Probe(devices[deviceId].pcmName);
}

bool CaptureEngine::SelectDeviceByName(const std::string& pcmName) {
    return Probe(pcmName);
}

bool CaptureEngine::Probe(const std::string& pcmName) {
    // A device held open for the previous choice is let go first, so that it can be
    // probed (it may be the same one).
    ReleasePreparedDevice();
    m_pcmName = pcmName;
    m_usable = false;
    WaveInCaps caps;
    if (WaveInDevice::GetCaps(pcmName, caps) != WaveInResult::Ok || caps.formats == 0)
        return false;
    for (size_t row = 0; row < kProbeFormats.size(); ++row) {
        if (!caps.Lists(row))
            continue;
        if (WaveInDevice::QueryFormat(pcmName, kProbeFormats[row]) == WaveInResult::Ok) {
            m_format = kProbeFormats[row];
            m_usable = true;
            break;
        }
    }
    return m_usable;
}

uint32_t CaptureEngine::State() const {
    std::lock_guard lock(m_stateLock);
    return m_state;
}

bool CaptureEngine::IsRecording() const {
    return (State() & kRecording) != 0;
}

bool CaptureEngine::IsPaused() const {
    return (State() & kPaused) != 0;
}

std::string CaptureEngine::GetErrorText() const {
    std::lock_guard lock(m_deviceLock);
    return m_errorText;
}

bool CaptureEngine::BeginConsume(int, int, int) {
    return true;
}

size_t CaptureEngine::Consume(const uint8_t*, size_t) {
    return 0;
}

bool CaptureEngine::Start() {
    if (!m_usable || IsRecording())
        return false;
    {
        std::lock_guard lock(m_deviceLock);
        m_errorText.clear();
    }
    if (!BeginConsume(m_format.channels, static_cast<int>(m_format.sampleRate),
                      m_format.bitsPerSample))
        return false;
    {
        std::lock_guard lock(m_stateLock);
        m_state = kRecording;
    }
    if (!StartThread()) {
        {
            std::lock_guard lock(m_deviceLock);
            m_errorText = WaveInDevice::ResultText(WaveInResult::SystemError, -ENOMEM);
        }
        Stop();
        return false;
    }
    bool opened = false;
    {
        std::lock_guard lock(m_deviceLock);
        const bool prepared = m_device && m_device->IsOpen() && m_preparedName == m_pcmName &&
                              m_device->Format() == m_format;
        m_preparedName.clear();
        if (!prepared)
            m_device = std::make_unique<WaveInDevice>(m_format, kFramesPerBuffer);
        m_window.assign(kFramesPerBuffer, 0.0);
        if (prepared || m_device->Open(m_pcmName, &m_event) == WaveInResult::Ok) {
            for (int i = 0; i < WaveInDevice::kBufferCount - 1; ++i) {
                m_device->Prepare(i);
                m_device->AddBuffer(i);
            }
            m_current = 0;
            opened = m_device->Start() == WaveInResult::Ok;
        }
        if (!opened)
            m_errorText = m_device->ErrorText();
    }
    if (!opened) {
        logf(LogLevel::Warning, "capture: cannot record from %s: %s", m_pcmName.c_str(),
             GetErrorText().c_str());
        Stop();
        return false;
    }
    return true;
}

void CaptureEngine::TogglePause() {
    {
        std::lock_guard lock(m_stateLock);
        if (!(m_state & kRecording))
            return;
        m_state ^= kPaused;
    }
    OnPauseChanged();
}

void CaptureEngine::Stop() {
    if (!IsRecording())
        return;
    if (IsPaused())
        TogglePause();
    StopThread(kStopTimeoutMs);
    std::lock_guard lock(m_deviceLock);
    if (m_device) {
        m_device->Reset();
        m_device->Close();
    }
    m_device.reset();
    m_window.clear();
    m_window.shrink_to_fit();
    {
        std::lock_guard stateLock(m_stateLock);
        m_state = 0;
    }
    EndConsume();
}

void CaptureEngine::Wake() {
    m_event.Set();
}

void CaptureEngine::Run() {
    for (;;) {
        m_event.Wait();
        if (StopRequested() || !IsRecording())
            break;
        std::lock_guard lock(m_deviceLock);
        if (!m_device || !m_device->IsDone(m_current))
            continue;
        if (IsPaused()) {
            Recycle();
        } else {
            Consume(m_device->Data(m_current), m_device->RecordedBytes(m_current));
            if (m_monitor)
                MonitorStep();
            else
                Recycle();
        }
        // Two buffers may have finished during one wake-up; the event remembers only
        // one signal, so the next buffer asks for its own turn.
        if (m_device->IsDone(m_current))
            m_event.Set();
    }
}

bool CaptureEngine::Recycle() {
    if (!m_device->IsDone(m_current))
        return false;
    m_device->Unprepare(m_current);
    const int previous = (m_current + WaveInDevice::kBufferCount - 1) % WaveInDevice::kBufferCount;
    m_device->Prepare(previous);
    m_device->AddBuffer(previous);
    m_current = (m_current + 1) % WaveInDevice::kBufferCount;
    return true;
}

void CaptureEngine::MonitorStep() {
    const int noted = m_current;
    if (!Recycle())
        return;
    const WaveInFormat& format = m_device->Format();
    const size_t frames = m_device->RecordedBytes(noted) / format.BlockAlign();
    const size_t take = std::min(frames, m_window.size());
    // Shift the window left by the buffer's frames and append the new values.
    std::move(m_window.begin() + static_cast<std::ptrdiff_t>(take), m_window.end(),
              m_window.begin());
    const uint8_t* data = m_device->Data(noted);
    const size_t first = frames - take;
    const size_t base = m_window.size() - take;
    for (size_t i = 0; i < take; ++i)
        m_window[base + i] = readMonitorSample(format, data + (first + i) * format.BlockAlign());

    int width = 0;
    int height = 0;
    m_monitor->GetClientSize(width, height);
    computeMonitorPoints(m_window.data(), m_window.size(), width, height, m_points);
    m_monitor->DrawTrace(m_points);
}

} // namespace cld
