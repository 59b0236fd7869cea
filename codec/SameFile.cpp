#include "SameFile.h"

#include <filesystem>

namespace cld {

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

} // namespace cld
