#pragma once

#include <span>

// The pictures compiled into the program (window mask, background, button bitmaps, icon),
// by resource type ("BITMAP", "ICON") and id. Empty when there is no such resource.
std::span<const unsigned char> cldProgramResource(const char* type, int id);
