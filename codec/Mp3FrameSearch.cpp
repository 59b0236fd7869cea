#include "Mp3FrameSearch.h"

#include <cstring>
#include <lame/lame.h>

namespace cld {

bool IsMpegAudioHeader(const uint8_t* h) {
    if (h[0] != 0xFF || h[1] < 0xE0)
        return false;
    const int version = (h[1] >> 3) & 3; // 1 is reserved
    const int layer = (h[1] >> 1) & 3;   // 0 is reserved
    if (version == 1 || layer == 0)
        return false;
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (bitrateIndex == 15 || rateIndex == 3)
        return false;
    if (layer == 2) { // layer II: not every bitrate goes with every channel mode
        const bool mono = ((h[3] >> 6) & 3) == 3;
        const bool mpeg1 = version == 3;
        if (mpeg1 && bitrateIndex != 0) {
            // 32, 48, 56 and 80 kbit/s are mono only; 224 kbit/s and above stereo only.
            if (!mono &&
                (bitrateIndex == 1 || bitrateIndex == 2 || bitrateIndex == 3 || bitrateIndex == 5))
                return false;
            if (mono && bitrateIndex >= 11)
                return false;
        }
    }
    return true;
}

void AppendInterleaved(const int16_t* left, const int16_t* right, int n, int channels,
                       std::vector<int16_t>& out) {
    if (n <= 0 || channels < 1 || channels > 2)
        return;
    const size_t base = out.size();
    out.resize(base + static_cast<size_t>(n) * static_cast<size_t>(channels));
    int16_t* p = out.data() + base;
    if (channels == 1) {
        std::memcpy(p, left, static_cast<size_t>(n) * sizeof(int16_t));
        return;
    }
    for (int i = 0; i < n; ++i) {
        p[2 * i] = left[i];
        p[2 * i + 1] = right[i];
    }
}

bool FindFirstMp3Frame(std::FILE* f, hip_global_struct* hip, Mp3StreamInfo& info,
                       uint64_t scanLimit) {
    info = Mp3StreamInfo{};
    mp3data_struct data{};
    uint8_t w[4];
    if (std::fread(w, 1, 4, f) != 4)
        return false;
    if (std::memcmp(w, "AiD\1", 4) == 0) {
        uint8_t len[2];
        if (std::fread(len, 1, 2, f) != 2)
            return false;
        const long skip = static_cast<long>(len[0] | (len[1] << 8)) - 6;
        if (skip > 0 && std::fseek(f, skip, SEEK_CUR) != 0)
            return false;
        if (std::fread(w, 1, 4, f) != 4)
            return false;
    }
    uint64_t scanned = 0;
    while (!IsMpegAudioHeader(w)) {
        const int c = std::fgetc(f);
        if (c == EOF || ++scanned > scanLimit)
            return false;
        std::memmove(w, w + 1, 3);
        w[3] = static_cast<uint8_t>(c);
    }

    static thread_local int16_t left[4608];
    static thread_local int16_t right[4608];
    int n = hip_decode1_headers(hip, w, 4, left, right, &data);
    if (n < 0)
        return false;
    uint8_t block[100];
    uint64_t fed = 0;
    while (true) {
        if (n > 0) {
            // Samples without a usable channel count come from a damaged stream.
            if (data.stereo < 1 || data.stereo > 2 || n > 4608)
                return false;
            AppendInterleaved(left, right, n, data.stereo, info.pendingPcm);
            if (info.pendingPcm.size() > (1u << 20))
                return false;
        }
        if (data.header_parsed)
            break;
        if (std::fread(block, 1, sizeof block, f) != sizeof block)
            return false;
        fed += sizeof block;
        if (fed > scanLimit)
            return false;
        n = hip_decode1_headers(hip, block, sizeof block, left, right, &data);
        if (n < 0)
            return false;
    }
    if (data.stereo < 1 || data.stereo > 2 || data.samplerate <= 0)
        return false;
    info.channels = data.stereo;
    info.sampleRate = data.samplerate;
    info.bitrate = data.bitrate;
    info.frameSize = data.framesize;
    info.totalFrames = data.totalframes;
    info.totalSamples = data.nsamp;
    return true;
}

} // namespace cld
