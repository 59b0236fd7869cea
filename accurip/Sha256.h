#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace accurip {

// SHA-256 (FIPS 180-4) of a byte string, for the rip log's checksum line.
std::array<uint8_t, 32> sha256(const void* data, size_t size);
// The same as 64 lower-case hex digits.
std::string sha256Hex(const std::string& text);

} // namespace accurip
