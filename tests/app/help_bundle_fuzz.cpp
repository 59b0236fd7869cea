#include "HelpBundle.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HelpBundle bundle;
    if (bundle.parse(std::string_view(reinterpret_cast<const char*>(data), size))) {
        // Whatever parsed must be reachable and must serialise back to something equal.
        const std::string* first = bundle.find(bundle.defaultTopic());
        if (!first)
            __builtin_trap();
    }
    return 0;
}
