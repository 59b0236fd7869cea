#include "WmaStreamEncoder.h"

#include "FfmpegLog.h"
#include "PcmInputFrame.h"
#include "TagFileStream.h"
#include "TranscodeParts.h"
#include "WMException.h"
#include "WmErrors.h"

#include <taglib/asffile.h>
#include <taglib/asfpicture.h>
#include <taglib/asftag.h>

namespace cld {

struct WmaStreamEncoder::State : TranscodeChain {
    PcmInputFrame input;
    int channels = 0;
    int bits = 16;
    int frameSize = 2048;
    int ioError = 0;
    // The cover picture that goes in as WM/Picture once the file is complete.
    std::vector<uint8_t> cover;
    std::string coverMime;
};

namespace {

// Adds the cover to the closed ASF file at `path` as its WM/Picture attribute. The muxer
// writes text attributes only, so the picture goes in once the file is complete.
bool addPicture(const std::string& path, const std::vector<uint8_t>& cover,
                const std::string& mime) {
    const std::unique_ptr<TagLib::FileStream> stream = cld::openOwnTagFile(path);
    if (!stream)
        return false;
    TagLib::ASF::File file(stream.get(), false);
    if (!file.isValid() || !file.tag())
        return false;
    TagLib::ASF::Picture picture;
    picture.setMimeType(TagLib::String(mime, TagLib::String::UTF8));
    picture.setType(TagLib::ASF::Picture::FrontCover);
    picture.setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(cover.data()),
                                          static_cast<unsigned int>(cover.size())));
    file.tag()->setAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
    return file.save();
}

} // namespace

WmaStreamEncoder::WmaStreamEncoder() = default;

WmaStreamEncoder::~WmaStreamEncoder() {
    Discard();
}

bool WmaStreamEncoder::IsOpen() const {
    return m && m->headerWritten;
}

int64_t WmaStreamEncoder::GetEncodedMilliseconds() const {
    return m && m->audioEnc ? m->EncodedAudioMs() : 0;
}

void WmaStreamEncoder::Discard() {
    if (!m)
        return;
    m->file.Discard();
    m.reset();
}

uint32_t WmaStreamEncoder::Open(const std::string& path, const WmStreamConfig& want, int sampleRate,
                                int channels, int bitsPerSample, const ContentDescription& info,
                                files::Replace replace) {
    Discard();
    if (channels < 1 || channels > 8 || sampleRate <= 0 ||
        (bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32))
        return wmerr::kWavFormat;
    installFfmpegLog();
    m = std::make_unique<State>();
    State& s = *m;
    s.channels = channels;
    s.bits = bitsPerSample;
    if (!info.music.cover.empty() && !info.music.coverMime.empty()) {
        s.cover = info.music.cover;
        s.coverMime = info.music.coverMime;
    }
    try {
        if (avformat_alloc_output_context2(&s.out, nullptr, "asf", nullptr) < 0 || !s.out)
            throw WMException(wmerr::kOutOfMemory);
        s.OpenAudio(want);
        s.frameSize = s.audioEnc->frame_size > 0 ? s.audioEnc->frame_size : 2048;
        if (!s.input.allocate(channels, bitsPerSample))
            throw WMException(wmerr::kOutOfMemory);
        if (!s.input.openResampler(s.swr, s.audioEnc, sampleRate))
            throw WMException(wmerr::kCodecOpen);
        setContentTags(s.out, info);
        // The output is created only once everything else is known to work.
        if (const uint32_t refused = s.file.Prepare(path, replace)) {
            m.reset();
            return refused;
        }
        openOutput(s.out, s.file);
    } catch (const WMException& e) {
        m.reset();
        return e.GetCode();
    }
    s.outputPath = path;
    s.headerWritten = true;
    if (!s.PrimeAudio()) {
        Discard();
        return wmerr::kOutOfMemory;
    }
    return 0;
}

uint32_t WmaStreamEncoder::Write(const uint8_t* data, size_t frames) {
    if (!IsOpen())
        return wmerr::kUnexpected;
    State& s = *m;
    constexpr size_t kStep = 16384;
    while (frames > 0) {
        const size_t n = std::min(frames, kStep);
        // The frame only points at the caller's samples; the resampler reads them.
        const bool ok =
            s.QueueAudio(s.input.point(data, n)) && s.WriteAudio(false, s.frameSize, [] {});
        s.input.release();
        if (!ok) {
            const int error = s.out->pb ? s.out->pb->error : 0;
            return error < 0 ? writeFailureCode(error) : wmerr::kEncodeFailed;
        }
        data += n * static_cast<size_t>(s.channels) * static_cast<size_t>(s.bits / 8);
        frames -= n;
    }
    return 0;
}

uint32_t WmaStreamEncoder::Finish() {
    if (!IsOpen())
        return wmerr::kUnexpected;
    State& s = *m;
    uint32_t failure = 0;
    bool ok = s.QueueAudio(nullptr) && s.WriteAudio(true, s.frameSize, [] {});
    ok = encodeAndWrite(s.out, s.audioEnc, s.outAudio, nullptr, s.audioPacket) && ok;
    if (!ok)
        failure = wmerr::kEncodeFailed;
    if (const uint32_t closed = s.CloseOutput(s.ioError); closed && !failure)
        failure = closed;
    // A failed write is reported with the system's reason (a full disk, a size limit).
    if (failure && s.ioError < 0)
        failure = writeFailureCode(s.ioError);
    s.headerWritten = false;
    if (!failure && !s.cover.empty() && !addPicture(s.file.TempPath(), s.cover, s.coverMime))
        failure = wmerr::kWriteFailed;
    if (!failure)
        failure = s.file.Commit();
    if (failure)
        s.file.Discard();
    m.reset();
    return failure;
}

} // namespace cld
