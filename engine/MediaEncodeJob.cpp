#include "MediaEncodeJob.h"

#include "Failures.h"
#include "WMException.h"
#include "WmEncoderControl.h"

namespace cld::engine {

MediaEncodeJob::MediaEncodeJob(WmEncoderControl& encoder, int pollMilliseconds)
    : m_encoder(encoder), m_pollMs(pollMilliseconds) {}

JobEnd MediaEncodeJob::run(JobObserver& observer) {
    JobEnd end;
    end.count = 1;
    ItemEnd item;
    auto failed = [&](uint32_t code) {
        m_code = code;
        item.outcome = ItemOutcome::Failed;
        item.failure.worker = WorkerKind::WmaEncode;
        item.failure.code = static_cast<int>(code);
        item.failure.detail = code;
        item.failure.inputAtFault = isInputFailure(code);
        item.failure.what = m_failedAtStart             ? Failure::NotStarted
                            : item.failure.inputAtFault ? Failure::InputBroken
                                                        : Failure::WriteFailed;
        item.failure.reason = failureReason(code);
        item.failure.diskFull = isDiskFull(code);
        end.result = JobResult::Stopped;
    };
    if (cancelled()) {
        end.result = JobResult::Aborted;
        observer.finished(end);
        return end;
    }
    try {
        m_encoder.Start();
    } catch (const WMException& e) {
        m_failedAtStart = true;
        failed(e.GetCode());
        observer.itemEnded(item);
        observer.finished(end);
        return end;
    }
    observer.itemStarted(ItemStart{0, 1, {}, {}});
    while (m_encoder.GetRunState() == WmEncoderControl::kRunning && !cancelled()) {
        // The run's end or a stop is seen within a few milliseconds.
        observer.wait(m_pollMs, [this] {
            return cancelled() || m_encoder.GetRunState() != WmEncoderControl::kRunning;
        });
    }
    // Stopping a run that ended by itself only waits for its thread and keeps its last
    // figures; a running one closes its output after the block in progress.
    m_encoder.Stop();
    if (cancelled()) {
        // A failure as the run was stopped (a recording whose disk filled up) is kept for
        // the caller; the run still counts as stopped by the user.
        m_code = m_encoder.GetLastErrorCode();
        item.outcome = ItemOutcome::Stopped;
        end.result = JobResult::Aborted;
    } else if (const uint32_t code = m_encoder.GetLastErrorCode()) {
        failed(code);
    } else {
        end.converted = 1;
    }
    observer.itemEnded(item);
    observer.finished(end);
    return end;
}

} // namespace cld::engine
