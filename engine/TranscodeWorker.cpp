#include "TranscodeWorker.h"

#include "AudioFileReader.h"
#include "CodecJob.h"
#include "Exception.h"
#include "Mp3Lame.h"
#include "SameFile.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace cld::engine {

namespace {

// Frames read and encoded at a time.
constexpr int64_t kBlockFrames = 4608;

// The system's text for a failure code that carries an error number; empty otherwise.
std::string systemText(uint32_t detail) {
    if ((detail & 0xFFFF0000u) != cld::wmerr::fromErrno(0) || detail == cld::wmerr::fromErrno(0))
        return {};
    return std::strerror(static_cast<int>(detail & 0xFFFFu));
}

bool isDiskFull(uint32_t detail) {
    return detail == cld::wmerr::fromErrno(ENOSPC) || detail == cld::wmerr::fromErrno(EDQUOT);
}

// How the input's samples become the encoder's: 8-bit (unsigned in WAVE files) and
// 16-bit become 16-bit, deeper integers and floats 24-bit.
struct SampleConversion {
    int inBits = 16;
    bool isFloat = false;
    int outBits = 16;

    explicit SampleConversion(const WaveFormat& f)
        : inBits(f.bitsPerSample), isFloat(f.IsFloat()),
          outBits(f.bitsPerSample <= 16 && !f.IsFloat() ? 16 : 24) {}

    bool supported() const {
        if (isFloat)
            return inBits == 32 || inBits == 64;
        return inBits == 8 || inBits == 16 || inBits == 24 || inBits == 32;
    }

    // Converts `values` samples from `in` to `out` (which holds values × outBits / 8
    // bytes); returns the bytes written.
    size_t convert(const uint8_t* in, size_t values, uint8_t* out) const {
        if (inBits == 16 && !isFloat) {
            std::memcpy(out, in, values * 2);
            return values * 2;
        }
        if (inBits == 8) {
            for (size_t i = 0; i < values; ++i) {
                const auto s = static_cast<int16_t>((in[i] - 128) * 256);
                out[2 * i] = static_cast<uint8_t>(s & 0xFF);
                out[2 * i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
            }
            return values * 2;
        }
        for (size_t i = 0; i < values; ++i) {
            int32_t v = 0;
            if (isFloat) {
                double x = 0;
                if (inBits == 32) {
                    float f = 0;
                    std::memcpy(&f, in + 4 * i, 4);
                    x = f;
                } else {
                    std::memcpy(&x, in + 8 * i, 8);
                }
                if (!std::isfinite(x))
                    x = 0;
                x = std::clamp(x * 8388608.0, -8388608.0, 8388607.0);
                v = static_cast<int32_t>(std::lround(x));
            } else if (inBits == 24) {
                const uint8_t* p = in + 3 * i;
                v = static_cast<int32_t>(static_cast<uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16))
                                         << 8) >>
                    8;
            } else {
                const uint8_t* p = in + 4 * i;
                v = static_cast<int32_t>(static_cast<uint32_t>(
                        p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24))) >>
                    8;
            }
            out[3 * i] = static_cast<uint8_t>(v & 0xFF);
            out[3 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
            out[3 * i + 2] = static_cast<uint8_t>((v >> 16) & 0xFF);
        }
        return values * 3;
    }
};

// How a read of the whole input ended.
enum class ReadEnd { Done, Stopped, Failed };

// The input read from its start in blocks converted to the encoder's samples.
struct Blocks {
    const SampleConversion& conversion;
    const WaveFormat& format;
    int64_t total;
    bool exact;
    std::vector<uint8_t>& raw;
    std::vector<uint8_t>& converted;

    // Hands each block to `use(data, bytes, frames)` and counts `position` on past it;
    // Stopped when `stop` is set between blocks, Failed when `use` returns false. The
    // reader's exceptions pass through.
    template <typename Use>
    ReadEnd read(AudioFileReader& reader, const std::atomic<bool>& stop, int64_t& position,
                 Use&& use) const {
        position = reader.GetStart();
        while (!exact || position < total) {
            if (stop.load())
                return ReadEnd::Stopped;
            const int64_t frames = reader.ReadInto(
                position, std::min(kBlockFrames, exact ? total - position : kBlockFrames),
                raw.data());
            if (frames <= 0)
                break;
            const size_t bytes = conversion.convert(
                raw.data(), static_cast<size_t>(frames) * format.channels, converted.data());
            if (!use(converted.data(), bytes, frames))
                return ReadEnd::Failed;
            position += frames;
        }
        return ReadEnd::Done;
    }
};

// Hands the encoder's samples (16-bit, or 24-bit widened to the meter's 32-bit scale) to
// a loudness meter.
struct MeterFeed {
    std::vector<int16_t> shorts;
    std::vector<int32_t> wide;

