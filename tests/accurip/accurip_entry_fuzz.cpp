#include "AccurateRip.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Database entries as a server might send them: the parser must accept or refuse any
// bytes without reading past them, and what it accepts must build back to the same
// bytes and verify without trouble.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<accurip::EntryResponse> responses;
    std::string error;
    if (accurip::parseEntry(data, size, responses, error)) {
        const std::vector<uint8_t> again = accurip::buildEntry(responses);
        if (again.size() != size)
            __builtin_trap();
        accurip::DiscIds ids = responses.front().ids;
        std::vector<accurip::TrackChecksums> sums(responses.front().tracks.size());
        bool other = false;
        accurip::verify(ids, sums, responses, other);
        if (other)
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
