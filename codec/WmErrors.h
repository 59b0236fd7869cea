#pragma once

#include <cstdint>

// Failure codes raised by the media layer. The generic ones keep their usual numeric
// values; the others are this program's own codes in the media facility (13).
namespace cld::wmerr {

constexpr uint32_t kPending = 0x000D0000;
constexpr uint32_t kAbortedByClient = 0x000D0001;
constexpr uint32_t kNoConnection = 0xC00D0005;
constexpr uint32_t kProxyConnect = 0xC00D2EEE;
constexpr uint32_t kShutdown = 0xC00D2EF1;

constexpr uint32_t kNotImpl = 0x80004001;
constexpr uint32_t kPointer = 0x80004003;
constexpr uint32_t kFail = 0x80004005;
constexpr uint32_t kUnexpected = 0x8000FFFF;
constexpr uint32_t kOutOfMemory = 0x8007000E;
constexpr uint32_t kInvalidArg = 0x80070057;

constexpr uint32_t kInputOpen = 0xC00DF001;
constexpr uint32_t kNoAudio = 0xC00DF002;
constexpr uint32_t kOutputCreate = 0xC00DF003;
constexpr uint32_t kCodecMissing = 0xC00DF004;
constexpr uint32_t kCodecOpen = 0xC00DF005;
constexpr uint32_t kEncodeFailed = 0xC00DF006;
constexpr uint32_t kProfileIndex = 0xC00DF007;
constexpr uint32_t kNoSourceGroup = 0xC00DF008;
constexpr uint32_t kNoOutputFile = 0xC00DF009;
constexpr uint32_t kBusy = 0xC00DF00A;
constexpr uint32_t kProfileInvalid = 0xC00DF00B;
constexpr uint32_t kTimeout = 0xC00DF00C;
constexpr uint32_t kReaderState = 0xC00DF00D;
constexpr uint32_t kWavFormat = 0xC00DF00E;
constexpr uint32_t kReadFailed = 0xC00DF00F;
constexpr uint32_t kNoInput = 0xC00DF010;
constexpr uint32_t kNoVideo = 0xC00DF011;
constexpr uint32_t kDecodeFailed = 0xC00DF012;
constexpr uint32_t kWriteFailed = 0xC00DF013;
constexpr uint32_t kOutputNotFile = 0xC00DF014;
constexpr uint32_t kNoAudioDecoded = 0xC00DF015;

// A POSIX errno value carried in the Win32 facility, as the file layer reports it.
constexpr uint32_t fromErrno(int err) {
    return 0x80070000u | (static_cast<uint32_t>(err) & 0xFFFFu);
}

} // namespace cld::wmerr
