#pragma once

#include <QString>
#include <cstdint>

namespace cld {

// The text of a media-layer failure code in the chosen language where the program has one
// (the media components' failures, the video inputs' own, a device another program
// holds), else the media layer's own text (a system error as the system words it).
QString mediaErrorText(uint32_t code);

} // namespace cld
