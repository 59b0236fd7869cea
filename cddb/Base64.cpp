#include "Base64.h"

#include <cstdint>

namespace cld {

std::string base64Encode(std::string_view data) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t n =
            static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8 |
            static_cast<unsigned char>(data[i + 2]);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += kAlphabet[(n >> 6) & 63];
        out += kAlphabet[n & 63];
    }
    const std::size_t left = data.size() - i;
    if (left > 0) {
        std::uint32_t n = static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16;
        if (left == 2)
            n |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8;
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += left == 2 ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

} // namespace cld
