#pragma once

#include "AudioEncoder.h"
#include "FileBatch.h"
#include "LoudnessMeter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace cld::engine {

// Converts any audio file the program reads (WAVE, FLAC, Ogg, Opus, AAC, MP3) into any
// encoder of the registry, one file at a time on a thread of its own. The output carries
// the input's own names unless setTags gives others. A stopped file is finished where it
// stopped (complete and shorter, under its name); a failed one leaves nothing.
//
// With loudness measuring on, each input is read twice: once to measure its loudness,
// whose ReplayGain values then go into the output's tags as the encoder writes them, and
// once to encode it.
//
// Error codes in ItemFailure::code: 101 the input, 102 the output, 103 the encoder.
class TranscodeWorker : public FileWorker {
public:
    TranscodeWorker(std::string encoderName, EncoderOptions options = {});
    ~TranscodeWorker() override;
    TranscodeWorker(const TranscodeWorker&) = delete;
    TranscodeWorker& operator=(const TranscodeWorker&) = delete;

    // The names the next files' outputs carry in place of their inputs' own.
    void setTags(const AudioTags& tags) { m_tags = tags; }
    // Gives the ID3 version 1 number of a genre's name (255 for none), for an input's own
    // names, which carry the genre by name only.
    void setGenreNumbers(std::function<int(const std::string& genre)> numberOf) {
        m_genreNumberOf = std::move(numberOf);
    }
    // Whether the next files' loudness is measured: their outputs carry the track's
    // ReplayGain values, and takeLoudness() hands the measure over once a file is done.
    void setMeasureLoudness(bool measure) { m_measure = measure; }
    // The extension of the encoder's files (with its dot); empty for an unknown encoder.
    std::string extension() const;

    bool begin(const std::string& input, const std::string& output, bool replaceExisting) override;
    bool isBusy() const override { return m_busy.load(); }
    void stop() override { m_stop.store(true); }
    ItemOutcome end(ItemFailure& failure) override;
    int position() const override { return m_position.load(); }
    bool hasCounters() const override { return true; }
    uint64_t bytesDone() const override { return m_bytes.load(); }
    uint64_t samplesDone() const override { return m_samples.load(); }
    std::unique_ptr<LoudnessMeter> takeLoudness() override;

private:
    void work(std::string input, std::string output, bool replaceExisting);
    void join();

    std::string m_encoderName;
    EncoderOptions m_options;
    std::optional<AudioTags> m_tags;
    std::function<int(const std::string&)> m_genreNumberOf;
    bool m_measure = false;
    std::thread m_thread;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_position{0};
    std::atomic<uint64_t> m_bytes{0};
    std::atomic<uint64_t> m_samples{0};
    // How the last file ended; written by the worker thread before m_busy clears.
    std::mutex m_lock;
    ItemOutcome m_outcome = ItemOutcome::NotStarted;
    ItemFailure m_failure;
    std::unique_ptr<LoudnessMeter> m_loudness; // of the last file converted
};

} // namespace cld::engine
