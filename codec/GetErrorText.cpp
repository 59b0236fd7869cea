#include "GetErrorText.h"

#include "WmErrors.h"
#include "WmVideoErrors.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

using namespace cld::wmerr;

constexpr std::array<std::pair<uint32_t, const char*>, 31> kMessages{{
    {kPending, "The requested operation is pending completion."},
    {kAbortedByClient, "The requested operation was aborted by the client."},
    {kNoConnection,
     "There is no connection established with the Windows Media server. The operation failed."},
    {kProxyConnect, "Unable to establish a connection to the proxy server. Please check your "
                    "proxy server configuration."},
    {kShutdown, "Media closed because Windows was shut down."},
    {kNotImpl, "This operation is not available in this version of the program."},
    {kPointer, "The media component was used before it had been created."},
    {kFail, "The media component reported a failure it could not describe."},
    {kUnexpected, "The media component reached a state it did not expect."},
    {kOutOfMemory, "There is not enough memory to complete the media operation."},
    {kInvalidArg, "A value handed to the media component is out of range."},
    {kInputOpen, "The input file cannot be opened, or it is not a media file this program "
                 "can read."},
    {kNoAudio, "The input file contains no audio that can be decoded."},
    {kOutputCreate, "The output file cannot be created. Check that the folder exists and that "
                    "you may write to it."},
    {kCodecMissing, "A codec that the chosen profile needs is not installed."},
    {kCodecOpen, "The codec does not accept the settings of the chosen profile."},
    {kEncodeFailed, "Encoding stopped because the codec or the output file failed."},
    {kProfileIndex, "The chosen profile does not exist in the profile collection."},
    {kNoSourceGroup, "No source has been set up for encoding."},
    {kNoOutputFile, "No output file has been named for encoding."},
    {kBusy, "The encoder is still busy with another file."},
    {kProfileInvalid, "The profile file is damaged or incomplete."},
    {kTimeout, "The media reader did not answer within ten seconds."},
    {kReaderState, "The media reader is not in the state this operation needs."},
    {kWavFormat, "The file is not a WAVE file this program can read (PCM of 8, 16, 24 or 32 "
                 "bits or 32- or 64-bit float, mono or stereo)."},
    {kReadFailed, "The input file cannot be read; it may be damaged or cut short."},
    {kNoInput, "No input has been named for the source."},
    {kNoVideo, "The input file contains no video that can be decoded."},
    {kDecodeFailed, "The input file could not be decoded."},
    {kOutputNotFile, "The output path names a device, a pipe or a folder, not a file. Choose a "
                     "file name."},
    {kNoAudioDecoded, "The input file contains no audio frame that could be decoded."},
}};

} // namespace

std::string GetErrorText(uint32_t code) {
    for (const auto& [c, text] : kMessages) {
        if (c == code)
            return text;
    }
    if (code == kWriteFailed)
        return "The output file cannot be written; the disk may be full.";
    if (const char* text = videoErrorText(code))
        return text;
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        const int err = static_cast<int>(code & 0xFFFFu);
        return std::strerror(err);
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "Unknown error (0x%08X).", code);
    return buf;
}
