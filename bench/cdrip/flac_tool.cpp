// Encodes a 44-byte-header WAV file of CD audio to FLAC with the grabber's own FLAC
// writer, fed in chunks of the size the ripper delivers; the process flac_bench times.
//
//   flac_tool IN.wav OUT.flac

#include "FlacWriter.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: flac_tool IN.wav OUT.flac\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in) {
        std::perror(argv[1]);
        return 1;
    }
    unsigned char header[44];
    if (std::fread(header, 1, sizeof header, in) != sizeof header) {
        std::fprintf(stderr, "%s: not a WAV file\n", argv[1]);
        std::fclose(in);
        return 1;
    }
    const std::uint64_t dataBytes = header[40] | (header[41] << 8) | (header[42] << 16) |
                                    (static_cast<std::uint64_t>(header[43]) << 24);
    FlacWriter flac;
    if (!flac.create(argv[2], {"TITLE=Benchmark", "TRACKNUMBER=1"}, dataBytes / 4)) {
        std::fprintf(stderr, "%s\n", flac.error().c_str());
        std::fclose(in);
        return 1;
    }
    // 27 sectors: a chunk of the plain reader.
    std::vector<std::uint8_t> chunk(27 * 2352);
    std::size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        if (!flac.append(chunk.data(), n)) {
            std::fprintf(stderr, "%s\n", flac.error().c_str());
            std::fclose(in);
            return 1;
        }
    }
    std::fclose(in);
    if (!flac.finish()) {
        std::fprintf(stderr, "%s\n", flac.error().c_str());
        return 1;
    }
    return 0;
}
