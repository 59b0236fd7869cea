#pragma once

#include "Job.h"
#include "LoudnessMeter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace cld::engine {

// One worker place of a file batch: an encoder or a decoder converting one file at a time
// on a thread of its own. Every call comes from the thread that runs the batch; each one
// returns at once.
class FileWorker {
public:
    virtual ~FileWorker() = default;
    // Starts converting `input` into `output`; false when it did not start (end() then
    // says why). `replaceExisting` allows replacing a regular file at `output`.
    virtual bool begin(const std::string& input, const std::string& output,
                       bool replaceExisting) = 0;
    virtual bool isBusy() const = 0;
    // Asks the running conversion to stop after its current block.
    virtual void stop() = 0;
    // How the last file ended, once the worker is no longer busy: Converted, Failed (with
    // `failure` filled) or Stopped (cut short by stop()).
    virtual ItemOutcome end(ItemFailure& failure) = 0;
    // Where the file in work stands within its own range.
    virtual int position() const = 0;
    virtual int upper() const { return 100; }
    // Counters of the audio handled (bytes of PCM and sample frames), when the worker
    // keeps them; what the file in work has handled so far, or the last file's totals once
    // it ended.
    virtual bool hasCounters() const { return false; }
    virtual uint64_t bytesDone() const { return 0; }
    virtual uint64_t samplesDone() const { return 0; }
    // The loudness of the last file converted, when the worker measured it; the caller
    // owns it from then on (a second call gives null).
    virtual std::unique_ptr<LoudnessMeter> takeLoudness() { return nullptr; }
};

using WorkerFactory = std::function<std::unique_ptr<FileWorker>()>;

struct FileBatchSpec {
    std::vector<std::string> inputs;
    // Where each input goes: one output per input. Empty: the input's title plus
    // `extension` in `outputFolder`, made distinct within the batch.
    std::vector<std::string> outputs;
    std::string outputFolder;
    std::string extension; // with its dot
    // A batch asks once about outputs whose names are taken and offers to skip a failed
    // file; a single file (false) goes to its one output without a question, as its
    // settings asked before.
    bool batch = true;
    // Decided beforehand (a command-line option): replace taken names without asking.
    bool replaceExisting = false;
    // Whether to ask about taken names at all (false: the batch keeps both, numbering the
    // new outputs, unless replaceExisting).
    bool askAboutTakenNames = true;
    // Whether a failed file may be skipped (asked about); false stops at the first failure.
    bool askToSkip = true;
    // How many files convert at once (at least 1).
    int width = 1;
    // The longest wait between two looks at the workers, in milliseconds.
    int pollMilliseconds = 1000;
    // Album mode: the outputs of one folder are one album. Once every file of a folder has
    // ended, converted or skipped after a failure, the album's loudness goes into each
    // converted file (the workers measure each file's loudness). A folder cut short by a
    // stop gets no album values.
    bool albumGain = false;
};

// Converts a list of files on `width` workers in input order, reports their ends in input
// order, asks whether to skip a failed file (stopping on "Stop" and on a full disk) and
// stops every worker on cancel(). Outputs are never left cut short under their names:
// files cut by cancel() are kept as NAME.part, those cut by a stop after a failure removed.
class FileBatch : public Job {
public:
    FileBatch(FileBatchSpec setup, WorkerFactory makeWorker);
    JobEnd run(JobObserver& observer) override;
    // The user's stop, from any thread: as cancel(), and besides the files in work stop
    // now and no file starts after this returns.
    void abort();
    // After run() in album mode: the files the album's values could not be added to (they
    // keep their track values).
    const std::vector<std::string>& albumGainFailed() const { return m_albumGainFailed; }

private:
    FileBatchSpec m_spec;
    WorkerFactory m_makeWorker;
    std::vector<std::string> m_albumGainFailed;
    // The batch's workers while run() has them; held while the batch starts files, so
    // that abort() meets no file half started.
    std::mutex m_stepLock;
    std::vector<FileWorker*> m_live;
};

} // namespace cld::engine
