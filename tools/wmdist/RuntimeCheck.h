#pragma once

#include <string>
#include <vector>

namespace cld {

// What part of the media runtime an installer stands for.
enum class RuntimePart {
    Format = 1,  // reading and writing the ASF container with Windows Media audio and video
    Encoder = 2, // encoding Windows Media audio and video into ASF files
};

// The FFmpeg components a part needs that are missing, as "kind name" ("encoder wmav2").
std::vector<std::string> missingComponents(RuntimePart part);

// The user's media profile folder: $XDG_DATA_HOME (or ~/.local/share) + "/Quorvane/Profiles".
std::string userProfileFolder();

} // namespace cld
