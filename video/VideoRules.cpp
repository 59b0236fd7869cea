#include "VideoRules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace cld {

std::string wmvOutputName(const std::string& input) {
    const size_t slash = input.find_last_of('/');
    const size_t dot = input.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string ext = input.substr(dot);
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        constexpr std::array kReplaced{".avi", ".asf", ".mpg", ".bmp"};
        if (std::find(kReplaced.begin(), kReplaced.end(), ext) != kReplaced.end())
            return input.substr(0, dot) + ".wmv";
    }
    return input + ".wmv";
}

bool isVideoProfile(const WmProfileInfo& info) {
    return info.audioStreams > 0 && info.videoStreams > 0 && info.scriptStreams == 0;
}

std::string formatClock(int64_t milliseconds) {
    const int64_t seconds = std::max<int64_t>(milliseconds, 0) / 1000;
    const int64_t minutes = seconds / 60;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(minutes / 60),
                  static_cast<long long>(minutes % 60), static_cast<long long>(seconds % 60));
    return text;
}

std::string formatMegabytes(int64_t bytes) {
    char text[48];
    std::snprintf(text, sizeof text, "%.1f MB",
                  static_cast<double>(std::max<int64_t>(bytes, 0)) / 1024.0 / 1024.0);
    return text;
}

int progressPercent(int64_t encodedMilliseconds, int64_t duration100ns) {
    if (duration100ns < 1'000'000 || encodedMilliseconds <= 0)
        return 0;
    const int64_t percent = encodedMilliseconds / (duration100ns / 1'000'000);
    return static_cast<int>(std::min<int64_t>(percent, 100));
}

CaptureDeviceLists buildCaptureDeviceLists(const std::vector<WmSourcePluginInfo>& plugins,
                                           const std::string& busyNote) {
    CaptureDeviceLists lists;
    for (const WmSourcePluginInfo& p : plugins) {
        if (p.kind != WmSourcePluginInfo::kSource)
            continue;
        std::vector<std::pair<std::string, std::string>> entries; // entry, shown text
        if (p.scheme == "DEVICE" && p.hasResources) {
            for (size_t i = 0; i < p.resources.size(); ++i) {
                const std::string entry = "DEVICE://" + p.resources[i];
                std::string text =
                    i < p.resourceDescriptions.size() && !p.resourceDescriptions[i].empty()
                        ? p.resourceDescriptions[i]
                        : entry;
                if (i < p.resourceBusy.size() && p.resourceBusy[i] && !busyNote.empty())
                    text += " " + busyNote;
                entries.emplace_back(entry, text);
            }
        } else if (p.scheme == "ScreenCap") {
            entries.emplace_back("ScreenCap://" + p.name, "ScreenCap://" + p.name);
        }
        for (const auto& [entry, text] : entries) {
            if (p.mediaTypes & WmSourcePluginInfo::kVideo) {
                lists.video.push_back(entry);
                lists.videoNames.push_back(text);
            }
            if (p.mediaTypes & WmSourcePluginInfo::kAudio) {
                lists.audio.push_back(entry);
                lists.audioNames.push_back(text);
            }
        }
    }
    return lists;
}

bool isScreenCaptureEntry(const std::string& entry) {
    return entry.rfind("ScreenCap://", 0) == 0;
}

} // namespace cld
