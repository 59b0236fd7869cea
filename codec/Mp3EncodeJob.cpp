#include "Mp3EncodeJob.h"

#include "Exception.h"
#include "Mp3Lame.h"
#include "Mp3Tags.h"
#include "OutputFile.h"
#include "SameFile.h"
#include "WmErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <lame/lame.h>
#include <vector>

Mp3EncodeJob::Mp3EncodeJob() = default;

Mp3EncodeJob::~Mp3EncodeJob() {
    StopAndJoin();
    ReleaseInput();
    if (m_lame)
        lame_close(m_lame);
}

void Mp3EncodeJob::SetTags(const AudioTags& tags) {
    m_tags = tags;
    m_tagged = true;
    m_fromInput = false;
}

void Mp3EncodeJob::SetTagsFromInput(std::function<int(const std::string& genre)> genreNumberOf) {
    m_tags = AudioTags{};
    m_tagged = false;
    m_fromInput = true;
    m_genreNumberOf = std::move(genreNumberOf);
}

std::unique_ptr<LoudnessMeter> Mp3EncodeJob::TakeLoudness() {
    if (IsRunning())
        return nullptr;
    return std::move(m_loudness);
}

void Mp3EncodeJob::ClearTags() {
    m_tags = AudioTags{};
    m_tagged = false;
    m_fromInput = false;
}

void Mp3EncodeJob::ReleaseInput() {
    m_reader.reset();
}

bool Mp3EncodeJob::Start() {
    if (!BeginStart())
        return false;
    ReleaseInput();
    m_inputTags = AudioTags();
    try {
        m_reader = std::make_unique<AudioFileReader>();
        m_reader->Open(GetInput());
        m_reader->GetAudioStream(0);
        m_format = m_reader->GetFormat();
        m_inputTags = m_reader->GetTags();
    } catch (const Exception& e) {
        ReleaseInput();
        Finish(kErrInput, e.GetCode());
        return false;
    }
    if (cld::sameFile(GetInput(), GetOutput())) {
        ReleaseInput();
        Finish(kErrOutput, cld::wmerr::kOutputCreate);
        return false;
    }
    m_lame = cld::createMp3Encoder(static_cast<int>(m_format.samplesPerSec), m_format.channels,
                                   m_params);
    if (!m_lame) {
        ReleaseInput();
        Finish(kErrEncoder);
        return false;
    }
    m_framesPerBlock = cld::mp3FramesPerBlock(m_lame);
    m_mp3BufferBytes = cld::mp3BufferBytes(m_framesPerBlock);
    try {
        m_worker = std::thread(&Mp3EncodeJob::Work, this);
    } catch (const std::system_error&) {
        lame_close(m_lame);
        m_lame = nullptr;
        ReleaseInput();
        Finish(kErrEncoder);
        return false;
    }
    return true;
}

namespace {

// Writes all `n` bytes; on failure returns the system's reason as a failure code.
uint32_t writeAll(std::FILE* f, const uint8_t* data, size_t n) {
    if (n == 0)
        return 0;
    errno = 0;
    if (std::fwrite(data, 1, n, f) == n)
        return 0;
    return cld::wmerr::fromErrno(errno ? errno : EIO);
}

} // namespace

