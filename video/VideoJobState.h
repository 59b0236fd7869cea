#pragma once

#include <string>

class WmEncoderControl;
struct JobContext;

namespace cld {

// What the video settings dialogs hand to their progress dialogs, kept for the whole run
// of the program like the other jobs' choices.
struct VideoJobState {
    std::string inputPath;  // conversion
    std::string outputPath; // conversion and capture
    int profileIndex = 0;
    std::string audioInput; // capture: the audio device entry
    std::string videoInput; // capture: the video device or screen entry
};

VideoJobState& videoJobState();

// The system and user profile folders the video encoders read.
std::string videoSystemProfileFolder(const JobContext& context);
std::string videoUserProfileFolder(const JobContext& context);

// The encoder that lists profiles and capture devices for both settings dialogs:
// created on first use and kept until the program ends.
WmEncoderControl& sharedVideoEncoder(const JobContext& context);

} // namespace cld
