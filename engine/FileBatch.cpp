#include "FileBatch.h"

#include "AlbumGain.h"
#include "ConvertPaths.h"
#include "LoudnessMeter.h"
#include "OutputPlan.h"
#include "ParallelBatch.h"
#include "SafeFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

namespace cld::engine {

namespace {

uint64_t sizeOf(const std::string& path) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the batch keeps of one item.
struct Item {
    ItemEnd end;
    uint64_t weight = 1; // its share of the batch's audio: the input's size
    uint64_t bytesDone = 0;
    uint64_t samplesDone = 0;
    size_t worker = 0;
    Clock::time_point started;
    bool settled = false;
    std::unique_ptr<LoudnessMeter> loudness; // in album mode, once converted
};

// The files of one output folder in album mode.
struct Album {
    size_t left = 0;  // items of the folder not yet ended
    bool cut = false; // an item of the folder ended without its file: no album values
    AlbumGain gain;
};

// One worker place as the scheduler drives it.
class Slot : public BatchSlot {
public:
    Slot(FileWorker& worker, std::vector<Item>& items, size_t index, JobObserver& observer,
         const bool& replaceExisting, size_t count)
        : m_worker(worker), m_items(items), m_index(index), m_observer(observer),
          m_replace(replaceExisting), m_count(count) {}

