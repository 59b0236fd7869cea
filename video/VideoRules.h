#pragma once

#include "WmEncoderControl.h"
#include "WmSourcePlugins.h"

#include <cstdint>
#include <string>
#include <vector>

// What the video dialogs compute, kept apart from the widgets.
namespace cld {

// The output file proposed for an input: ".avi", ".asf", ".mpg" and ".bmp" (in any case)
// become ".wmv"; any other name keeps its extension and gets ".wmv" appended.
std::string wmvOutputName(const std::string& input);

// A profile the video dialogs offer: sound and pictures, no script commands.
bool isVideoProfile(const WmProfileInfo& info);

// Encoded or elapsed time as "HH:MM:SS" (hours are not wrapped).
std::string formatClock(int64_t milliseconds);

// A file size as "12.3 MB".
std::string formatMegabytes(int64_t bytes);

// Percent done from the encoded milliseconds and the input's length in 100 ns units;
// 0 while the length is under a tenth of a second (unknown), never above 100.
int progressPercent(int64_t encodedMilliseconds, int64_t duration100ns);

// The capture device lists: "DEVICE://" + resource for every resource of a device
// plug-in, "ScreenCap://" + plug-in name for a screen plug-in; an entry goes into the
// video list and/or the audio list after the plug-in's media types.
// Beside each entry, the text the list shows: the device's description where the
// plug-in gives one (followed by `busyNote` for a device another program holds), the entry
// itself otherwise.
struct CaptureDeviceLists {
    std::vector<std::string> video;
    std::vector<std::string> audio;
    std::vector<std::string> videoNames;
    std::vector<std::string> audioNames;
};
CaptureDeviceLists buildCaptureDeviceLists(const std::vector<WmSourcePluginInfo>& plugins,
                                           const std::string& busyNote = std::string());

// True for a screen-capture entry ("ScreenCap://...").
bool isScreenCaptureEntry(const std::string& entry);

} // namespace cld
