#include "WmVideoErrors.h"

namespace cld::wmerr {

const char* videoErrorText(uint32_t code) {
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
    case kDeviceBusy:
        return "Another application is recording audio. Stop recording with this other "
               "application and then try to record again.";
    case kDeviceMissing:
        return "The capture device cannot be found. It may have been unplugged.";
    case kNoCaptureDevice:
        return "No recording device was found.";
    case kDeviceFormat:
        return "The recording device offers none of the formats Calderine records in.";
    default:
        return nullptr;
    }
}

} // namespace cld::wmerr
