#include "CodecJob.h"
#include "MediaFixtures.h"
#include "Mp3EncodeJob.h"
#include "ParallelBatch.h"
#include "TempDir.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <set>

using cld::BatchOutcome;
using cld::ParallelBatch;
namespace fs = std::filesystem;

namespace {

// Holds the workers of chosen outputs at their start until released, and counts every
// worker that started.
class WorkerHold {
public:
    explicit WorkerHold(std::set<std::string> names) : m_names(std::move(names)) {
        CodecJob::SetWorkerHook([this](const CodecJob& job, CodecJob::WorkerPoint point) {
            if (point != CodecJob::WorkerPoint::Started)
                return;
            const std::string name = fs::path(job.GetOutput()).filename().string();
            std::unique_lock lock(m_lock);
            ++m_started;
            if (!m_names.count(name) && !m_names.count("*"))
                return;
            ++m_held;
            m_wake.notify_all();
            m_wake.wait(lock, [this] { return m_released; });
        });
    }
    ~WorkerHold() {
        release();
        CodecJob::SetWorkerHook(nullptr);
    }
    void release() {
        std::lock_guard lock(m_lock);
        m_released = true;
        m_wake.notify_all();
    }
    // Waits (bounded, for a hang only) until `count` workers are held.
    bool waitHeld(int count) {
        std::unique_lock lock(m_lock);
        return m_wake.wait_for(lock, std::chrono::seconds(cldtest::kHangLimitSeconds),
                               [&] { return m_held >= count; });
    }
    int started() {
        std::lock_guard lock(m_lock);
        return m_started;
    }

private:
    std::set<std::string> m_names;
    std::mutex m_lock;
    std::condition_variable m_wake;
    int m_held = 0;
    int m_started = 0;
    bool m_released = false;
};

// A real MP3 encoder as one place of the batch.
class EncoderSlot : public cld::BatchSlot {
public:
    EncoderSlot(const std::vector<fs::path>& inputs, const fs::path& folder)
        : m_inputs(inputs), m_folder(folder) {}
    bool begin(size_t item) override {
        m_stopped = false;
        m_job.SetInput(m_inputs[item].string());
        m_job.SetOutput((m_folder / (m_inputs[item].stem().string() + ".mp3")).string());
        return m_job.Start();
    }
    bool isBusy() const override { return m_job.IsRunning(); }
    void stop() override {
        m_stopped = true;
        m_job.RequestAbort();
    }
    BatchOutcome end(size_t) override {
        if (m_job.GetErrorCode() != 0)
            return BatchOutcome::Failed;
        return m_stopped && m_job.GetProgress() < 100 ? BatchOutcome::Stopped
                                                      : BatchOutcome::Converted;
    }

private:
    const std::vector<fs::path>& m_inputs;
    fs::path m_folder;
    Mp3EncodeJob m_job;
    bool m_stopped = false;
};

class Parallel : public ::testing::Test {
protected:
    fs::path wav(const std::string& name, double seconds) {
        const fs::path p = dir.path() / (name + ".wav");
        codectest::writeWav(p, codectest::makeSignal(static_cast<int>(seconds * 44100), 44100, 2),
                            44100, 2);
        inputs.push_back(p);
        return p;
    }
    void broken(const std::string& name) {
        const fs::path p = dir.path() / (name + ".wav");
        codectest::writeFile(p, std::vector<uint8_t>(3000, 0x5A));
        inputs.push_back(p);
    }
    ParallelBatch& batchOf(size_t width) {
        for (size_t i = 0; i < width; ++i)
            places.push_back(std::make_unique<EncoderSlot>(inputs, dir.path()));
        std::vector<cld::BatchSlot*> raw;
        for (const auto& p : places)
            raw.push_back(p.get());
        batch = std::make_unique<ParallelBatch>(inputs.size(), raw);
        return *batch;
    }
    // Polls until the batch has finished, taking the ends in the order they come.
    std::vector<size_t> drain() {
        std::vector<size_t> taken;
        const bool ended = codectest::waitWhile([&] {
            batch->poll();
            while (const auto item = batch->takeNext())
                taken.push_back(*item);
            return !batch->isFinished();
        });
        EXPECT_TRUE(ended) << "the batch hangs";
        return taken;
    }
    bool isMp3(const std::string& name) {
        const auto probe = codectest::probe(dir.path() / name);
        const auto it = probe.find("stream.codec_name");
        return it != probe.end() && it->second == "mp3";
    }