    bool begin(size_t item) override {
        Item& it = m_items[item];
        it.worker = m_index;
        it.started = Clock::now();
        m_observer.itemStarted(ItemStart{item, m_count, it.end.input, it.end.output});
        return m_worker.begin(it.end.input, it.end.output, m_replace);
    }
    bool isBusy() const override { return m_worker.isBusy(); }
    void stop() override { m_worker.stop(); }
    BatchOutcome end(size_t item) override {
        Item& it = m_items[item];
        const ItemOutcome o = m_worker.end(it.end.failure);
        if (m_worker.hasCounters()) {
            it.bytesDone = m_worker.bytesDone();
            it.samplesDone = m_worker.samplesDone();
        }
        switch (o) {
        case ItemOutcome::Converted:
            it.loudness = m_worker.takeLoudness();
            return BatchOutcome::Converted;
        case ItemOutcome::Stopped:
            return BatchOutcome::Stopped;
        case ItemOutcome::NotStarted:
            return BatchOutcome::NotStarted;
        default:
            return BatchOutcome::Failed;
        }
    }
    FileWorker& worker() const { return m_worker; }

private:
    FileWorker& m_worker;
    std::vector<Item>& m_items;
    size_t m_index;
    JobObserver& m_observer;
    const bool& m_replace;
    size_t m_count;
};

} // namespace

FileBatch::FileBatch(FileBatchSpec setup, WorkerFactory makeWorker)
    : m_spec(std::move(setup)), m_makeWorker(std::move(makeWorker)) {}

void FileBatch::abort() {
    std::lock_guard<std::mutex> hold(m_stepLock);
    cancel();
    for (FileWorker* worker : m_live)
        if (worker->isBusy())
            worker->stop();
}

JobEnd FileBatch::run(JobObserver& observer) {
    JobEnd result;
    const size_t count = m_spec.inputs.size();
    result.count = count;
    if (count == 0) {
        result.result = JobResult::NothingToDo;
        observer.finished(result);
        return result;
    }
    // A single file goes to the output chosen for it (its settings asked before a file
    // there is replaced); a batch names its outputs, and asks once, before anything runs,
    // when some of those names are taken.
    std::vector<std::string> outputs = m_spec.outputs;
    if (outputs.size() != count)
        outputs = batchOutputNames(m_spec.inputs, m_spec.outputFolder, m_spec.extension);
    bool replace = m_spec.replaceExisting || !m_spec.batch;
    if (m_spec.batch) {
        OutputPlan plan = makeOutputPlan(outputs, {});
        plan.replaceExisting = m_spec.replaceExisting;
        if (!m_spec.askAboutTakenNames && !plan.replaceExisting)
            plan.keepBoth();
        else if (!settleTakenNames(plan, observer)) {
            result.result = JobResult::Cancelled;
            observer.finished(result);
            return result;
        }
        outputs = plan.tracks;
        replace = plan.replaceExisting;
    }

    std::vector<Item> items(count);
    uint64_t totalWeight = 0;
    std::map<std::string, Album> albums; // by output folder, in album mode
    const auto folderOf = [](const std::string& output) {
        return std::filesystem::path(output).parent_path().string();
    };
    for (size_t i = 0; i < count; ++i) {
        items[i].end.index = i;
        items[i].end.input = m_spec.inputs[i];
        items[i].end.output = outputs[i];
        items[i].weight = std::max<uint64_t>(sizeOf(m_spec.inputs[i]), 1);
        totalWeight += items[i].weight;
        if (m_spec.albumGain)
            ++albums[folderOf(outputs[i])].left;
    }
    m_albumGainFailed.clear();
    // Once the last file of a folder has ended, the folder's album gets its values.
    const auto albumEnded = [&](Item& it) {
        if (!m_spec.albumGain)
            return;
        Album& album = albums[folderOf(it.end.output)];
        if (it.end.outcome == ItemOutcome::Converted)
            album.gain.add(it.end.output, std::move(it.loudness));
        else if (it.end.outcome != ItemOutcome::Skipped)
            album.cut = true;
        if (--album.left == 0 && !album.cut && !album.gain.empty()) {
            std::vector<std::string> failed = album.gain.write();
            m_albumGainFailed.insert(m_albumGainFailed.end(), failed.begin(), failed.end());
        }
    };
    const size_t width =
        std::clamp<size_t>(static_cast<size_t>(std::max(m_spec.width, 1)), 1, count);
    std::vector<std::unique_ptr<FileWorker>> workers;
    std::vector<std::unique_ptr<Slot>> slots;
    std::vector<BatchSlot*> places;
    for (size_t w = 0; w < width; ++w) {
        std::unique_ptr<FileWorker> worker = m_makeWorker();
        if (!worker)
            break;
        slots.push_back(std::make_unique<Slot>(*worker, items, w, observer, replace, count));
        places.push_back(slots.back().get());
        workers.push_back(std::move(worker));
    }
    if (workers.empty()) {
        result.result = JobResult::Stopped;
        result.notConverted = m_spec.inputs;
        observer.finished(result);
        return result;
    }
    {
        std::lock_guard<std::mutex> hold(m_stepLock);
        for (const auto& worker : workers)
            m_live.push_back(worker.get());
    }
    // abort() no longer reaches the workers once run() lets go of them.
    struct Release {
        FileBatch& batch;
        ~Release() {
            std::lock_guard<std::mutex> hold(batch.m_stepLock);
            batch.m_live.clear();
        }
    } release{*this};
    const bool counters = workers.front()->hasCounters();
    ParallelBatch batch(count, places);
    const Clock::time_point started = Clock::now();
    size_t firstUnsettled = 0;
    bool stoppedAfterFailure = false;
    bool aborted = false;
    double lastShare = 0;

    auto sendProgress = [&] {
        Progress p;
        p.count = count;
        p.counters = counters;
        p.seconds = secondsSince(started);
        double done = 0;
        for (size_t i = 0; i < count; ++i) {
            const BatchOutcome o = batch.outcomeOf(i);
            const bool past = o == BatchOutcome::Converted ||
                              (o == BatchOutcome::Failed && i < batch.takenCount());
            if (past) {
                done += static_cast<double>(items[i].weight);
                ++p.itemsDone;
            }
            if (o == BatchOutcome::Converted)
                p.outputBytes += items[i].end.outputBytes;
            if (o == BatchOutcome::Converted || o == BatchOutcome::Failed ||
                o == BatchOutcome::Stopped) {
                p.audioBytesDone += items[i].bytesDone;
                p.samplesDone += items[i].samplesDone;
            }
        }
        p.running = batch.running();
        for (size_t i : p.running) {
            const FileWorker& worker = *workers[items[i].worker];
            const int upper = std::max(worker.upper(), 1);
            const int pos = std::clamp(worker.position(), 0, upper);
            done += static_cast<double>(items[i].weight) * pos / upper;
            // A worker that has given its file its name but not yet ended.
            p.outputBytes += sizeOf(items[i].end.output);
            if (worker.hasCounters()) {
                p.audioBytesDone += worker.bytesDone();
                p.samplesDone += worker.samplesDone();
            }
        }
        if (!p.running.empty()) {
            const Item& first = items[p.running.front()];
            const FileWorker& worker = *workers[first.worker];
            p.firstWorker = first.worker;
            p.itemUpper = worker.upper();
            p.itemPosition = worker.position();
            p.itemSeconds = secondsSince(first.started);
            // The other outputs in work are the temporary files in the output folder,
            // until each takes its name.
            p.outputBytes += files::temporaryBytesIn(
                std::filesystem::path(first.end.output).parent_path().string());
        }
        // Files cut short by a stop no longer count: the share stays where the batch was.
        p.share = std::max(lastShare, totalWeight > 0
                                          ? std::min(1.0, done / static_cast<double>(totalWeight))
                                          : 0.0);
        lastShare = p.share;
        if (p.share > 0 && p.share < 1 && p.seconds > 0.5)
            p.remaining = p.seconds * (1 - p.share) / p.share;
        else if (p.share >= 1)
            p.remaining = 0;
        observer.progress(p);
    };

    for (;;) {
        {
            std::lock_guard<std::mutex> hold(m_stepLock);
            if (cancelled() && !batch.isStopped()) {
                aborted = true;
                batch.stop();
            }
            batch.poll();
        }
        // Files cut short are never left under their final names: kept aside on the
        // user's stop, removed after a stop for a failure.
        for (size_t i = firstUnsettled; i < count; ++i) {
            const BatchOutcome o = batch.outcomeOf(i);
            if (o == BatchOutcome::Waiting)
                break;
            Item& it = items[i];
            if (it.settled || o == BatchOutcome::Running)
                continue;
            it.settled = true;
            if (o == BatchOutcome::Converted)
                it.end.outputBytes = sizeOf(it.end.output);
            if (o != BatchOutcome::Stopped || it.end.output.empty())
                continue;
            if (stoppedAfterFailure && !aborted) {
                std::remove(it.end.output.c_str());
            } else if (std::string kept = keepAsPartial(it.end.output); !kept.empty()) {
                it.end.keptAs = kept;
                result.keptPartials.push_back(std::move(kept));
            }
        }
        while (firstUnsettled < count && items[firstUnsettled].settled)
            ++firstUnsettled;
        while (const std::optional<size_t> next = batch.takeNext()) {
            Item& it = items[*next];
            switch (batch.outcomeOf(*next)) {
            case BatchOutcome::Converted:
                it.end.outcome = ItemOutcome::Converted;
                ++result.converted;
                break;
            case BatchOutcome::Failed:
                it.end.outcome = ItemOutcome::Failed;
                if (!aborted && !stoppedAfterFailure) {
                    // Every later file would fail for want of room as well: say so and
                    // stop. A single file has nothing to skip to.
                    Question q;
                    q.kind = QuestionKind::SkipFailed;
                    q.canSkip = m_spec.batch && m_spec.askToSkip && !it.end.failure.diskFull;
                    q.failed = it.end;
                    it.end.asked = true;
                    const Answer answer = observer.ask(q);
                    if (q.canSkip && answer == Answer::Skip && !cancelled()) {
                        it.end.outcome = ItemOutcome::Skipped;
                        result.skipped.push_back(it.end.input);
                    } else {
                        aborted = aborted || cancelled();
                        stoppedAfterFailure = !aborted;
                        batch.stop();
                    }
                }
                break;
            case BatchOutcome::Stopped:
                it.end.outcome = ItemOutcome::Stopped;
                break;
            default:
                it.end.outcome = ItemOutcome::NotStarted;
                break;
            }
            observer.itemEnded(it.end);
            albumEnded(it);
        }
        sendProgress();
        if (batch.isFinished())
            break;
        if (cancelled())
            // The workers close their files after the block in progress.
            observer.wait(10, {});
        else
            observer.wait(m_spec.pollMilliseconds,
                          [this, &batch] { return batch.hasEnded() || cancelled(); });
    }
    // Items the batch never reached end as not started (their ends were never taken).
    for (size_t i = batch.takenCount(); i < count; ++i) {
        if (batch.outcomeOf(i) == BatchOutcome::NotStarted ||
            batch.outcomeOf(i) == BatchOutcome::Waiting) {
            items[i].end.outcome = ItemOutcome::NotStarted;
            observer.itemEnded(items[i].end);
        }
    }
    if (aborted || cancelled()) {
        result.result = JobResult::Aborted;
    } else if (stoppedAfterFailure) {
        result.result = JobResult::Stopped;
        for (size_t i = 0; i < count; ++i)
            if (batch.outcomeOf(i) != BatchOutcome::Converted &&
                std::find(result.skipped.begin(), result.skipped.end(), m_spec.inputs[i]) ==
                    result.skipped.end())
                result.notConverted.push_back(m_spec.inputs[i]);
    } else {
        result.result = JobResult::Completed;
    }
    observer.finished(result);
    return result;
}

} // namespace cld::engine
