#pragma once

#include <string>

namespace cld {

// What a grab error code of the ripper library means, in a sentence (empty for none).
std::string grabErrorText(int errorCode);

} // namespace cld
