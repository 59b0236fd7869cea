// Feeds arbitrary bytes to every parser of CDDB server output: whole query, read and
// sites answers, xmcd bodies and single match and server lines.
#include "CddbClient.h"
#include "CddbParse.h"
#include "TextUtil.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<CddbMatch> matches;
    CddbClient::parseQueryAnswer(text, matches);
    XmcdEntry entry;
    CddbClient::parseReadAnswer(text, 0x12345678u, entry);
    std::vector<CddbServer> servers;
    CddbClient::parseSitesAnswer(text, servers);

    XmcdEntry body;
    parseXmcd(text, body);
    // What a dialog shows of a server's line is always UTF-8.
    if (!cld::isValidUtf8(cld::displayLine(text)) || !cld::isValidUtf8(cld::latin1ToUtf8(text)))
        __builtin_trap();

    std::optional<std::string_view> rest = text;
    std::string_view line;
    std::string a, b;
    for (int lines = 0; rest && lines < 64; ++lines) {
        rest = splitLine(*rest, line);
        CddbMatch match;
        parseMatchLine(line, match);
        CddbServer server;
        parseServerLine(line, server);
        parseComment(line, a);
        parseKeyValue(line, a, b);
        statusCode(line);
    }
    return 0;
}