    void add(LoudnessMeter& meter, const uint8_t* data, size_t bytes, size_t frames, int bits) {
        if (bits == 16) {
            shorts.resize(bytes / 2);
            std::memcpy(shorts.data(), data, shorts.size() * 2);
            meter.addFrames(shorts.data(), frames);
            return;
        }
        wide.resize(bytes / 3);
        cld::widenToInt32(data, wide.size(), 24, false, wide.data());
        meter.addFrames(wide.data(), frames);
    }
};

} // namespace

TranscodeWorker::TranscodeWorker(std::string encoderName, EncoderOptions options)
    : m_encoderName(std::move(encoderName)), m_options(std::move(options)) {}

TranscodeWorker::~TranscodeWorker() {
    m_stop.store(true);
    join();
}

std::string TranscodeWorker::extension() const {
    auto encoder = EncoderRegistry::instance().make(m_encoderName, m_options);
    return encoder ? encoder->extension() : std::string();
}

void TranscodeWorker::join() {
    if (m_thread.joinable())
        m_thread.join();
}

bool TranscodeWorker::begin(const std::string& input, const std::string& output,
                            bool replaceExisting) {
    if (m_busy.load())
        return false;
    join();
    m_stop.store(false);
    m_position.store(0);
    m_bytes.store(0);
    m_samples.store(0);
    {
        std::lock_guard lock(m_lock);
        m_outcome = ItemOutcome::NotStarted;
        m_failure = ItemFailure{};
        m_loudness.reset();
    }
    m_busy.store(true);
    try {
        m_thread = std::thread(&TranscodeWorker::work, this, input, output, replaceExisting);
    } catch (const std::system_error&) {
        std::lock_guard lock(m_lock);
        m_outcome = ItemOutcome::Failed;
        m_failure.what = Failure::NotStarted;
        m_failure.code = static_cast<int>(CodecError::Start);
        m_failure.file = input;
        m_busy.store(false);
        return false;
    }
    return true;
}

ItemOutcome TranscodeWorker::end(ItemFailure& failure) {
    if (m_busy.load())
        return ItemOutcome::NotStarted;
    join();
    std::lock_guard lock(m_lock);
    failure = m_failure;
    return m_outcome;
}

