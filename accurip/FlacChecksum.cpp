// Checksums of a FLAC track file: its samples decoded with libFLAC, the MD5 of its stream
// info checked on the way, so a log never vouches for a file that does not hold the audio
// it claims to.

#include "AccurateRip.h"
#include "RipLog.h"

#include <FLAC/stream_decoder.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace accurip {

namespace {

struct FlacRead {
    std::string path;
    std::string why;
    std::unique_ptr<TrackChecksummer> sum;
    bool firstTrack = false;
    bool lastTrack = false;
    std::vector<uint8_t> bytes;

    void fail(const std::string& text) {
        if (why.empty())
            why = path + ": " + text;
    }
};

FLAC__StreamDecoderWriteStatus onFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const channels[], void* data) {
    auto* r = static_cast<FlacRead*>(data);
    if (!r->sum || frame->header.channels != 2 || frame->header.bits_per_sample != 16) {
        r->fail("the audio is not 16-bit stereo");
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const unsigned n = frame->header.blocksize;
    r->bytes.resize(static_cast<size_t>(n) * 4);
    uint8_t* out = r->bytes.data();
    for (unsigned i = 0; i < n; ++i) {
        const auto left = static_cast<uint16_t>(channels[0][i]);
        const auto right = static_cast<uint16_t>(channels[1][i]);
        out[4 * i] = static_cast<uint8_t>(left);
        out[4 * i + 1] = static_cast<uint8_t>(left >> 8);
        out[4 * i + 2] = static_cast<uint8_t>(right);
        out[4 * i + 3] = static_cast<uint8_t>(right >> 8);
    }
    r->sum->add(out, r->bytes.size());
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void onMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* data) {
    auto* r = static_cast<FlacRead*>(data);
    if (block->type != FLAC__METADATA_TYPE_STREAMINFO)
        return;
    const FLAC__StreamMetadata_StreamInfo& info = block->data.stream_info;
    if (info.channels != 2 || info.bits_per_sample != 16 || info.sample_rate != 44100) {
        r->fail("not 16-bit stereo audio at 44100 Hz");
        return;
    }
    if (info.total_samples == 0) {
        r->fail("the stream info does not say how long the audio is");
        return;
    }
    r->sum = std::make_unique<TrackChecksummer>(static_cast<int64_t>(info.total_samples),
                                                r->firstTrack, r->lastTrack);
}

void onError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* data) {
    static_cast<FlacRead*>(data)->fail(std::string("damaged audio (") +
                                       FLAC__StreamDecoderErrorStatusString[status] + ")");
}

} // namespace

bool checksumFlacFile(const std::string& path, bool firstTrack, bool lastTrack, TrackChecksums& out,
                      std::string& why) {
    FlacRead r;
    r.path = path;
    r.firstTrack = firstTrack;
    r.lastTrack = lastTrack;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    if (!decoder) {
        why = path + ": out of memory";
        return false;
    }
    FLAC__stream_decoder_set_md5_checking(decoder, true);
    const FLAC__StreamDecoderInitStatus init =
        FLAC__stream_decoder_init_file(decoder, path.c_str(), &onFrame, &onMetadata, &onError, &r);
    if (init != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        FLAC__stream_decoder_delete(decoder);
        why = "cannot open " + path + ": " +
              (init == FLAC__STREAM_DECODER_INIT_STATUS_ERROR_OPENING_FILE
                   ? std::string(std::strerror(errno))
                   : std::string(FLAC__StreamDecoderInitStatusString[init]));
        return false;
    }
    const bool decoded = FLAC__stream_decoder_process_until_end_of_stream(decoder);
    const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder);
    // finish() compares the MD5 of what was decoded with the stream info's.
    const bool md5Matches = FLAC__stream_decoder_finish(decoder);
    FLAC__stream_decoder_delete(decoder);
    if (r.why.empty() && (!decoded || state != FLAC__STREAM_DECODER_END_OF_STREAM))
        r.fail(std::string("cannot decode (") + FLAC__StreamDecoderStateString[state] + ")");
    if (r.why.empty() && !r.sum)
        r.fail("no stream info");
    if (r.why.empty() && !md5Matches)
        r.fail("the audio does not match the MD5 in its stream info");
    if (!r.why.empty()) {
        why = r.why;
        return false;
    }
    out = r.sum->result();
    return true;
}

bool checksumTrackFile(const std::string& path, bool firstTrack, bool lastTrack,
                       TrackChecksums& out, std::string& why) {
    char magic[4] = {};
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        const size_t n = std::fread(magic, 1, sizeof magic, f);
        std::fclose(f);
        if (n == sizeof magic && std::memcmp(magic, "fLaC", 4) == 0)
            return checksumFlacFile(path, firstTrack, lastTrack, out, why);
    }
    return checksumWaveFile(path, firstTrack, lastTrack, out, why);
}

} // namespace accurip
