#include "Mp3DecodeJob.h"

#include "Exception.h"
#include "InputFile.h"
#include "Mp3Lame.h"
#include "SameFile.h"
#include "WmErrors.h"

#include <algorithm>
#include <lame/lame.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Stop feeding the decoder when this much input has produced no sound at all: past the
// last frame there is only padding or damage, and the decoder would buffer it all.
constexpr uint64_t kMaxSilentFeed = 4u << 20;

int encoderDelayFor(int channels, int rate, uint64_t samples) {
    lame_t lame = lame_init();
    if (!lame)
        return 576;
    cld::routeLameReports(lame);
    lame_set_num_channels(lame, channels);
    lame_set_in_samplerate(lame, rate);
    if (samples > 0)
        lame_set_num_samples(lame, static_cast<unsigned long>(samples));
    int delay = 576;
    if (lame_init_params(lame) >= 0)
        delay = lame_get_encoder_delay(lame);
    lame_close(lame);
    return delay;
}

// A decoder fed with the file's bytes that gives 16-bit samples in the layout of the
// file's first frame: a later frame in another layout is turned into it (a mono frame in
// a stereo file on both channels, a stereo frame in a mono file by its left channel).
// Nothing is trimmed here: the job removes the encoder's delay and padding itself.
mpg123_handle* openAudioDecoder(int channels, int rate) {
    static const bool ready = mpg123_init() == MPG123_OK;
    if (!ready || channels < 1 || channels > 2)
        return nullptr;
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h)
        return nullptr;
    const long layout = channels == 2 ? MPG123_FORCE_STEREO : MPG123_MONO_LEFT;
    if (mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0) != MPG123_OK ||
        mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET | layout, 0) != MPG123_OK ||
        // Damage in the middle is skipped however long it is: the decoder looks for the
        // next frame as far as it must.
        mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0) != MPG123_OK ||
        mpg123_format_none(h) != MPG123_OK ||
        mpg123_format(h, rate, channels == 2 ? MPG123_STEREO : MPG123_MONO, MPG123_ENC_SIGNED_16) !=
            MPG123_OK ||
        mpg123_open_feed(h) != MPG123_OK) {
        mpg123_delete(h);
        return nullptr;
    }
    return h;
}

} // namespace

Mp3DecodeJob::Mp3DecodeJob() = default;

Mp3DecodeJob::~Mp3DecodeJob() {
    StopAndJoin();
    CloseAll();
}

void Mp3DecodeJob::CloseAll() {
    if (m_input)
        std::fclose(m_input);
    m_input = nullptr;
    if (m_decoder)
        hip_decode_exit(m_decoder);
    m_decoder = nullptr;
    if (m_audio)
        mpg123_delete(m_audio);
    m_audio = nullptr;
    if (m_writer)
        m_writer->Close();
    m_writer.reset();
}

bool Mp3DecodeJob::Start() {
    if (!BeginStart())
        return false;
    CloseAll();
    const std::string input = GetInput();
    uint32_t failure = 0;
    m_input = cld::openInputFile(input, failure);
    struct stat st {};
    if (!m_input || fstat(fileno(m_input), &st) != 0) {
        CloseAll();
        Finish(kErrInput, failure ? failure : cld::wmerr::kInputOpen);
        return false;
    }
    if (cld::sameFile(input, GetOutput())) {
        CloseAll();
        Finish(kErrOutput, cld::wmerr::kOutputCreate);
        return false;
    }
    m_inputSize = static_cast<uint64_t>(st.st_size);
    m_inputBuffer.resize(1 << 16);
    std::setvbuf(m_input, m_inputBuffer.data(), _IOFBF, m_inputBuffer.size());
    m_decoder = cld::createMp3Decoder();
    if (!m_decoder) {
        CloseAll();
        Finish(kErrInput);
        return false;
    }
    cld::routeDecoderReports(m_decoder);
    // The header is looked for before the output is touched, so that a file that is not
    // MP3 leaves an existing output alone.
    if (!cld::findFirstMp3Frame(m_input, m_decoder, m_info)) {
        CloseAll();
        Finish(kErrHeader, cld::wmerr::kNoAudioDecoded);
        return false;
    }
    const WaveFormat format = WaveFormat::Pcm(static_cast<uint16_t>(m_info.channels),
                                              static_cast<uint32_t>(m_info.sampleRate), 16);
    try {
        m_writer = std::make_unique<WavStreamWriter>();
        m_writer->Create(GetOutput());
        m_writer->SetFormat(format, format);
    } catch (const Exception& e) {
        CloseAll();
        Finish(kErrOutput, e.GetCode());
        return false;
    }
    // With the encoder's own record of its delay and padding both are removed; without
    // it the usual encoder delay is assumed and the end is kept whole.
    const int delay = m_info.encoderDelay;
    const int padding = m_info.encoderPadding;
    if (delay > -1 || padding > -1) {
        m_skip = delay > -1 ? delay + kDecoderDelay : 0;
        m_trimEnd = padding > kDecoderDelay ? padding - kDecoderDelay : 0;
    } else {
        m_skip = encoderDelayFor(m_info.channels, m_info.sampleRate, m_info.totalSamples) +
                 kDecoderDelay;
        m_trimEnd = 0;
    }
    // The audio is decoded anew from its first frame by the faster decoder; the header
    // search's decoder has done its part.
    hip_decode_exit(m_decoder);
    m_decoder = nullptr;
    m_audio = openAudioDecoder(m_info.channels, m_info.sampleRate);
    if (!m_audio || fseeko(m_input, static_cast<off_t>(m_info.firstFrame), SEEK_SET) != 0) {
        m_writer->Discard();
        CloseAll();
        Finish(kErrInput, cld::wmerr::kOutOfMemory);
        return false;
    }
    m_remaining = m_info.firstFrame < m_info.audioEnd ? m_info.audioEnd - m_info.firstFrame : 0;
    m_held.clear();
    m_pcm.clear();
    m_info.pendingPcm.clear();
    m_readBuf.resize(1 << 15);
    m_inputEnded = false;
    try {
        m_worker = std::thread(&Mp3DecodeJob::Work, this);
    } catch (const std::system_error&) {
        m_writer->Discard();
        CloseAll();
        Finish(kErrInput, cld::wmerr::kOutOfMemory);
        return false;
    }
    return true;
}