void Mp3EncodeJob::Work() {
    ReachPoint(WorkerPoint::Started);
    const std::string output = GetOutput();
    cld::OutputFile file;
    const uint32_t openError =
        file.Open(output, GetReplaceExisting() ? cld::files::Replace::RegularFile
                                               : cld::files::Replace::Never);
    std::FILE* out = file.File();
    std::vector<uint8_t> mp3;
    std::vector<uint8_t> raw;
    std::vector<int16_t> pcm;
    std::vector<int> wide;
    // Input deeper than 16 bits (or float) goes to the encoder as 32-bit integers.
    const bool deep = m_format.bitsPerSample > 16 || m_format.IsFloat();
    uint32_t detail = openError;
    try {
        mp3.resize(m_mp3BufferBytes);
        raw.resize(static_cast<size_t>(m_framesPerBlock) * m_format.blockAlign);
        if (m_format.bitsPerSample == 8)
            pcm.resize(static_cast<size_t>(m_framesPerBlock) * m_format.channels);
        if (deep)
            wide.resize(static_cast<size_t>(m_framesPerBlock) * m_format.channels);
    } catch (const std::bad_alloc&) {
        file.Discard();
        out = nullptr;
        detail = cld::wmerr::kOutOfMemory;
    }
    if (!out) {
        ReleaseInput();
        lame_close(m_lame);
        m_lame = nullptr;
        ReachPoint(WorkerPoint::Finishing);
        Finish(kErrOutput, detail);
        return;
    }

    std::unique_ptr<LoudnessMeter> meter;
    m_loudness.reset();
    if (m_replayGain)
        meter = std::make_unique<LoudnessMeter>(m_format.channels,
                                                static_cast<int>(m_format.samplesPerSec));
    const int64_t total = m_reader->GetLength();
    // A decoded input's length is only declared: it is read until it ends, which is also
    // where a checksum it carries is verified.
    const bool exact = m_reader->HasExactLength();
    int64_t position = m_reader->GetStart();
    const int channels = m_format.channels;
    int error = 0;
    detail = 0;
    {
        std::lock_guard lock(m_lock);
        m_watchSamples.Restart();
        m_watchBytes.Restart();
    }
    bool more = !exact || position < total;
    bool aborted = false;
    while (more) {
        int64_t frames = 0;
        try {
            frames = m_reader->ReadInto(position, m_framesPerBlock, raw.data());
        } catch (const Exception& e) {
            error = kErrInput;
            detail = e.GetCode();
            break;
        }
        if (frames <= 0)
            break;
        const size_t values = static_cast<size_t>(frames) * channels;
        position += frames;
        int encoded = 0;
        if (deep) {
            cld::widenToInt32(raw.data(), values, m_format.bitsPerSample, m_format.IsFloat(),
                              wide.data());
            encoded = cld::mp3EncodeInterleavedInt(m_lame, wide.data(), static_cast<int>(frames),
                                                   channels, mp3.data(), mp3.size());
            if (meter)
                meter->addFrames(wide.data(), static_cast<size_t>(frames));
        } else {
            int16_t* samples = reinterpret_cast<int16_t*>(raw.data());
            if (m_format.bitsPerSample == 8) {
                cld::widen8Bit(raw.data(), values, pcm.data());
                samples = pcm.data();
            }
            encoded = cld::mp3EncodeInterleaved(m_lame, samples, static_cast<int>(frames), channels,
                                                mp3.data(), mp3.size());
            if (meter)
                meter->addFrames(samples, static_cast<size_t>(frames));
        }
        if (encoded < 0) {
            error = kErrEncoder;
            detail = cld::wmerr::kEncodeFailed;
            break;
        }
        if (const uint32_t rc = writeAll(out, mp3.data(), static_cast<size_t>(encoded))) {
            error = kErrOutput;
            detail = rc;
            break;
        }
        std::lock_guard lock(m_lock);
        if (exact)
            m_progress = total > 0 ? static_cast<int>(position * 100 / total) : 100;
        else
            m_progress =
                total > 0 ? static_cast<int>(std::min<int64_t>(position * 100 / total, 99)) : 0;
        m_bytesDone += static_cast<uint64_t>(frames) * m_format.blockAlign;
        m_samplesDone = static_cast<uint64_t>(position);
        aborted = m_abort && (!exact || position < total);
        more = (!exact || position < total) && !m_abort;
    }
    {
        std::lock_guard lock(m_lock);
        m_watchSamples.Stop();
        m_watchBytes.Stop();
    }
    ReleaseInput();
    if (!error) {
        const int flushed = lame_encode_flush(m_lame, mp3.data(), static_cast<int>(mp3.size()));
        if (flushed > 0) {
            if (const uint32_t rc = writeAll(out, mp3.data(), static_cast<size_t>(flushed))) {
                error = kErrOutput;
                detail = rc;
            }
        }
    }
    if (!error) {
        if (const uint32_t rc = cld::writeMp3HeaderFrame(m_lame, out)) {
            error = kErrOutput;
            detail = rc;
        }
    }
    if (!error) {
        errno = 0;
        if (!file.CloseStream()) {
            error = kErrOutput;
            detail = cld::wmerr::fromErrno(errno ? errno : EIO);
        }
    }
    lame_close(m_lame);
    m_lame = nullptr;
    // Tags name and measure the whole piece: a file cut short by Abort goes without them.
    const bool fromInput = m_fromInput && !m_inputTags.empty();
    if (!error && !aborted && (m_tagged || fromInput || meter)) {
        AudioTags tags = fromInput ? m_inputTags : m_tags;
        if (fromInput && m_genreNumberOf && !tags.genre.empty())
            tags.genreNumber = m_genreNumberOf(tags.genre);
        if (meter && meter->valid()) {
            tags.trackGainDb = meter->gainDb();
            tags.trackPeak = meter->peak();
        }
        if (const uint32_t rc = cld::writeMp3Tags(file.TempPath(), tags, m_id3v2)) {
            error = kErrOutput;
            detail = rc;
        }
    }
    if (error) {
        // A file cut short by a failure would pass for a finished one: it is removed, and
        // an older file of the output's name stays as it was.
        file.Discard();
    } else if (const uint32_t rc = file.Commit()) {
        error = kErrOutput;
        detail = rc;
    }
    if (!error && !aborted && meter && meter->valid())
        m_loudness = std::move(meter);
    // An aborted job has been committed too: what was encoded up to the abort is complete
    // and playable.
    ReachPoint(WorkerPoint::Finishing);
    Finish(error, detail);
}
