#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The engine's contract between a job and whoever runs it (a dialog, the command line, a
// test). A job never creates a window and never builds a sentence: it reports what
// happens as typed events and asks its questions through the observer, and each front
// end turns them into its own words.
namespace cld::engine {

// Why an item failed.
enum class Failure {
    None,
    InputUnreadable,  // the input could not be opened or is not audio the job reads
    InputBroken,      // the input failed part of the way through
    OutputNotCreated, // the output could not be created (a name taken, a folder refused)
    WriteFailed,      // writing the output failed part of the way (a full disk, say)
    EncoderRefused,   // the encoder refused the settings or failed
    NotStarted,       // the worker could not start
    ReadFailed,       // the disc could not be read
    NoRipper,         // no ripper library, or no drive
    NameTaken,        // the output's name is taken by something the job may not replace
};

// Which kind of worker failed: the front end maps its error code to its own message.
enum class WorkerKind { Mp3Encode, Mp3Decode, WmaEncode, WmaDecode, Encoder, CdRead };

struct ItemFailure {
    Failure what = Failure::None;
    WorkerKind worker = WorkerKind::Encoder;
    int code = 0;             // the worker's own error code
    uint32_t detail = 0;      // the system's or media layer's failure code behind it
    bool inputAtFault = true; // the input (else the output) is the file at fault
    bool wroteOutput = false; // output had been written before the failure
    bool diskFull = false;    // every later item would fail the same way
    std::string file;         // the file at fault
    std::string reason;       // the system's text for `detail`; empty when none
};

// How one item ended.
enum class ItemOutcome {
    Converted,  // its output is complete under its name
    Failed,     // it failed and the job stopped (or there was nothing to skip to)
    Skipped,    // it failed and the user chose to go on
    Stopped,    // cut short by the user's stop or by a stop after another failure
    NotStarted, // the job ended before its turn
};

struct ItemStart {
    size_t index = 0;
    size_t count = 0;
    std::string input;
    std::string output;
};

struct ItemEnd {
    size_t index = 0;
    std::string input;
    std::string output;
    ItemOutcome outcome = ItemOutcome::Converted;
    ItemFailure failure;
    // Whether the observer was asked about this failure (it has seen it then).
    bool asked = false;
    // A cut output kept aside under this name ("NAME.part"); empty when none.
    std::string keptAs;
    uint64_t outputBytes = 0;
};

// The figures of a running job, sent a few times a second.
struct Progress {
    // The items in work, in input order; the first one's worker place, its position
    // within its own range and how long it has been in work.
    std::vector<size_t> running;
    size_t firstWorker = 0;
    int itemPosition = 0;
    int itemUpper = 100;
    double itemSeconds = 0;
    size_t itemsDone = 0; // items the job is past
    size_t count = 0;
    double share = 0;      // of the whole job's work, 0..1
    double seconds = 0;    // since the job started
    double remaining = -1; // estimated seconds left; negative when unknown
    uint64_t outputBytes = 0;
    uint64_t audioBytesDone = 0; // audio handled by the workers
    uint64_t samplesDone = 0;
    bool counters = false; // whether the workers keep the two counters above
};

// How a job ended.
enum class JobResult {
    Completed,   // every item had its turn
    Aborted,     // the user's stop
    Stopped,     // stopped after a failure (the user's answer, or a full disk)
    Cancelled,   // nothing started: the user cancelled a question before the first item
    NothingToDo, // no input
};

struct JobEnd {
    JobResult result = JobResult::Completed;
    size_t count = 0;
    size_t converted = 0;
    std::vector<std::string> skipped;      // inputs skipped after a failure
    std::vector<std::string> notConverted; // inputs of a stopped job neither converted nor skipped
    std::vector<std::string> keptPartials; // cut outputs kept as NAME.part
};

// Questions a job asks, and the answers it understands.
enum class QuestionKind {
    TakenNames, // some outputs' names are taken: Replace, KeepBoth or Cancel
    SkipFailed, // an item failed: Skip (go on) or Stop
};
enum class Answer { Replace, KeepBoth, Cancel, Skip, Stop };

struct Question {
    QuestionKind kind = QuestionKind::SkipFailed;
    // TakenNames: the names in the way, and how many outputs there are in all.
    std::vector<std::string> taken;
    size_t outputs = 0;
    // SkipFailed: the item that failed, and whether the job can go on without it (when it
    // cannot, the question is only a notice and its answer is not used).
    ItemEnd failed;
    bool canSkip = true;
};

// What a front end implements. All calls come from the thread that runs the job.
class JobObserver {
public:
    virtual ~JobObserver() = default;
    virtual void itemStarted(const ItemStart&) {}
    virtual void progress(const Progress&) {}
    virtual void itemEnded(const ItemEnd&) {}
    virtual void finished(const JobEnd&) {}
    virtual Answer ask(const Question& question) = 0;
    // Waits at most `milliseconds`, ending early once `ready` holds. A front end with an
    // event loop keeps its events flowing here; the default sleeps in short steps.
    virtual void wait(int milliseconds, const std::function<bool()>& ready);
};

// A job: run() does the whole work on the calling thread and returns how it ended;
// cancel() may come from any thread and makes the job stop as soon as it safely can.
class Job {
public:
    virtual ~Job() = default;
    virtual JobEnd run(JobObserver& observer) = 0;
    void cancel() { m_cancel.store(true); }
    bool cancelled() const { return m_cancel.load(); }

private:
    std::atomic<bool> m_cancel{false};
};

} // namespace cld::engine
