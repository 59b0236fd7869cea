#pragma once

#include "JobProgress.h"

#include <atomic>

class CodecJob;

// An encode or decode job seen through the one progress contract. The job is not owned
// and must outlive the adapter; the adapter is made once the job has been started.
class CodecJobProgress : public cld::JobProgress {
public:
    explicit CodecJobProgress(CodecJob& job) : m_job(job) {}

    cld::JobState state() const override;
    int perMille() const override;
    int errorCode() const override;
    std::string errorText() const override;
    void abort() override;

private:
    CodecJob& m_job;
    // The job forgets its abort flag when it ends; the adapter remembers that one was asked.
    std::atomic<bool> m_abortAsked{false};
};

// What a job's error code means, in a sentence (empty for 0).
std::string codecErrorText(int code);
