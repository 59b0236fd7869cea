// Throughput of the CDDB answer parsers, and the CD information cache's load and store
// times with 20,000 discs in it, on its SQLite file and, when CLD_TEST_POSTGRES names a
// server (tools/pg-test-server.sh), on PostgreSQL.
//
//   build/bin/bench_cddb [cache-folder] [discs]
//
// The cache part registers its data sources in a user data source file inside the
// folder (a fresh temporary folder by default), never in the user's own. On PostgreSQL it
// works in a schema of its own, dropped at the end.
#include "CdCacheDatabase.h"
#include "CddbClient.h"
#include "CddbParse.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

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

CdInfoRecord benchDisc(std::uint32_t id, int round) {
    CdInfoRecord record;
    record.discId = id;
    record.album = "Album " + std::to_string(id) + (round ? " (again)" : "");
    record.artist = "Artist's Band";
    record.genre = "Rock";
    record.year = 1970 + static_cast<int>(id % 50);
    for (int t = 0; t < 14; ++t)
        record.trackTitles.push_back("Track " + std::to_string(t + 1) + " of disc " +
                                     std::to_string(id));
    return record;
}

struct Figures {
    double mean = 0;
    double p99 = 0;
    double max = 0;
};

Figures figuresOf(std::vector<double> ms) {
    Figures f;
    if (ms.empty())
        return f;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms)
        sum += v;
    f.mean = sum / static_cast<double>(ms.size());
    f.p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    f.max = ms.back();
    return f;
}

// Fills the cache with `discs` discs in one transaction (not measured), then times
// single stores (new discs and discs stored again) and loads of random discs.
bool benchCache(const char* label, CdCacheDatabase& db, int discs) {
    constexpr std::uint32_t kFirst = 0x01000000;
    auto start = Clock::now();
    if (!db.beginTransaction())
        return false;
    for (int i = 0; i < discs; ++i) {
        const CdInfoRecord record = benchDisc(kFirst + static_cast<std::uint32_t>(i), 0);
        SqlTable info;
        info.addColumn("DiskID", SqlColumn::Text);
        info.addColumn("Album", SqlColumn::Text);
        info.addColumn("Artist", SqlColumn::Text);
        info.addColumn("Genre", SqlColumn::Text);
        info.addColumn("Year", SqlColumn::Integer);
        const int row = info.addRow();
        info.setText(row, 0, CdCacheDatabase::keyOf(record.discId));
        info.setText(row, 1, record.album);
        info.setText(row, 2, record.artist);
        info.setText(row, 3, record.genre);
        info.setInt(row, 4, record.year);
        SqlTable tracks;
        tracks.addColumn("DiskID", SqlColumn::Text);
        tracks.addColumn("Name", SqlColumn::Text);
        for (const std::string& title : record.trackTitles) {
            const int t = tracks.addRow();
            tracks.setText(t, 0, CdCacheDatabase::keyOf(record.discId));
            tracks.setText(t, 1, title);
        }
        if (!db.insertAll("CDInfo", info) || !db.insertAll("Tracks", tracks)) {
            std::fprintf(stderr, "%s fill: %s\n", label, db.lastError().c_str());
            db.rollback();
            return false;
        }
    }
    if (!db.commit())
        return false;
    std::printf("%-10s filled with %d discs of 14 tracks in %.1f s\n", label, discs,
                secondsSince(start));

    std::mt19937 random(2002);
    std::vector<double> stores, loads;
    const int storeCount = 500;
    for (int i = 0; i < storeCount; ++i) {
        // Half new discs, half discs already there.
        const std::uint32_t id =
            i % 2 ? kFirst + static_cast<std::uint32_t>(random() % static_cast<unsigned>(discs))
                  : kFirst + static_cast<std::uint32_t>(discs + i);
        const CdInfoRecord record = benchDisc(id, 1);
        start = Clock::now();
        if (!db.store(record)) {
            std::fprintf(stderr, "%s store: %s\n", label, db.lastError().c_str());
            return false;
        }
        stores.push_back(secondsSince(start) * 1000.0);
    }
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t id =
            kFirst + static_cast<std::uint32_t>(random() % static_cast<unsigned>(discs));
        start = Clock::now();
        const auto record = db.load(id);
        loads.push_back(secondsSince(start) * 1000.0);
        if (!record || record->trackTitles.size() != 14) {
            std::fprintf(stderr, "%s load of %X failed: %s\n", label, id, db.lastError().c_str());
            return false;
        }
    }
    const Figures s = figuresOf(stores), l = figuresOf(loads);
    std::printf("%-10s store %7.2f ms per disc (p99 %.2f, max %.2f)\n", label, s.mean, s.p99,
                s.max);
    std::printf("%-10s load  %7.2f ms per disc (p99 %.2f, max %.2f) among %d\n", label, l.mean,
                l.p99, l.max, discs);
    return true;
}

