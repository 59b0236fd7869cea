#include "CodecJob.h"

namespace {

std::mutex g_hookLock;
CodecJob::WorkerHook g_hook;

} // namespace

void CodecJob::SetWorkerHook(WorkerHook hook) {
    std::lock_guard lock(g_hookLock);
    g_hook = std::move(hook);
}

void CodecJob::ReachPoint(WorkerPoint point) const {
    WorkerHook hook;
    {
        std::lock_guard lock(g_hookLock);
        hook = g_hook;
    }
    if (hook)
        hook(*this, point);
}

CodecJob::~CodecJob() {
    StopAndJoin();
}

bool CodecJob::IsRunning() const {
    std::lock_guard lock(m_lock);
    return m_running;
}

int CodecJob::GetProgress() const {
    std::lock_guard lock(m_lock);
    return m_progress;
}

void CodecJob::RequestAbort() {
    std::lock_guard lock(m_lock);
    m_abort = true;
}

int CodecJob::GetErrorCode() const {
    std::lock_guard lock(m_lock);
    return m_error;
}

uint32_t CodecJob::GetErrorDetail() const {
    std::lock_guard lock(m_lock);
    return m_detail;
}

uint32_t CodecJob::GetRemainingSeconds() const {
    std::lock_guard lock(m_lock);
    const int64_t e = m_watchBytes.ElapsedMs();
    const int64_t p = m_progress;
    if (p <= 0)
        return 0;
    const int64_t r = e / 10 / p - e / 1000;
    return r > 0 ? static_cast<uint32_t>(r) : 0;
}

uint32_t CodecJob::GetKilobytesPerSecond() const {
    std::lock_guard lock(m_lock);
    const uint64_t s = m_watchBytes.ElapsedMs() / 1000;
    if (s == 0)
        return 0;
    return static_cast<uint32_t>((m_bytesDone / s) >> 10);
}

uint32_t CodecJob::GetSamplesPerSecond() const {
    std::lock_guard lock(m_lock);
    const uint64_t s = m_watchSamples.ElapsedMs() / 1000;
    if (s == 0)
        return 0;
    return static_cast<uint32_t>(m_samplesDone / s);
}

uint64_t CodecJob::GetSamplesDone() const {
    std::lock_guard lock(m_lock);
    return m_samplesDone;
}

uint64_t CodecJob::GetBytesDone() const {
    std::lock_guard lock(m_lock);
    return m_bytesDone;
}

void CodecJob::SetInput(const std::string& path) {
    std::lock_guard lock(m_lock);
    m_input = path;
}

void CodecJob::SetOutput(const std::string& path) {
    std::lock_guard lock(m_lock);
    m_output = path;
}

std::string CodecJob::GetInput() const {
    std::lock_guard lock(m_lock);
    return m_input;
}

std::string CodecJob::GetOutput() const {
    std::lock_guard lock(m_lock);
    return m_output;
}

void CodecJob::SetReplaceExisting(bool replace) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_replaceExisting = replace;
}

bool CodecJob::GetReplaceExisting() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_replaceExisting;
}

bool CodecJob::BeginStart() {
    {
        std::lock_guard lock(m_lock);
        if (m_running)
            return false;
    }
    ReapWorker();
    std::lock_guard lock(m_lock);
    m_bytesDone = 0;
    m_watchBytes.Reset();
    m_samplesDone = 0;
    m_watchSamples.Reset();
    m_progress = 0;
    m_abort = false;
    m_error = 0;
    m_detail = 0;
    m_running = true;
    return true;
}

void CodecJob::Finish(int code, uint32_t detail) {
    std::lock_guard lock(m_lock);
    m_running = false;
    m_abort = false;
    m_error = code;
    m_detail = code != 0 ? detail : 0;
}

bool CodecJob::AbortRequested() const {
    std::lock_guard lock(m_lock);
    return m_abort;
}

void CodecJob::ReapWorker() {
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

void CodecJob::StopAndJoin() {
    {
        std::lock_guard lock(m_lock);
        if (m_running)
            m_abort = true;
    }
    ReapWorker();
}
