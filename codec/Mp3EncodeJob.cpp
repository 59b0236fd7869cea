#include "Mp3EncodeJob.h"

#include "Exception.h"
#include "Mp3Blocks.h"
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

void Mp3EncodeJob::Work() {
    ReachPoint(WorkerPoint::Started);
    const std::string output = GetOutput();
    cld::OutputFile file;
    const uint32_t openError =
        file.Open(output, GetReplaceExisting() ? cld::files::Replace::RegularFile
                                               : cld::files::Replace::Never);
    std::FILE* out = file.File();
    cld::Mp3BlockEncoder blocks;
    std::vector<uint8_t> raw;
    uint32_t detail = openError;
    try {
        blocks.prepare(m_lame, m_format, m_framesPerBlock);
        raw.resize(static_cast<size_t>(m_framesPerBlock) * m_format.blockAlign);
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
        position += frames;
        const int encoded = blocks.encode(raw.data(), static_cast<int>(frames), meter.get());
        if (encoded < 0) {
            error = kErrEncoder;
            detail = cld::wmerr::kEncodeFailed;
            break;
        }
        if (const uint32_t rc =
                cld::writeMp3Bytes(out, blocks.data(), static_cast<size_t>(encoded))) {
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
        if (const uint32_t rc = cld::endMp3Stream(m_lame, blocks, file)) {
            error = kErrOutput;
            detail = rc;
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
