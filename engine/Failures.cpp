#include "Failures.h"

#include "GetErrorText.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstdio>

namespace cld {

WavCheckResult checkWavHeader(const std::string& path) {
    WavCheckResult r;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return r;
    unsigned char h[44] = {};
    const size_t got = std::fread(h, 1, sizeof h, f);
    std::fclose(f);
    if (got < sizeof h || h[0] != 'R' || h[8] != 'W') {
        r.status = WavCheck::NotPcmWave;
        return r;
    }
    r.status = WavCheck::Ok;
    auto le16 = [&](int o) { return static_cast<uint32_t>(h[o] | (h[o + 1] << 8)); };
    auto le32 = [&](int o) { return le16(o) | (le16(o + 2) << 16); };
    const uint64_t bytesPerSecond = static_cast<uint64_t>(le16(22)) * le16(34) / 8 * le32(24);
    if (bytesPerSecond > 0)
        r.durationSeconds = static_cast<int>(le32(40) / bytesPerSecond);
    return r;
}

std::string failureReason(uint32_t detail) {
    return detail != 0 ? GetErrorText(detail) : std::string();
}

bool isDiskFull(uint32_t detail) {
    return detail != 0 &&
           (detail == wmerr::fromErrno(ENOSPC) || detail == wmerr::fromErrno(EDQUOT));
}

bool isInputFailure(uint32_t code) {
    switch (code) {
    case wmerr::kInputOpen:
    case wmerr::kNoAudio:
    case wmerr::kWavFormat:
    case wmerr::kReadFailed:
    case wmerr::kNoInput:
    case wmerr::kDecodeFailed:
    case wmerr::kNoAudioDecoded:
    case wmerr::kChecksumMismatch:
    case wmerr::kTruncated:
    case wmerr::kContentMismatch:
        return true;
    default:
        return false;
    }
}

} // namespace cld
