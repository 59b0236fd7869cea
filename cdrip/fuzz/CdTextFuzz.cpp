#include "CdTextParser.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Seeds are kept as text: an input starting with "hex:" is decoded from hexadecimal
// digits (other characters skipped); any other input is used as it stands.
std::vector<uint8_t> decode(const uint8_t* data, size_t size) {
    if (size < 4 || data[0] != 'h' || data[1] != 'e' || data[2] != 'x' || data[3] != ':')
        return {data, data + size};
    std::vector<uint8_t> out;
    int high = -1;
    for (size_t i = 4; i < size; ++i) {
        const uint8_t c = data[i];
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    return out;
}

} // namespace

// Any block a drive returns for READ TOC format 5 must parse without reading outside
// it; the first byte picks the number of audio tracks the names are matched to.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes = decode(data, size);
    if (bytes.empty())
        return 0;
    cld::CdText text;
    cld::CdTextParser::parse(bytes.data() + 1, bytes.size() - 1, bytes[0] % 100, text);
    return 0;
}
