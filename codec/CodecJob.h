#pragma once

#include "Stopwatch.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The error codes of a job, by name (the values are the ones the dialogs map to messages).
enum class CodecError : int {
    None = 0,
    Input = 101,
    Output = 102,
    Encoder = 103, // encoder: parameters refused; WMA: no audio
    Header = 104,
    Start = 105,
};

// Base of the threaded encode and decode jobs: progress counters, two stopwatches, the
// running and abort flags and the error code, all behind one lock. The user-interface
// thread polls the getters; the worker updates the counters between blocks.
class CodecJob {
public:
    // Error codes a job reports (also kept after the job has ended).
    static constexpr int kErrInput = static_cast<int>(CodecError::Input);
    static constexpr int kErrOutput = static_cast<int>(CodecError::Output);
    static constexpr int kErrEncoder = static_cast<int>(CodecError::Encoder);
    static constexpr int kErrHeader = static_cast<int>(CodecError::Header);
    static constexpr int kErrStart = static_cast<int>(CodecError::Start);

    // Points of a worker's life at which a test may hold it, to make a race with the
    // user's Abort happen in a chosen order. The program never sets a hook.
    enum class WorkerPoint {
        Started,  // the worker runs, nothing read or written yet
        Finishing // the output is complete (or removed); the job still counts as running
    };
    using WorkerHook = std::function<void(const CodecJob&, WorkerPoint)>;
    // Installs the hook for every job of the process (an empty one removes it).
    static void SetWorkerHook(WorkerHook hook);

    CodecJob() = default;
    virtual ~CodecJob();
    CodecJob(const CodecJob&) = delete;
    CodecJob& operator=(const CodecJob&) = delete;

    bool IsRunning() const;
    int GetProgress() const;
    void RequestAbort();
    int GetErrorCode() const;
    // The media layer's failure code behind the error code (0 when there is none), for
    // GetErrorText: it tells, for example, why the output could not be created.
    uint32_t GetErrorDetail() const;
    uint32_t GetRemainingSeconds() const;
    uint32_t GetKilobytesPerSecond() const;
    uint32_t GetSamplesPerSecond() const;
    uint64_t GetSamplesDone() const;
    uint64_t GetBytesDone() const;

    void SetInput(const std::string& path);
    void SetOutput(const std::string& path);
    std::string GetInput() const;
    std::string GetOutput() const;
    // Whether a regular file already at the output's name may be replaced (the user chose
    // so, or the job's settings dialog asked); true unless set otherwise. Anything but a
    // regular file is never replaced.
    void SetReplaceExisting(bool replace);
    bool GetReplaceExisting() const;

protected:
    // Clears counters, stopwatches, abort and error and marks the job running. Returns
    // false (touching nothing) when the job is already running.
    bool BeginStart();
    void Finish(int code, uint32_t detail = 0);
    bool AbortRequested() const;
    // Calls the test hook, if any; workers call it at each WorkerPoint.
    void ReachPoint(WorkerPoint point) const;
    // Joins a worker that has already finished, before a new one is started.
    void ReapWorker();
    // Waits for the worker; derived destructors call it before their members go.
    void StopAndJoin();

    mutable std::mutex m_lock;
    bool m_running = false;
    bool m_abort = false;
    int m_progress = 0;
    Stopwatch m_watchSamples;
    Stopwatch m_watchBytes;
    uint64_t m_samplesDone = 0;
    uint64_t m_bytesDone = 0;
    int m_error = 0;
    uint32_t m_detail = 0;
    std::string m_input;
    std::string m_output;
    bool m_replaceExisting = true;
    std::thread m_worker;
};