int Mp3DecodeJob::DecodeNext() {
    const int channels = m_info.channels;
    const size_t frameBytes = static_cast<size_t>(channels) * sizeof(int16_t);
    // One call returns at most one MPEG frame's samples (1152 per channel).
    m_pcm.resize(1152u * static_cast<size_t>(channels));
    uint64_t fed = 0;
    for (;;) {
        size_t done = 0;
        const int rc = mpg123_read(m_audio, m_pcm.data(), m_pcm.size() * sizeof(int16_t), &done);
        if (done >= frameBytes) {
            m_pcm.resize(done / sizeof(int16_t));
            return static_cast<int>(done / frameBytes);
        }
        if (rc == MPG123_NEW_FORMAT || (rc == MPG123_ERR && !m_inputEnded))
            // A new layout is converted to the file's; after damage the decoder finds
            // the next frame in the bytes still to come.
            continue;
        if (rc != MPG123_NEED_MORE || m_inputEnded)
            break;
        // Tags at the end of the file are not audio and are never fed to the decoder.
        const size_t want = static_cast<size_t>(std::min<uint64_t>(m_readBuf.size(), m_remaining));
        const size_t got = want > 0 ? std::fread(m_readBuf.data(), 1, want, m_input) : 0;
        m_remaining -= got;
        if (got == 0 || fed > kMaxSilentFeed) {
            m_inputEnded = true;
            continue;
        }
        fed += got;
        if (mpg123_feed(m_audio, m_readBuf.data(), got) != MPG123_OK)
            m_inputEnded = true;
    }
    m_pcm.clear();
    return 0;
}

void Mp3DecodeJob::Work() {
    ReachPoint(WorkerPoint::Started);
    const int channels = m_info.channels;
    const uint64_t durationSeconds =
        m_info.totalFrames > 0 || m_info.bitrate <= 0
            ? 0
            : m_inputSize / (static_cast<uint64_t>(m_info.bitrate) * 125);
    {
        std::lock_guard lock(m_lock);
        m_watchSamples.Restart();
        m_watchBytes.Restart();
    }
    uint64_t framesDone = 0;
    uint64_t written = 0;
    uint64_t decoded = 0;
    int error = 0;
    const size_t holdBack = static_cast<size_t>(m_trimEnd) * static_cast<size_t>(channels);
    while (true) {
        const int n = DecodeNext();
        if (n <= 0)
            break;
        decoded += static_cast<uint64_t>(n);
        if (m_info.frameSize > 0)
            framesDone += static_cast<uint64_t>(n) / static_cast<uint64_t>(m_info.frameSize);
        const int g = n < m_skip ? n : m_skip;
        m_skip -= g;
        const size_t keep = static_cast<size_t>(n - g) * static_cast<size_t>(channels);
        const int16_t* from = m_pcm.data() + static_cast<size_t>(g) * channels;
        if (holdBack == 0) {
            if (keep > 0 && !m_writer->Write(from, keep * sizeof(int16_t)) && !error)
                error = kErrOutput;
        } else {
            // The last samples of the stream are the encoder's padding; they are held
            // back until later samples show they are not the last.
            m_held.insert(m_held.end(), from, from + keep);
            if (m_held.size() > holdBack) {
                const size_t out = m_held.size() - holdBack;
                if (!m_writer->Write(m_held.data(), out * sizeof(int16_t)) && !error)
                    error = kErrOutput;
                m_held.erase(m_held.begin(), m_held.begin() + static_cast<long>(out));
            }
        }
        m_pcm.clear();
        written += static_cast<uint64_t>(n - g);
        std::lock_guard lock(m_lock);
        uint64_t progress = 0;
        if (m_info.totalFrames > 0)
            progress = framesDone * 100 / static_cast<uint64_t>(m_info.totalFrames);
        else if (durationSeconds > 0)
            progress = written / static_cast<uint64_t>(m_info.sampleRate) * 100 / durationSeconds;
        m_progress = static_cast<int>(progress > 100 ? 100 : progress);
        m_bytesDone += keep * sizeof(int16_t);
        m_samplesDone += keep;
        if (m_abort || error)
            break;
    }
    {
        std::lock_guard lock(m_lock);
        m_watchSamples.Stop();
        m_watchBytes.Stop();
    }
    uint32_t detail = error ? m_writer->GetWriteError() : 0;
    if (error) {
        // The WAV file lacks audio it should hold: it is removed, never completed.
        m_writer->Discard();
    } else if (decoded == 0 && !AbortRequested()) {
        // Nothing decoded: what looked like a stream was not one, and an empty WAV would
        // pass for a successful conversion.
        m_writer->Discard();
        error = kErrHeader;
        detail = cld::wmerr::kNoAudioDecoded;
    } else if (!m_writer->Close() && !error) {
        error = kErrOutput;
        detail = m_writer->GetCloseError();
    }
    CloseAll();
    {
        std::lock_guard lock(m_lock);
        // A stopped job keeps the share it reached: its file is not whole.
        if (!error && !m_abort)
            m_progress = 100;
    }
    ReachPoint(WorkerPoint::Finishing);
    Finish(error, detail);
}
