#pragma once

#include <cstdint>
#include <string>

// The text shown to the user for a media-layer failure code: the media message table
// first, then the system's text for codes that carry an errno, then a generic line
// naming the code.
std::string GetErrorText(uint32_t code);
