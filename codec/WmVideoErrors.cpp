#include "WmVideoErrors.h"

namespace cld::wmerr {

const char* VideoErrorText(uint32_t code) {
    switch (code) {
    case kDeviceOpen:
        return "The capture device cannot be opened. It may be missing, or another program "
               "may be using it.";
    case kDeviceLost:
        return "The capture device stopped delivering data; it may have been disconnected. "
               "What was recorded so far has been kept.";
    case kNoDisplay:
        return "The screen cannot be captured because no display is available.";
    case kNoVideoStream:
        return "The chosen profile has no video stream.";
    default:
        return nullptr;
    }
}

} // namespace cld::wmerr
