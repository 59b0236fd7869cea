#include "LockedOutputWorker.h"

#include "InputFiles.h"
#include "LoudnessMeter.h"

namespace cld::cli {

LockedOutputWorker::LockedOutputWorker(std::unique_ptr<engine::FileWorker> inner, bool skipExisting,
                                       Settled settled)
    : m_inner(std::move(inner)), m_skipExisting(skipExisting), m_settled(std::move(settled)) {}

bool LockedOutputWorker::begin(const std::string& input, const std::string& output,
                               bool replaceExisting) {
    m_settledItem = false;
    m_heldElsewhere = false;
    m_output = output;
    switch (m_lock.tryLock(output)) {
    case OutputLock::Result::HeldByOther:
        // Another process writes this output now.
        if (!m_skipExisting) {
            m_heldElsewhere = true;
            return false;
        }
        m_settledItem = true;
        m_settled(input, "elsewhere");
        return true;
    case OutputLock::Result::Locked:
        // Another process may have completed it since the batch was planned.
        if (m_skipExisting && outputComplete(input, output)) {
            m_lock.release();
            m_settledItem = true;
            m_settled(input, "exists");
            return true;
        }
        break;
    case OutputLock::Result::Failed:
        // No lock file in that folder: the output itself says what is wrong there.
        break;
    }
    if (!m_inner->begin(input, output, replaceExisting)) {
        m_lock.release();
        return false;
    }
    return true;
}

bool LockedOutputWorker::isBusy() const {
    return !m_settledItem && m_inner->isBusy();
}

void LockedOutputWorker::stop() {
    if (!m_settledItem)
        m_inner->stop();
}

engine::ItemOutcome LockedOutputWorker::end(engine::ItemFailure& failure) {
    if (m_settledItem)
        return engine::ItemOutcome::Converted;
    if (m_heldElsewhere) {
        m_heldElsewhere = false;
        failure = {};
        failure.what = engine::Failure::OutputNotCreated;
        failure.inputAtFault = false;
        failure.file = m_output;
        failure.reason = "another calderine process is writing it";
        return engine::ItemOutcome::Failed;
    }
    const engine::ItemOutcome outcome = m_inner->end(failure);
    m_lock.release();
    return outcome;
}

int LockedOutputWorker::position() const {
    return m_settledItem ? m_inner->upper() : m_inner->position();
}
int LockedOutputWorker::upper() const {
    return m_inner->upper();
}
bool LockedOutputWorker::hasCounters() const {
    return m_inner->hasCounters();
}
uint64_t LockedOutputWorker::bytesDone() const {
    return m_settledItem ? 0 : m_inner->bytesDone();
}
uint64_t LockedOutputWorker::samplesDone() const {
    return m_settledItem ? 0 : m_inner->samplesDone();
}

std::unique_ptr<LoudnessMeter> LockedOutputWorker::takeLoudness() {
    return m_settledItem ? nullptr : m_inner->takeLoudness();
}

} // namespace cld::cli
