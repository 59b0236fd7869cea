#pragma once

#include "FileBatch.h"
#include "Mp3EncoderParams.h"

#include <functional>
#include <memory>
#include <string>

class CodecJob;
class Mp3DecodeJob;
class Mp3EncodeJob;
class WmaDecodeJob;
class WmaEncodeJob;

// The workers of the MP3 and WMA file batches: each drives one job object of the media
// layer through one file after another.
namespace cld::engine {

// How the MP3 encoder of a batch is set up for every file.
struct Mp3EncodeSettings {
    Mp3EncoderParams params;
    bool id3v2 = true;
    bool replayGain = false;
    // Converted files carry their input's own names; a genre's ID3 version 1 number comes
    // from this (255 when it knows none; no function: 255).
    std::function<int(const std::string& genre)> genreNumberOf;
};

// A worker over a job that runs on its own thread and keeps the codec jobs' counters.
class CodecFileWorker : public FileWorker {
public:
    bool isBusy() const override;
    ItemOutcome end(ItemFailure& failure) override;
    int position() const override;
    bool hasCounters() const override { return true; }
    uint64_t bytesDone() const override;
    uint64_t samplesDone() const override;
    virtual CodecJob& job() const = 0;

protected:
    explicit CodecFileWorker(WorkerKind kind) : m_kind(kind) {}
    WorkerKind m_kind;
    bool m_stopRequested = false;
};

class Mp3EncodeWorker : public CodecFileWorker {
public:
    explicit Mp3EncodeWorker(Mp3EncodeSettings settings);
    ~Mp3EncodeWorker() override;
    bool begin(const std::string& input, const std::string& output, bool replaceExisting) override;
    void stop() override;
    CodecJob& job() const override;
    std::unique_ptr<LoudnessMeter> takeLoudness() override;
    Mp3EncodeJob& encoder() const { return *m_job; }

private:
    Mp3EncodeSettings m_settings;
    std::unique_ptr<Mp3EncodeJob> m_job;
};

class Mp3DecodeWorker : public CodecFileWorker {
public:
    Mp3DecodeWorker();
    ~Mp3DecodeWorker() override;
    bool begin(const std::string& input, const std::string& output, bool replaceExisting) override;
    void stop() override;
    CodecJob& job() const override;

private:
    std::unique_ptr<Mp3DecodeJob> m_job;
};

class WmaDecodeWorker : public CodecFileWorker {
public:
    WmaDecodeWorker();
    ~WmaDecodeWorker() override;
    bool begin(const std::string& input, const std::string& output, bool replaceExisting) override;
    void stop() override;
    ItemOutcome end(ItemFailure& failure) override;
    uint64_t samplesDone() const override { return 0; }
    CodecJob& job() const override;
    WmaDecodeJob& decoder() const { return *m_job; }

private:
    std::unique_ptr<WmaDecodeJob> m_job;
};

// The media encoder through one file after another. The encoder object is the caller's
// (it was set up with the chosen profile) and outlives the worker.
class WmaEncodeWorker : public FileWorker {
public:
    explicit WmaEncodeWorker(WmaEncodeJob& job) : m_job(job) {}
    bool begin(const std::string& input, const std::string& output, bool replaceExisting) override;
    bool isBusy() const override;
    void stop() override;
    ItemOutcome end(ItemFailure& failure) override;
    int position() const override;
    int upper() const override { return m_upper; }
    WmaEncodeJob& encoder() const { return m_job; }

private:
    WmaEncodeJob& m_job;
    std::string m_input;
    std::string m_output;
    int m_upper = 100;
    uint32_t m_startCode = 0;
    bool m_cut = false;
};

// The length of an input in whole seconds: a WAV input by its header, any other by the
// media reader; 0 when unknown.
int inputSeconds(const std::string& path);

} // namespace cld::engine
