#pragma once

#include <string>
#include <vector>

// One capture input the encoder can reach: the audio devices (ALSA) and video devices
// (Video4Linux2), both reached as "DEVICE://" + resource, and the screen (X11), reached
// as "ScreenCap://" + the plug-in name.
struct WmSourcePluginInfo {
    enum Kind { kSource = 1 };
    enum MediaType { kAudio = 1, kVideo = 2 };

    std::string name;
    std::string scheme;
    int kind = kSource;
    int mediaTypes = 0; // kAudio | kVideo bits
    bool hasResources = false;
    std::vector<std::string> resources;
    // Beside each resource: the text a user recognises it by, and whether another
    // program holds it now (empty for plug-ins that do not know).
    std::vector<std::string> resourceDescriptions;
    std::vector<bool> resourceBusy;
};

// The plug-in names of the capture inputs.
inline constexpr const char* kAlsaPluginName = "ALSA Audio Capture";
inline constexpr const char* kV4l2PluginName = "Video4Linux2 Video Capture";
inline constexpr const char* kScreenPluginName = "X11 Screen Capture";

// Asks the device layer which capture inputs exist now, in a fixed plug-in order:
// audio devices, video devices, screen.
std::vector<WmSourcePluginInfo> listSourcePlugins();
