// Feeds arbitrary bytes to the WAVE header parser and, when it accepts them, reads the
// samples it promises.
#include "AudioFileReader.h"
#include "Exception.h"
#include "WavHeaderParser.h"

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f)
        return 0;
    try {
        const cld::WavLayout layout = cld::parseWavHeader(f, size);
        if (layout.dataOffset + layout.dataBytes > size)
            __builtin_trap();
        if (layout.format.blockAlign == 0 || layout.dataBytes % layout.format.blockAlign)
            __builtin_trap();
        std::vector<uint8_t> buf(static_cast<size_t>(layout.dataBytes));
        if (fseeko(f, static_cast<off_t>(layout.dataOffset), SEEK_SET) == 0 && !buf.empty())
            (void)std::fread(buf.data(), 1, buf.size(), f);
    } catch (const Exception&) {
    }
    std::fclose(f);
    return 0;
}
