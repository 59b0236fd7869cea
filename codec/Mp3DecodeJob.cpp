#include "Mp3DecodeJob.h"

#include "Exception.h"
#include "InputFile.h"
#include "Mp3Lame.h"
#include "SameFile.h"
#include "WmErrors.h"

#include <algorithm>
#include <lame/lame.h>
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
    const off_t at = ftello(m_input);
    m_remaining = at >= 0 && static_cast<uint64_t>(at) < m_info.audioEnd
                      ? m_info.audioEnd - static_cast<uint64_t>(at)
                      : 0;
    m_held.clear();
    m_pcm = std::move(m_info.pendingPcm);
    m_info.pendingPcm.clear();
    m_readBuf.resize(1024);
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
    static thread_local int16_t left[4608];
    static thread_local int16_t right[4608];
    mp3data_struct data{};
    const int channels = m_info.channels;
    if (!m_pcm.empty()) // samples produced during the header search
        return static_cast<int>(m_pcm.size()) / channels;
    int n = cld::decodeMp3Headers(m_decoder, m_readBuf.data(), 0, left, right, &data);
    uint64_t fed = 0;
    while (n == 0 && !m_inputEnded) {
        // Tags at the end of the file are not audio and are never fed to the decoder.
        const size_t want = static_cast<size_t>(std::min<uint64_t>(m_readBuf.size(), m_remaining));
        const size_t got = want > 0 ? std::fread(m_readBuf.data(), 1, want, m_input) : 0;
        m_remaining -= got;
        if (got == 0) {
            m_inputEnded = true;
            n = cld::decodeMp3Headers(m_decoder, m_readBuf.data(), 0, left, right, &data);
            break;
        }
        fed += got;
        n = cld::decodeMp3Headers(m_decoder, m_readBuf.data(), got, left, right, &data);
        if (n == 0 && fed > kMaxSilentFeed)
            m_inputEnded = true;
    }
    if (n <= 0 || n > 4608)
        return 0;
    // A later frame may switch to a different channel layout; keep the file's layout.
    const int frameChannels = data.header_parsed ? data.stereo : channels;
    if (frameChannels == channels) {
        cld::appendInterleaved(left, right, n, channels, m_pcm);
    } else if (channels == 2) {
        cld::appendInterleaved(left, left, n, 2, m_pcm);
    } else {
        cld::appendInterleaved(left, right, n, 1, m_pcm);
    }
    return n;
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