    cldtest::TempDir dir;
    std::vector<fs::path> inputs;
    std::vector<std::unique_ptr<EncoderSlot>> places;
    std::unique_ptr<ParallelBatch> batch;
};

} // namespace

// A later file that finishes first is held back until the files before it have ended,
// so that the batch reads as one file after another; every file is converted.
TEST_F(Parallel, EndsComeBackInInputOrderWhenALaterFileFinishesFirst) {
    wav("a", 2.0);
    wav("b", 0.2);
    wav("c", 0.2);
    WorkerHold hold({"a.mp3"});
    ParallelBatch& b = batchOf(2);
    b.poll();
    ASSERT_TRUE(hold.waitHeld(1));
    EXPECT_EQ(b.running(), (std::vector<size_t>{0, 1}));
    // b and c end while a is held; neither is handed back before a.
    ASSERT_TRUE(codectest::waitWhile([&] {
        b.poll();
        return b.outcomeOf(2) != BatchOutcome::Converted;
    }));
    EXPECT_EQ(b.outcomeOf(1), BatchOutcome::Converted);
    EXPECT_FALSE(b.takeNext().has_value());
    EXPECT_EQ(b.running(), std::vector<size_t>{0});
    EXPECT_FALSE(b.isFinished());
    hold.release();
    EXPECT_EQ(drain(), (std::vector<size_t>{0, 1, 2}));
    for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
        EXPECT_TRUE(isMp3(name)) << name;
    EXPECT_EQ(b.takenCount(), 3u);
}

// A file that fails holds every new start until it has been taken (the caller may ask
// whether to go on); then the batch goes on with the rest.
TEST_F(Parallel, AFailureHoldsNewStartsUntilItIsTaken) {
    wav("a", 1.0);
    broken("b");
    wav("c", 0.2);
    wav("d", 0.2);
    WorkerHold hold({"a.mp3"});
    ParallelBatch& b = batchOf(3);
    b.poll();
    ASSERT_TRUE(hold.waitHeld(1));
    EXPECT_EQ(b.outcomeOf(1), BatchOutcome::Failed);
    EXPECT_EQ(b.outcomeOf(2), BatchOutcome::Waiting) << "started while a failure waits";
    EXPECT_EQ(b.running(), std::vector<size_t>{0});
    b.poll();
    EXPECT_EQ(b.outcomeOf(2), BatchOutcome::Waiting);
    EXPECT_FALSE(b.takeNext().has_value());
    hold.release();
    EXPECT_EQ(drain(), (std::vector<size_t>{0, 1, 2, 3}));
    EXPECT_EQ(b.outcomeOf(1), BatchOutcome::Failed);
    for (const char* name : {"a.mp3", "c.mp3", "d.mp3"})
        EXPECT_TRUE(isMp3(name)) << name;
    EXPECT_FALSE(fs::exists(dir.path() / "b.mp3"));
    EXPECT_EQ(hold.started(), 3); // the broken file never reached a worker
}

// stop() ends the running jobs at their next block and nothing else starts.
TEST_F(Parallel, StopEndsTheRunningJobsAndStartsNothingMore) {
    for (const char* name : {"a", "b", "c", "d", "e"})
        wav(name, 3.0);
    WorkerHold hold({"*"});
    ParallelBatch& b = batchOf(2);
    b.poll();
    ASSERT_TRUE(hold.waitHeld(2));
    b.stop();
    hold.release();
    EXPECT_EQ(drain(), (std::vector<size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(hold.started(), 2);
    EXPECT_EQ(b.outcomeOf(0), BatchOutcome::Stopped);
    EXPECT_EQ(b.outcomeOf(1), BatchOutcome::Stopped);
    for (size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(b.outcomeOf(i), BatchOutcome::NotStarted) << i;
        EXPECT_FALSE(fs::exists(dir.path() / (inputs[i].stem().string() + ".mp3"))) << i;
    }
}

// More places than files, and a batch without files, end at once and cleanly.
TEST_F(Parallel, WiderThanTheBatchOrEmpty) {
    wav("only", 0.2);
    const ParallelBatch& b = batchOf(4);
    EXPECT_EQ(drain(), std::vector<size_t>{0});
    EXPECT_EQ(b.outcomeOf(0), BatchOutcome::Converted);
    EXPECT_TRUE(isMp3("only.mp3"));
    ParallelBatch empty(0, {});
    empty.poll();
    EXPECT_TRUE(empty.isFinished());
    EXPECT_FALSE(empty.takeNext().has_value());
}
