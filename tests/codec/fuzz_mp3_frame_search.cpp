// Feeds arbitrary bytes to the MP3 frame search and then decodes what follows, as the
// decode job does.
#include "Mp3FrameSearch.h"

#include <cstdint>
#include <cstdio>
#include <lame/lame.h>

namespace {
void quiet(const char*, va_list) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f)
        return 0;
    hip_t hip = hip_decode_init();
    hip_set_errorf(hip, quiet);
    hip_set_debugf(hip, quiet);
    hip_set_msgf(hip, quiet);
    cld::Mp3StreamInfo info;
    if (cld::findFirstMp3Frame(f, hip, info, 1 << 16)) {
        if (info.channels < 1 || info.channels > 2 || info.sampleRate <= 0)
            __builtin_trap();
        static short left[4608];
        static short right[4608];
        unsigned char buf[1024];
        mp3data_struct md{};
        size_t n;
        int rounds = 0;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && ++rounds < 4096) {
            int got = hip_decode1_headers(hip, buf, n, left, right, &md);
            while (got > 0 && ++rounds < 4096)
                got = hip_decode1_headers(hip, buf, 0, left, right, &md);
        }
    }
    hip_decode_exit(hip);
    std::fclose(f);
    return 0;
}
