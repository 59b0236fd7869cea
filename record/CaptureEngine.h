#pragma once

#include "AutoResetEvent.h"
#include "CaptureThread.h"
#include "MonitorTrace.h"
#include "WaveInDevice.h"
#include "WaveInFormat.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cld {

// Records from a capture device and hands every filled buffer to the consumer on a
// worker thread, showing the latest buffer in a monitor window. The device's best format
// is chosen by itself. The engine operations are called on the user-interface thread;
// the consumer operations are overridden by the engine's user.
class CaptureEngine : public CaptureThread {
public:
    static constexpr uint16_t kFramesPerBuffer = 1024;
    static constexpr int kStopTimeoutMs = 2000;

    // Chooses device 0.
    CaptureEngine();
    ~CaptureEngine() override;

    // Chooses a device by its number in listCaptureDevices() and probes its formats;
    // returns whether it can record.
    bool SelectDevice(uint32_t deviceId);
    // The same for a device given by its sound-system name.
    bool SelectDeviceByName(const std::string& pcmName);
    // Opens and prepares the chosen device ahead of Start, so that recording begins the
    // moment Start is called (opening a sound device can take a good part of a second).
    // The device stays held until Start, Stop, another device choice or
    // ReleasePreparedDevice.
    bool PrepareDevice();
    bool IsDevicePrepared() const;
    void ReleasePreparedDevice();
    bool Start();
    void TogglePause();
    void Stop();
    bool IsRecording() const;
    bool IsPaused() const;
    // Where the waveform is drawn (not owned; null: no waveform). Set before Start.
    void SetMonitorWindow(MonitorWindow* window) { m_monitor = window; }

    bool IsDeviceUsable() const { return m_usable; }
    uint32_t GetDeviceId() const { return m_deviceId; }
    const std::string& GetDeviceName() const { return m_pcmName; }
    const WaveInFormat& GetFormat() const { return m_format; }
    // Why the last Start failed at the device (empty when it did not).
    std::string GetErrorText() const;
    // The consumer's own error code (0 when none); any thread may ask.
    virtual int GetConsumerError() const { return 0; }

protected:
    // Called before the device is opened; false aborts the start.
    virtual bool BeginConsume(int channels, int sampleRate, int bitsPerSample);
    // Called on the worker for each finished buffer while not paused, under the device
    // lock. Returns the number of bytes produced.
    virtual size_t Consume(const uint8_t* data, size_t bytes);
    // Called once when recording stops, under the device lock.
    virtual void EndConsume() {}
    virtual void OnPauseChanged() {}

    void Run() override;
    void Wake() override;

private:
    enum StateBits : uint32_t { kRecording = 1u, kPaused = 2u };

    bool Probe(const std::string& pcmName);
    // Hands the current buffer back to the device once it is done; false when it is not.
    bool Recycle();
    void MonitorStep();
    uint32_t State() const;

    bool m_usable = false;
    uint32_t m_deviceId = 0;
    std::string m_pcmName;
    WaveInFormat m_format;

    mutable std::mutex m_stateLock;
    uint32_t m_state = 0;

    AutoResetEvent m_event;
    mutable std::mutex m_deviceLock;
    std::unique_ptr<WaveInDevice> m_device;
    std::string m_preparedName; // the device m_device was opened for, before Start
    int m_current = 0;
    std::vector<double> m_window;
    std::vector<MonitorPoint> m_points;
    MonitorWindow* m_monitor = nullptr;
    std::string m_errorText;
};

} // namespace cld
