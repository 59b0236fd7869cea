// Throughput of the CDDB answer parsers and of the CD information cache.
//
//   build/bin/bench_cddb [cache-folder]
//
// The cache part registers its data source in a user data source file inside the
// folder (a fresh temporary folder by default), never in the user's own.
#include "CdCacheDatabase.h"
#include "CddbClient.h"
#include "CddbParse.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string bigEntry(int tracks, const char* eol) {
    std::string body = std::string("210 rock 7a0a8a09 entry follows") + eol + "# xmcd" + eol +
                       "# Track frame offsets:" + eol;
    for (int i = 0; i < tracks; ++i)
        body += "#\t" + std::to_string(150 + i * 1000) + eol;
    body += std::string("#") + eol + "# Disc length: 4000 seconds" + eol +
            "# Submitted via: bench 1.0" + eol + "DISCID=7a0a8a09" + eol + "DTITLE=Artist / Album" +
            eol;
    for (int i = 0; i < tracks; ++i)
        body += "TTITLE" + std::to_string(i) + "=A track title of ordinary length" + eol;
    return body;
}

void benchParse(const char* label, const std::string& body) {
    const int rounds = 20;
    const auto start = Clock::now();
    std::size_t titles = 0;
    for (int i = 0; i < rounds; ++i) {
        XmcdEntry entry;
        if (!parseXmcd(body, entry)) {
            std::fprintf(stderr, "parse failed\n");
            std::exit(1);
        }
        titles += entry.trackTitles.size();
    }
    const double took = secondsSince(start);
    std::printf("parseXmcd %-6s %8.1f MiB/s  (%zu bytes, %zu titles per entry)\n", label,
                static_cast<double>(body.size()) * rounds / took / (1024.0 * 1024.0), body.size(),
                titles / rounds);
}

} // namespace

int main(int argc, char** argv) {
    // About 4 MiB, the largest answer the client accepts.
    benchParse("CR LF", bigEntry(60000, "\r\n"));
    benchParse("LF", bigEntry(60000, "\n"));

    std::filesystem::path folder;
    if (argc > 1) {
        folder = argv[1];
    } else {
        char pattern[] = "/tmp/bench_cddb_XXXXXX";
        if (!mkdtemp(pattern))
            return 1;
        folder = pattern;
    }
    setenv("ODBCINI", (folder / "odbc.ini").c_str(), 1);
    const std::string path = (folder / kCdCacheFileName).string();
    CdCacheDatabase db;
    if (!db.open("CLD CDDB bench", path, kCdCacheDescription)) {
        std::fprintf(stderr, "cache: %s\n", db.lastError().c_str());
        return 1;
    }
    const int discs = 200;
    auto start = Clock::now();
    for (int i = 0; i < discs; ++i) {
        CdInfoRecord record;
        record.discId = static_cast<std::uint32_t>(0x10000 + i);
        record.album = "Album " + std::to_string(i);
        record.artist = "Artist";
        record.genre = "Rock";
        record.year = 2002;
        for (int t = 0; t < 15; ++t)
            record.trackTitles.push_back("Track " + std::to_string(t));
        if (!db.store(record)) {
            std::fprintf(stderr, "store: %s\n", db.lastError().c_str());
            return 1;
        }
    }
    std::printf("cache store  %8.2f ms per disc of 15 tracks\n",
                secondsSince(start) * 1000.0 / discs);
    start = Clock::now();
    for (int i = 0; i < discs; ++i)
        if (!db.load(static_cast<std::uint32_t>(0x10000 + i)))
            return 1;
    std::printf("cache load   %8.2f ms per disc among %d\n", secondsSince(start) * 1000.0 / discs,
                discs);
    db.close();
    if (argc <= 1)
        std::filesystem::remove_all(folder);
    return 0;
}
