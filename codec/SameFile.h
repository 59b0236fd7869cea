#pragma once

#include <string>

namespace cld {

// True when both paths name one existing file (also through links), so that writing the
// output would destroy the input.
bool sameFile(const std::string& a, const std::string& b);

} // namespace cld
