// Throughput of the MusicBrainz readers: a disc id answer as large as the service gives
// for a much-pressed album (25 releases of two media, 20 tracks each), the HTTP answer
// around it, and the disc id computation.
//
//   build/bin/bench_mbrainz
#include "MbDiscId.h"
#include "MbHttp.h"
#include "MbParse.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string bigAnswer(int releases, int media, int tracks) {
    std::string json = "{\"id\":\"disc\",\"releases\":[";
    for (int r = 0; r < releases; ++r) {
        if (r)
            json += ",";
        json += "{\"id\":\"0000-" + std::to_string(r) +
                "\",\"title\":\"An album title of ordinary length\",\"date\":\"1999-01-01\","
                "\"country\":\"GB\",\"artist-credit\":[{\"name\":\"Some Artist\",\"joinphrase\":"
                "\"\"}],\"tags\":[{\"name\":\"rock\",\"count\":4},{\"name\":\"pop\",\"count\":1}],"
                "\"media\":[";
        for (int m = 0; m < media; ++m) {
            if (m)
                json += ",";
            json += "{\"position\":" + std::to_string(m + 1) + ",\"discs\":[{\"id\":\"d" +
                    std::to_string(m) + "\"}],\"tracks\":[";
            for (int t = 0; t < tracks; ++t) {
                if (t)
                    json += ",";
                json += "{\"position\":" + std::to_string(t + 1) +
                        ",\"title\":\"A track title of ordinary length\",\"length\":200000,"
                        "\"recording\":{\"id\":\"rec\",\"title\":\"A track title of ordinary "
                        "length\"}}";
            }
            json += "]}";
        }
        json += "]}";
    }
    return json + "]}";
}

} // namespace

int main() {
    const std::string body = bigAnswer(25, 2, 20);
    const std::string http = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                             "Content-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body;
    const int rounds = 200;

    auto start = Clock::now();
    std::size_t titles = 0;
    for (int i = 0; i < rounds; ++i) {
        std::vector<cld::mb::MbRelease> releases;
        std::string error;
        cld::mb::parseDiscAnswer(body, "d1", 20, releases, error);
        for (const auto& release : releases)
            titles += release.trackTitles.size();
    }
    double seconds = secondsSince(start);
    std::printf("disc answer (%zu bytes, 25 releases): %.2f ms each, %.1f MB/s (%zu titles)\n",
                body.size(), seconds * 1000 / rounds,
                static_cast<double>(body.size()) * rounds / seconds / 1e6, titles);

    start = Clock::now();
    std::size_t bytes = 0;
    for (int i = 0; i < rounds; ++i)
        bytes += cld::mb::parseHttpAnswer(http, 4 * 1024 * 1024).body.size();
    seconds = secondsSince(start);
    std::printf("HTTP answer around it: %.3f ms each (%zu body bytes)\n", seconds * 1000 / rounds,
                bytes / rounds);

    const int ids = 20000;
    start = Clock::now();
    std::size_t length = 0;
    for (int i = 0; i < ids; ++i) {
        std::vector<std::int32_t> firsts;
        for (int t = 0; t < 12; ++t)
            firsts.push_back(t * 15000 + i % 100);
        length += cld::mb::musicBrainzDiscId(cld::mb::tocFromSectors(firsts, 200000)).size();
    }
    seconds = secondsSince(start);
    std::printf("disc ids: %.2f us each (%zu characters)\n", seconds * 1e6 / ids, length / ids);
    return 0;
}
