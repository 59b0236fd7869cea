#pragma once

#include <string>
#include <string_view>

namespace cld {

// Base64 with the standard alphabet and "=" padding, on one line (RFC 4648, section 4).
std::string base64Encode(std::string_view data);

} // namespace cld
