#include "ProgressFigures.h"

#include "CodecJob.h"
#include "ConvertIds.h"
#include "GetErrorText.h"
#include "StringIds.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/statvfs.h>
#include <vector>

namespace cld {

std::string clockText(int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>((seconds / 3600) % 24),
                  static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
    return buf;
}

std::string kilobytesPerSecondText(uint32_t kilobytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%u KB/sec.", kilobytes);
    return buf;
}

std::string samplesPerSecondText(uint32_t samples) {
    return std::to_string(samples);
}

std::string megabytesText(int64_t bytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / 1024.0 / 1024.0);
    return buf;
}

std::optional<DiskSpace> diskSpaceFor(const std::string& path) {
    // The output file (or even its folder) may not exist yet: the nearest existing
    // folder above it lies on the same file system.
    std::filesystem::path p =
        path.empty() ? std::filesystem::path(".") : std::filesystem::path(path);
    std::error_code ec;
    while (!p.empty() && !std::filesystem::exists(p, ec)) {
        const std::filesystem::path parent = p.parent_path();
        if (parent == p)
            break;
        p = parent;
    }
    if (p.empty())
        p = ".";
    struct statvfs st {};
    if (::statvfs(p.c_str(), &st) != 0)
        return std::nullopt;
    DiskSpace space;
    space.freeBytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    space.totalBytes = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    return space;
}

std::string gigabytesText(uint64_t bytes) {
    const uint64_t mebibytes = bytes / 1048576;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f GB", static_cast<double>(mebibytes) / 1024.0);
    return buf;
}

int startFailureStringId(JobKind kind, int errorCode) {
    switch (static_cast<CodecError>(errorCode)) {
    case CodecError::Input:
        return 195;
    case CodecError::Output:
        return 196;
    case CodecError::Encoder:
        return kind == JobKind::WmaDecode ? 197 : 201;
    case CodecError::Header:
        return kind == JobKind::WmaDecode ? 200 : 202;
    default:
        return 200;
    }
}

JobFailure jobFailure(JobKind kind, int errorCode, uint32_t detail, bool wroteOutput) {
    JobFailure f;
    f.stringId = startFailureStringId(kind, errorCode);
    switch (static_cast<CodecError>(errorCode)) {
    case CodecError::Input:
        // A WAVE file in a layout the encoder cannot take is not a file that cannot be
        // opened.
        if (kind == JobKind::Mp3Encode && detail == wmerr::kWavFormat)
            f.stringId = 197;
        // Nor is a damaged, cut-off or mislabelled audio file.
        if (kind == JobKind::Mp3Encode &&
            (detail == wmerr::kChecksumMismatch || detail == wmerr::kTruncated ||
             detail == wmerr::kContentMismatch || detail == wmerr::kNoAudio ||
             detail == wmerr::kNoAudioDecoded))
            f.stringId = 197;
        break;
    case CodecError::Output:
        f.inputAtFault = false;
        if (wroteOutput)
            f.stringId = IDS_WRITE_FAILED;
        break;
    case CodecError::Header:
        // The WMA decoder's 104: the WAV file cannot take the audio format.
        f.inputAtFault = kind != JobKind::WmaDecode;
        break;
    default:
        break;
    }
    return f;
}

} // namespace cld