void TranscodeWorker::work(std::string input, std::string output, bool replaceExisting) {
    ItemFailure failure;
    failure.worker = WorkerKind::Encoder;
    const auto fail = [&](Failure what, int code, uint32_t detail, bool inputAtFault) {
        failure.what = what;
        failure.code = code;
        failure.detail = detail;
        failure.inputAtFault = inputAtFault;
        failure.file = inputAtFault ? input : output;
        failure.reason = systemText(detail);
        failure.diskFull = what == Failure::WriteFailed && isDiskFull(detail);
    };
    const auto done = [&](ItemOutcome outcome) {
        std::lock_guard lock(m_lock);
        m_outcome = failure.what == Failure::None ? outcome : ItemOutcome::Failed;
        m_failure = failure;
        m_busy.store(false);
    };
    constexpr int kInput = static_cast<int>(CodecError::Input);
    constexpr int kOutput = static_cast<int>(CodecError::Output);
    constexpr int kEncoder = static_cast<int>(CodecError::Encoder);

    std::unique_ptr<AudioEncoder> encoder =
        EncoderRegistry::instance().make(m_encoderName, m_options);
    if (!encoder) {
        fail(Failure::EncoderRefused, kEncoder, 0, false);
        return done(ItemOutcome::Failed);
    }
    AudioFileReader reader;
    WaveFormat format;
    try {
        reader.Open(input);
        reader.GetAudioStream(0);
        format = reader.GetFormat();
    } catch (const Exception& e) {
        fail(Failure::InputUnreadable, kInput, e.GetCode(), true);
        return done(ItemOutcome::Failed);
    }
    const SampleConversion conversion(format);
    if (!conversion.supported() || format.channels == 0 || format.blockAlign == 0) {
        fail(Failure::InputUnreadable, kInput, cld::wmerr::kWavFormat, true);
        return done(ItemOutcome::Failed);
    }
    if (cld::sameFile(input, output)) {
        fail(Failure::OutputNotCreated, kOutput, cld::wmerr::kOutputCreate, false);
        return done(ItemOutcome::Failed);
    }
    const PcmFormat pcm{static_cast<int>(format.samplesPerSec), format.channels,
                        conversion.outBits};
    const int64_t total = reader.GetLength();
    const bool exact = reader.HasExactLength();
    AudioTags tags = m_tags ? *m_tags : reader.GetTags();
    if (!m_tags && m_genreNumberOf && !tags.genre.empty())
        tags.genreNumber = m_genreNumberOf(tags.genre);
    std::vector<uint8_t> raw;
    std::vector<uint8_t> converted;
    try {
        raw.resize(static_cast<size_t>(kBlockFrames) * format.blockAlign);
        converted.resize(static_cast<size_t>(kBlockFrames) * format.channels * 3);
    } catch (const std::bad_alloc&) {
        fail(Failure::EncoderRefused, kEncoder, cld::wmerr::kOutOfMemory, false);
        return done(ItemOutcome::Failed);
    }
    const Blocks blocks{conversion, format, total, exact, raw, converted};
    // With loudness measuring, the first of two reads measures, the second encodes: each
    // is half of the file's progress.
    const int share = m_measure ? 50 : 100;
    const auto progress = [&](int64_t position, int base) {
        if (total > 0)
            m_position.store(base + static_cast<int>(std::min<int64_t>(position * share / total,
                                                                       exact ? share : share - 1)));
    };

    std::unique_ptr<LoudnessMeter> meter;
    if (m_measure) {
        meter = std::make_unique<LoudnessMeter>(format.channels,
                                                static_cast<int>(format.samplesPerSec));
        MeterFeed feed;
        int64_t measured = 0;
        ReadEnd end = ReadEnd::Done;
        try {
            // A reader of its own, since a decoder reads forwards only.
            AudioFileReader probe;
            probe.Open(input);
            probe.GetAudioStream(0);
            end = blocks.read(
                probe, m_stop, measured, [&](const uint8_t* data, size_t bytes, int64_t frames) {
                    feed.add(*meter, data, bytes, static_cast<size_t>(frames), conversion.outBits);
                    progress(measured + frames, 0);
                    return true;
                });
        } catch (const Exception& e) {
            fail(Failure::InputUnreadable, kInput, e.GetCode(), true);
            return done(ItemOutcome::Failed);
        }
        // Stopped before its output was begun: the file was never started.
        if (end == ReadEnd::Stopped)
            return done(ItemOutcome::NotStarted);
        if (meter->valid()) {
            tags.trackGainDb = meter->gainDb();
            tags.trackPeak = meter->peak();
        } else {
            meter.reset();
        }
    }

    if (!encoder->open(output, pcm, tags, exact && total > 0 ? static_cast<uint64_t>(total) : 0,
                       replaceExisting)) {
        const bool settings =
            encoder->fault() == EncoderFault::Settings || encoder->fault() == EncoderFault::Encoder;
        fail(settings ? Failure::EncoderRefused : Failure::OutputNotCreated,
             settings ? kEncoder : kOutput, encoder->errorDetail(), false);
        return done(ItemOutcome::Failed);
    }
    const auto encoderFailure = [&] {
        const EncoderFault fault = encoder->fault();
        if (fault == EncoderFault::Write || fault == EncoderFault::Output)
            fail(fault == EncoderFault::Write ? Failure::WriteFailed : Failure::OutputNotCreated,
                 kOutput, encoder->errorDetail(), false);
        else
            fail(Failure::EncoderRefused, kEncoder, encoder->errorDetail(), false);
        failure.wroteOutput = true;
    };

    int64_t position = 0;
    ReadEnd end = ReadEnd::Done;
    try {
        end = blocks.read(reader, m_stop, position,
                          [&](const uint8_t* data, size_t bytes, int64_t frames) {
                              if (!encoder->write(data, bytes))
                                  return false;
                              m_bytes.fetch_add(static_cast<uint64_t>(frames) * format.blockAlign);
                              m_samples.store(static_cast<uint64_t>(position + frames));
                              progress(position + frames, 100 - share);
                              return true;
                          });
    } catch (const Exception& e) {
        encoder->abort();
        fail(Failure::InputBroken, kInput, e.GetCode(), true);
        failure.wroteOutput = position > 0;
        return done(ItemOutcome::Failed);
    }
    if (end == ReadEnd::Failed) {
        encoderFailure();
        encoder->abort();
        return done(ItemOutcome::Failed);
    }
    const bool stopped = end == ReadEnd::Stopped;
    // A file that decodes to nothing is not audio the program reads.
    if (!stopped && position == 0 && !exact) {
        encoder->abort();
        fail(Failure::InputUnreadable, kInput, cld::wmerr::kNoAudioDecoded, true);
        return done(ItemOutcome::Failed);
    }
    if (!encoder->finish()) {
        encoderFailure();
        encoder->abort();
        return done(ItemOutcome::Failed);
    }
    if (!stopped)
        m_position.store(100);
    if (!stopped && meter) {
        std::lock_guard lock(m_lock);
        m_loudness = std::move(meter);
    }
    return done(stopped ? ItemOutcome::Stopped : ItemOutcome::Converted);
}

std::unique_ptr<LoudnessMeter> TranscodeWorker::takeLoudness() {
    if (m_busy.load())
        return nullptr;
    std::lock_guard lock(m_lock);
    return std::move(m_loudness);
}

} // namespace cld::engine
