#include "Failures.h"

#include "GetErrorText.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace cld {

WavCheckResult checkWavHeader(const std::string& path) {
    WavCheckResult r;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return r;
    // The chunks before the audio: the 44-byte header of the system's own files, or the
    // longer format chunks and tag lists other programs write (at most 64 KiB of them).
    std::vector<unsigned char> h(64 * 1024);
    const size_t got = std::fread(h.data(), 1, h.size(), f);
    std::error_code ec;
    const uintmax_t fileSize = std::filesystem::file_size(path, ec);
    std::fclose(f);
    if (got < 44 || h[0] != 'R' || h[8] != 'W') {
        r.status = WavCheck::NotPcmWave;
        return r;
    }
    r.status = WavCheck::Ok;
    auto le16 = [&](size_t o) { return static_cast<uint32_t>(h[o] | (h[o + 1] << 8)); };
    auto le32 = [&](size_t o) { return le16(o) | (le16(o + 2) << 16); };
    // Format and data of the canonical header, unless the chunks say otherwise.
    size_t format = 20;
    uint64_t dataBytes = le32(40);
    for (size_t at = 12; at + 8 <= got;) {
        const uint32_t size = le32(at + 4);
        const bool isFormat = std::memcmp(&h[at], "fmt ", 4) == 0;
        if (isFormat && size >= 16 && at + 8 + 16 <= got)
            format = at + 8;
        if (std::memcmp(&h[at], "data", 4) == 0) {
            // A size left open (a writer that could not seek back) is the rest of the file.
            const uint64_t rest = fileSize > at + 8 && !ec ? fileSize - (at + 8) : 0;
            dataBytes = size > rest ? rest : size;
            break;
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);
    }
    const uint64_t bytesPerSecond =
        static_cast<uint64_t>(le16(format + 2)) * le16(format + 14) / 8 * le32(format + 4);
    if (bytesPerSecond > 0)
        r.durationSeconds = static_cast<int>(dataBytes / bytesPerSecond);
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
