#pragma once

#include "FileBatch.h"
#include "OutputLock.h"

#include <functional>
#include <memory>
#include <string>

// A worker place that holds the lock of its output's name while it writes it, so that
// two calderine processes never write the same output at once. An output another process
// is writing, or (with skipExisting) one that is complete when its lock is taken, is not
// written again: the item ends at once and `settled` says how.
namespace cld::cli {

class LockedOutputWorker : public engine::FileWorker {
public:
    // Called with the input and "exists" (complete already) or "elsewhere" (another
    // process is writing it); called on the batch's thread.
    using Settled = std::function<void(const std::string& input, const std::string& status)>;

    LockedOutputWorker(std::unique_ptr<engine::FileWorker> inner, bool skipExisting,
                       Settled settled);

    bool begin(const std::string& input, const std::string& output, bool replaceExisting) override;
    bool isBusy() const override;
    void stop() override;
    engine::ItemOutcome end(engine::ItemFailure& failure) override;
    int position() const override;
    int upper() const override;
    bool hasCounters() const override;
    uint64_t bytesDone() const override;
    uint64_t samplesDone() const override;
    std::unique_ptr<LoudnessMeter> takeLoudness() override;

private:
    std::unique_ptr<engine::FileWorker> m_inner;
    bool m_skipExisting;
    Settled m_settled;
    OutputLock m_lock;
    bool m_settledItem = false;
    bool m_heldElsewhere = false;
    std::string m_output;
};

} // namespace cld::cli
