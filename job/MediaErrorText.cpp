#include "MediaErrorText.h"

#include "AppResources.h"
#include "GetErrorText.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WmErrors.h"
#include "WmVideoErrors.h"

namespace cld {

QString mediaErrorText(uint32_t code) {
    // The media components' failures, the video inputs' own and a device another program
    // holds (told as the recorders tell it) among them, have texts in the chosen language;
    // in English they are the components' own sentences. A system error is told as the
    // system words it.
    struct Told {
        uint32_t code;
        int stringId;
    };
    static constexpr Told kTold[] = {
        {wmerr::kDeviceOpen, IDS_VIDEO_DEVICE_OPEN},
        {wmerr::kDeviceLost, IDS_VIDEO_DEVICE_LOST},
        {wmerr::kNoDisplay, IDS_VIDEO_NO_DISPLAY},
        {wmerr::kNoVideoStream, IDS_VIDEO_NO_VIDEO_STREAM},
        {wmerr::kDeviceBusy, IDS_CAPTURE_DEVICE_BUSY},
        {wmerr::kDeviceMissing, IDS_VIDEO_DEVICE_MISSING},
        {wmerr::kNoCaptureDevice, IDS_VIDEO_NO_CAPTURE_DEVICE},
        {wmerr::kDeviceFormat, IDS_VIDEO_DEVICE_FORMAT},
        {wmerr::kPending, IDS_MEDIA_PENDING},
        {wmerr::kAbortedByClient, IDS_MEDIA_ABORTED_BY_CLIENT},
        {wmerr::kNoConnection, IDS_MEDIA_NO_CONNECTION},
        {wmerr::kProxyConnect, IDS_MEDIA_PROXY_CONNECT},
        {wmerr::kShutdown, IDS_MEDIA_SHUTDOWN},
        {wmerr::kNotImpl, IDS_MEDIA_NOT_IMPL},
        {wmerr::kPointer, IDS_MEDIA_POINTER},
        {wmerr::kFail, IDS_MEDIA_FAIL},
        {wmerr::kUnexpected, IDS_MEDIA_UNEXPECTED},
        {wmerr::kOutOfMemory, IDS_MEDIA_OUT_OF_MEMORY},
        {wmerr::kInvalidArg, IDS_MEDIA_INVALID_ARG},
        {wmerr::kInputOpen, IDS_MEDIA_INPUT_OPEN},
        {wmerr::kNoAudio, IDS_MEDIA_NO_AUDIO},
        {wmerr::kOutputCreate, IDS_MEDIA_OUTPUT_CREATE},
        {wmerr::kCodecMissing, IDS_MEDIA_CODEC_MISSING},
        {wmerr::kCodecOpen, IDS_MEDIA_CODEC_OPEN},
        {wmerr::kEncodeFailed, IDS_MEDIA_ENCODE_FAILED},
        {wmerr::kProfileIndex, IDS_MEDIA_PROFILE_INDEX},
        {wmerr::kNoSourceGroup, IDS_MEDIA_NO_SOURCE_GROUP},
        {wmerr::kNoOutputFile, IDS_MEDIA_NO_OUTPUT_FILE},
        {wmerr::kBusy, IDS_MEDIA_BUSY},
        {wmerr::kProfileInvalid, IDS_MEDIA_PROFILE_INVALID},
        {wmerr::kTimeout, IDS_MEDIA_TIMEOUT},
        {wmerr::kReaderState, IDS_MEDIA_READER_STATE},
        {wmerr::kWavFormat, IDS_MEDIA_WAV_FORMAT},
        {wmerr::kReadFailed, IDS_MEDIA_READ_FAILED},
        {wmerr::kNoInput, IDS_MEDIA_NO_INPUT},
        {wmerr::kNoVideo, IDS_MEDIA_NO_VIDEO},
        {wmerr::kDecodeFailed, IDS_MEDIA_DECODE_FAILED},
        {wmerr::kOutputNotFile, IDS_MEDIA_OUTPUT_NOT_FILE},
        {wmerr::kNoAudioDecoded, IDS_MEDIA_NO_AUDIO_DECODED},
        {wmerr::kChecksumMismatch, IDS_MEDIA_CHECKSUM_MISMATCH},
        {wmerr::kTruncated, IDS_MEDIA_TRUNCATED},
        {wmerr::kContentMismatch, IDS_MEDIA_CONTENT_MISMATCH},
        {wmerr::kWriteFailed, IDS_MEDIA_WRITE_FAILED},
    };
    for (const Told& t : kTold)
        if (t.code == code) {
            QString text = AppResources::string(t.stringId);
            if (text.isEmpty())
                if (const char* english = findEntry(builtinStrings(), t.stringId))
                    text = QString::fromUtf8(english);
            return text;
        }
    return QString::fromStdString(GetErrorText(code));
}

} // namespace cld
