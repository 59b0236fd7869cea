// Feeds arbitrary bytes to the readers of MusicBrainz and Cover Art Archive answers: the
// HTTP answer (header, chunks, lengths) and the disc id answer's JSON.
#include "MbHttp.h"
#include "MbParse.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const cld::mb::HttpAnswer answer = cld::mb::parseHttpAnswer(text, 64 * 1024);
    if (answer.body.size() > 64 * 1024)
        __builtin_trap();

    std::vector<cld::mb::MbRelease> releases;
    std::string error;
    const bool ok = cld::mb::parseDiscAnswer(text, "disc", 3, releases, error);
    if (!ok && !releases.empty())
        __builtin_trap();
    for (const cld::mb::MbRelease& release : releases)
        if (release.id.empty())
            __builtin_trap();
    cld::mb::parseDiscAnswer(answer.body, "disc", 3, releases, error);
    cld::mb::isCoverImage(text);
    cld::mb::HttpUrl url;
    cld::mb::parseHttpUrl(text, url);
    return 0;
}
