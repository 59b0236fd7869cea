#pragma once

#include <cstdint>

// Failure codes of the video and capture inputs, in the media facility next to the
// codes of WmErrors.h.
namespace cld::wmerr {

constexpr uint32_t kDeviceOpen = 0xC00DF020;
constexpr uint32_t kDeviceLost = 0xC00DF021;
constexpr uint32_t kNoDisplay = 0xC00DF022;
constexpr uint32_t kNoVideoStream = 0xC00DF023;
constexpr uint32_t kDeviceBusy = 0xC00DF024;
constexpr uint32_t kDeviceMissing = 0xC00DF025;
constexpr uint32_t kNoCaptureDevice = 0xC00DF026;
constexpr uint32_t kDeviceFormat = 0xC00DF027;

// The text of one of the codes above, or nullptr for any other code.
const char* videoErrorText(uint32_t code);

} // namespace cld::wmerr
