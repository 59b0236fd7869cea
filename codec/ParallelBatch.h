#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace cld {

// How one item of a batch ended.
enum class BatchOutcome {
    Waiting,    // not started yet
    Running,    // its job runs
    Converted,  // its job ran to the end
    Failed,     // its job did not start or failed
    Stopped,    // its job was stopped before its end
    NotStarted, // the batch was stopped before its turn
};

// One worker place of a parallel batch: a job object that converts one item at a time.
// All calls come from the thread that polls the batch.
class BatchSlot {
public:
    virtual ~BatchSlot() = default;
    // Starts the job on `item` and returns at once; false when it did not start.
    virtual bool begin(size_t item) = 0;
    virtual bool isBusy() const = 0;
    // Asks the running job to stop after its current block; returns at once.
    virtual void stop() = 0;
    // Called once when the job of `item` has ended (or did not start), before the slot
    // takes another item: keeps what the report of `item` needs and says how it ended
    // (Converted, Failed or Stopped).
    virtual BatchOutcome end(size_t item) = 0;
};

// Runs the items 0..count-1 of a batch on a few slots at once, starting them in input
// order, and hands their ends back in input order, so that messages and lists read as
// if the items had been converted one after another. Driven by polling from one thread
// (the dialog's batch loop); the jobs do their work on their own threads.
//
// While a failure has not been taken yet, nothing new starts: the caller may ask the
// user whether to go on, and an answer "no" should find as little work as possible begun
// after the failed item.
class ParallelBatch {
public:
    // `slots` stay owned by the caller and must outlive the batch.
    ParallelBatch(size_t count, std::vector<BatchSlot*> slots);

    // Notes the jobs that ended and starts waiting items on free slots.
    void poll();
    // Stops every running job; nothing more starts. poll() notes their ends.
    void stop();
    bool isStopped() const { return m_stopped; }
    // Nothing runs and nothing more will start.
    bool isFinished() const;
    // Whether a running job has ended since the last poll() (a reason to poll now).
    bool hasEnded() const;

    // The next item in input order whose end is known, each item once; none while the
    // first item not taken yet still waits or runs.
    std::optional<size_t> takeNext();
    BatchOutcome outcomeOf(size_t item) const { return m_outcomes[item]; }
    size_t count() const { return m_outcomes.size(); }
    size_t takenCount() const { return m_taken; }
    // The running items in the order they started (which is input order).
    std::vector<size_t> running() const;
    // The slot working on `item`, or none.
    BatchSlot* slotOf(size_t item) const;

private:
    bool failureWaiting() const;

    std::vector<BatchSlot*> m_slots;
    std::vector<std::optional<size_t>> m_slotItem; // what each slot works on
    std::vector<BatchOutcome> m_outcomes;
    size_t m_next = 0;  // first item not started
    size_t m_taken = 0; // items handed back by takeNext()
    bool m_stopped = false;
};

} // namespace cld
