#include "CueSheet.h"
#include "DiscImage.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Any cue sheet text must parse or fail cleanly; a parsed one is laid out as a disc
// (its FILE names point nowhere, so the layout fails cleanly too).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vdrive::CueSheet cue;
    std::string error;
    if (vdrive::CueSheet::parse(text, "/nonexistent/fuzz.cue", cue, error)) {
        auto image = vdrive::DiscImage::build(cue, error);
        (void)image;
    }
    return 0;
}
