#include "Ctdb.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Look-up answers as a server might send them: the parser must accept or refuse any bytes
// without reading past them, give a reason when it refuses, and what it accepts must be
// usable by the verdict.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<accurip::CtdbEntry> entries;
    std::string error;
    if (accurip::parseCtdbAnswer(reinterpret_cast<const char*>(data), size, entries, error)) {
        for (const accurip::CtdbEntry& e : entries)
            if (e.trackCrcs.empty() || e.trackCrcs.size() > 99 || e.confidence < 0)
                __builtin_trap();
        if (!entries.empty()) {
            std::vector<accurip::CtdbTrackSums> tracks;
            for (size_t i = 0; i < entries.front().trackCrcs.size(); ++i) {
                accurip::CtdbTrackChecksummer c(600);
                std::vector<uint8_t> audio(600 * 4, static_cast<uint8_t>(i));
                c.add(audio.data(), audio.size());
                tracks.push_back(c.result());
            }
            accurip::ctdbVerify(accurip::CtdbDisc(std::move(tracks)), entries, 40);
        }
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