std::vector<std::pair<std::string, std::string>> postgresKeys() {
    std::vector<std::pair<std::string, std::string>> keys;
    const char* text = std::getenv("CLD_TEST_POSTGRES");
    std::stringstream in(text ? text : "");
    std::string item;
    while (std::getline(in, item, ';')) {
        const auto equals = item.find('=');
        if (equals != std::string::npos && equals > 0)
            keys.emplace_back(item.substr(0, equals), item.substr(equals + 1));
    }
    return keys;
}

} // namespace

int main(int argc, char** argv) {
    // About 4 MiB, the largest answer the client accepts.
    benchParse("CR LF", bigEntry(60000, "\r\n"));
    benchParse("LF", bigEntry(60000, "\n"));

    std::filesystem::path folder;
    const bool ownFolder = argc <= 1 || !*argv[1];
    if (!ownFolder) {
        folder = argv[1];
    } else {
        char pattern[] = "/tmp/bench_cddb_XXXXXX";
        if (!mkdtemp(pattern))
            return 1;
        folder = pattern;
    }
    const int discs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20000;
    const std::string ini = (folder / "odbc.ini").string();
    setenv("ODBCINI", ini.c_str(), 1);
    int status = 0;
    {
        const std::string path = (folder / kCdCacheFileName).string();
        std::filesystem::remove(path);
        CdCacheDatabase db;
        if (!db.open("CLD CDDB bench", path, kCdCacheDescription) ||
            !benchCache("SQLite", db, discs)) {
            std::fprintf(stderr, "SQLite cache: %s\n", db.lastError().c_str());
            status = 1;
        }
        db.close();
    }

    const auto keys = postgresKeys();
    if (keys.empty()) {
        std::printf("PostgreSQL: CLD_TEST_POSTGRES is not set (tools/pg-test-server.sh start)\n");
    } else {
        std::string connection = "DRIVER={PostgreSQL Unicode};";
        std::string section = "[CLD CDDB bench pg]\nDriver=PostgreSQL Unicode\n";
        for (const auto& [key, value] : keys) {
            connection += key + "=" + value + ";";
            section += key + "=" + value + "\n";
        }
        const std::string schema = "cld_bench_" + std::to_string(getpid());
        section += "ConnSettings=SET search_path TO " + schema + "\n";
        std::ofstream(ini, std::ios::app) << "\n" << section;
        OdbcDatabase admin;
        if (!admin.connectDriver(connection) || !admin.execute("CREATE SCHEMA " + schema)) {
            std::fprintf(stderr, "PostgreSQL: %s\n", admin.lastError().c_str());
            status = 1;
        } else {
            {
                CdCacheDatabase db;
                if (!db.open("CLD CDDB bench pg", (folder / "unused").string(),
                             kCdCacheDescription) ||
                    !benchCache("PostgreSQL", db, discs)) {
                    std::fprintf(stderr, "PostgreSQL cache: %s\n", db.lastError().c_str());
                    status = 1;
                }
            }
            admin.execute("DROP SCHEMA " + schema + " CASCADE");
        }
    }
    if (ownFolder)
        std::filesystem::remove_all(folder);
    return status;
}
