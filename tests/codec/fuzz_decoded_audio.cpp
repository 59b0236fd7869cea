// Feeds arbitrary bytes, under the name of each compressed audio format in turn (chosen by
// the first byte), to the reader the MP3 encoder uses, and reads it to its end: damaged,
// cut-off and mislabelled files must end in an Exception, never in a crash or a hang.
#include "AudioFileReader.h"
#include "AudioInputCheck.h"
#include "Exception.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const auto& extensions = cld::audioInputExtensions();
    const std::string ext = extensions[data[0] % extensions.size()];
    char path[] = "/tmp/cld-fuzz-audio-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return 0;
    const std::string named = std::string(path) + ext;
    const bool written = write(fd, data + 1, size - 1) == static_cast<ssize_t>(size - 1);
    close(fd);
    if (written && std::rename(path, named.c_str()) == 0) {
        try {
            AudioFileReader reader;
            reader.Open(named);
            reader.GetAudioStream(0);
            const WaveFormat format = reader.GetFormat();
            if (format.blockAlign == 0 || format.channels == 0 || format.channels > 2)
                __builtin_trap();
            std::vector<uint8_t> block(static_cast<size_t>(format.blockAlign) * 4096);
            int64_t position = 0;
            while (const int64_t got = reader.ReadInto(position, 4096, block.data()))
                position += got;
        } catch (const Exception&) {
        }
        std::remove(named.c_str());
    } else {
        std::remove(path);
    }
    return 0;
}
