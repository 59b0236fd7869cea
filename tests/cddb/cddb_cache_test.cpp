#include "CdCacheDatabase.h"
#include "Log.h"
#include "Processes.h"
#include "SqliteFileLock.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using cldtest::ScopedEnv;
using cldtest::TempDir;

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

CdInfoRecord sampleDisc(std::uint32_t id) {
    CdInfoRecord record;
    record.discId = id;
    record.album = "Don't Stop";
    record.artist = "Artist's Band";
    record.genre = "Rock";
    record.year = 1999;
    record.trackTitles = {"One", "Two", "Three"};
    return record;
}

// A disc of 99 tracks whose titles name their disc and track and differ in length, so
// that rows of different sizes fill the space that deleted discs leave behind.
CdInfoRecord bigDisc(std::uint32_t id) {
    CdInfoRecord record;
    record.discId = id;
    record.album = "Album " + std::to_string(id);
    record.artist = "Artist";
    record.genre = "Rock";
    record.year = 2001;
    for (int track = 1; track <= 99; ++track)
        record.trackTitles.push_back(
            std::to_string(id) + "/" + std::to_string(track) + " " +
            std::string(static_cast<std::size_t>((id * 7 + track * 13) % 90), 'x'));
    return record;
}

// Memory that forked children and the parent share.
template <class T> class Shared {
public:
    Shared() {
        void* memory =
            mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        m_value = memory == MAP_FAILED ? nullptr : new (memory) T();
    }
    ~Shared() {
        if (m_value) {
            m_value->~T();
            munmap(m_value, sizeof(T));
        }
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;
    T* get() const { return m_value; }
    T* operator->() const { return m_value; }

private:
    T* m_value = nullptr;
};

enum class Backend { SQLite, PostgreSQL };

constexpr const char* kPostgresDriver = "PostgreSQL Unicode";
constexpr const char* kPostgresVariable = "CLD_TEST_POSTGRES";

// The keys of a data source for the PostgreSQL test server ("Servername=...;Port=...;
// Database=...;Username=..."), as tools/pg-test-server.sh prints them. Empty when unset.
std::vector<std::pair<std::string, std::string>> postgresKeys() {
    std::vector<std::pair<std::string, std::string>> keys;
    const char* text = std::getenv(kPostgresVariable);
    std::stringstream in(text ? text : "");
    std::string item;
    while (std::getline(in, item, ';')) {
        const auto equals = item.find('=');
        if (equals != std::string::npos && equals > 0)
            keys.emplace_back(item.substr(0, equals), item.substr(equals + 1));
    }
    return keys;
}

std::string postgresConnection() {
    std::string text = std::string("DRIVER={") + kPostgresDriver + "};";
    for (const auto& [key, value] : postgresKeys())
        text += key + "=" + value + ";";
    return text;
}

// Every test gets its own home, its own user data source file and its own data source
// name (the driver manager keeps data source look-ups for a while within a process). On
// PostgreSQL the data source points at a schema of the test's own, dropped afterwards.
class CacheFixture : public ::testing::Test {
protected:
    CacheFixture()
        : m_home("HOME", m_dir.path().string()),
          m_odbcIni("ODBCINI", (m_dir.path() / "odbc.ini").string()),
          m_dbPath((m_dir.path() / kCdCacheFileName).string()),
          m_dataSource("CLD CDDB T" + std::to_string(++s_count)) {}

    virtual Backend backend() const = 0;
    bool postgres() const { return backend() == Backend::PostgreSQL; }

    void SetUp() override {
        if (!postgres())
            return;
        if (postgresKeys().empty())
            GTEST_SKIP() << kPostgresVariable
                         << " is not set: start a PostgreSQL test server with "
                            "'eval \"$(tools/pg-test-server.sh start)\"'";
        m_schema = "cld_t" + std::to_string(getpid()) + "_" + std::to_string(s_count);
        OdbcDatabase admin;
        ASSERT_TRUE(admin.connectDriver(postgresConnection())) << admin.lastError();
        admin.execute("DROP SCHEMA IF EXISTS " + m_schema + " CASCADE");
        ASSERT_TRUE(admin.execute("CREATE SCHEMA " + m_schema)) << admin.lastError();
        std::string ini = "[" + m_dataSource + "]\nDriver=" + kPostgresDriver + "\n";
        for (const auto& [key, value] : postgresKeys())
            ini += key + "=" + value + "\n";
        ini += "ConnSettings=SET search_path TO " + m_schema + "\n";
        writeFile(m_dir.path() / "odbc.ini", ini);
    }

    void TearDown() override {
        if (m_schema.empty())
            return;
        OdbcDatabase admin;
        if (admin.connectDriver(postgresConnection()))
            admin.execute("DROP SCHEMA IF EXISTS " + m_schema + " CASCADE");
    }

    const std::string& dataSource() const { return m_dataSource; }

    bool open(CdCacheDatabase& db) { return db.open(dataSource(), m_dbPath, kCdCacheDescription); }

    int rowCount(CdCacheDatabase& db, const std::string& sql) {
        SqlTable result;
        EXPECT_TRUE(db.execute(sql, result)) << db.lastError();
        return result.rowCount();
    }

    TempDir m_dir;
    ScopedEnv m_home;
    ScopedEnv m_odbcIni;
    std::string m_dbPath;
    std::string m_dataSource;
    std::string m_schema;
    static inline int s_count = 0;
};

// The cache's behaviour, on the SQLite file and on a PostgreSQL server alike.
class CdCache : public CacheFixture, public ::testing::WithParamInterface<Backend> {
protected:
    Backend backend() const override { return GetParam(); }
};

// What only a file cache does: create, register, move, mend.
class CdCacheFile : public CacheFixture {
protected:
    Backend backend() const override { return Backend::SQLite; }
};

class CdCacheServer : public CacheFixture {
protected:
    Backend backend() const override { return Backend::PostgreSQL; }
};

// Collects what the cache logs.
class LogCapture {
public:
    LogCapture()
        : m_previous(cld::setLogSink([this](cld::LogLevel, const std::string& text) {
              std::lock_guard lock(m_mutex);
              m_lines.push_back(text);
          })) {}
    ~LogCapture() { cld::setLogSink(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::vector<std::string> lines() {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    cld::LogSink m_previous;
};

} // namespace

TEST(SqlTableModel, CellsTypesAndBounds) {
    SqlTable table;
    EXPECT_EQ(table.rowCount(), 0);
    const int name = table.addColumn("Name", SqlColumn::Text);
    EXPECT_EQ(table.addRow(), 0);
    const int year = table.addColumn("Year", SqlColumn::Integer, true);
    EXPECT_EQ(table.rowCount(), 1); // a column added later gets a cell for every row
    table.setText(0, name, "x");
    table.setInt(0, name, 5);    // wrong type: ignored
    table.setText(0, year, "y"); // wrong type: ignored
    table.setInt(0, year, 2001);
    EXPECT_EQ(table.text(0, name), "x");
    EXPECT_EQ(table.integer(0, name), 0);
    EXPECT_EQ(table.text(0, year), "");
    EXPECT_EQ(table.integer(0, year), 2001);
    EXPECT_TRUE(table.isUnique(year));
    EXPECT_EQ(table.columnType(7), SqlColumn::Invalid);
    EXPECT_EQ(table.text(3, 0), "");
    EXPECT_EQ(table.integer(-1, 1), 0);
    EXPECT_EQ(table.columnName(-1), "");
}

TEST(SqlTableModel, StatementTexts) {
    SqlTable table;
    table.addColumn("DiskID", SqlColumn::Text, true);
    table.addColumn("Album", SqlColumn::Text);
    table.addColumn("Year", SqlColumn::Integer);
    EXPECT_EQ(OdbcDatabase::createStatement("CDInfo", table),
              "CREATE TABLE CDInfo (DiskID TEXT UNIQUE, Album TEXT, Year INTEGER)");
    const int row = table.addRow();
    table.setText(row, 0, "ABCD");
    table.setText(row, 1, "Don't 'Stop'");
    table.setInt(row, 2, -7);
    EXPECT_EQ(OdbcDatabase::insertStatement("CDInfo", table, row),
              "INSERT INTO CDInfo (DiskID, Album, Year) VALUES ('ABCD', 'Don''t ''Stop''', '-7')");
}

TEST(CdCacheKey, UpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(CdCacheDatabase::keyOf(0x0000abcd), "ABCD");
    EXPECT_EQ(CdCacheDatabase::keyOf(0x0a1b2c3d), "A1B2C3D");
    EXPECT_EQ(CdCacheDatabase::keyOf(0), "0");
}

TEST(CdCachePath, ProgramFolderOrUserDataFolder) {
    TempDir dir;
    EXPECT_EQ(cdCacheFilePath(dir.path()), dir.path() / "CDDBCache.mdb");

    ScopedEnv xdg("XDG_DATA_HOME", (dir.path() / "data").string());
    const auto missing = dir.path() / "no-such-folder";
    const auto chosen = cdCacheFilePath(missing);
    EXPECT_EQ(chosen, dir.path() / "data" / "Quorvane" / "Calderine 2002" / "CDDBCache.mdb");
    EXPECT_TRUE(std::filesystem::is_directory(chosen.parent_path()));

    if (geteuid() != 0) { // permissions do not stop root
        const auto readOnly = dir.path() / "ro";
        std::filesystem::create_directory(readOnly);
        ::chmod(readOnly.c_str(), 0555);
        EXPECT_EQ(cdCacheFilePath(readOnly), chosen);
        ::chmod(readOnly.c_str(), 0755);
    }
}

TEST_P(CdCache, ExecuteBeforeOpenIsNotConnected) {
    CdCacheDatabase db;
    SqlTable result;
    EXPECT_FALSE(db.execute("SELECT 1", result));
    EXPECT_EQ(db.lastError(), "Not connected");
    EXPECT_EQ(db.load(1), nullptr);
    EXPECT_FALSE(db.store(sampleDisc(1)));
}

TEST_F(CdCacheFile, FirstOpenCreatesFileDataSourceAndTables) {
    const passwd* pw = getpwuid(geteuid());
    const std::filesystem::path realIni =
        std::filesystem::path(pw ? pw->pw_dir : "/nonexistent") / ".odbc.ini";
    const bool realIniExisted = std::filesystem::exists(realIni);
    const std::string realIniBefore = realIniExisted ? readFile(realIni) : std::string();

    CdCacheDatabase db;
    ASSERT_FALSE(std::filesystem::exists(m_dbPath));
    ASSERT_TRUE(db.open(kCdCacheDataSource, m_dbPath, kCdCacheDescription)) << db.lastError();
    EXPECT_TRUE(db.isFileCache());
    EXPECT_TRUE(std::filesystem::exists(m_dbPath));
    const std::string ini = readFile(m_dir.path() / "odbc.ini");
    EXPECT_NE(ini.find("[CLD CDDB]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Driver=SQLite3"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Database=" + m_dbPath), std::string::npos) << ini;
    EXPECT_NE(ini.find("Description=Quorvane CDDB Cache"), std::string::npos) << ini;

    SqlTable info, tracks;
    ASSERT_TRUE(db.execute("SELECT * FROM CDInfo", info)) << db.lastError();
    ASSERT_EQ(info.columnCount(), 5);
    EXPECT_EQ(info.columnName(0), "DiskID");
    EXPECT_EQ(info.columnName(4), "Year");
    EXPECT_EQ(info.columnType(4), SqlColumn::Integer);
    ASSERT_TRUE(db.execute("SELECT * FROM Tracks", tracks)) << db.lastError();
    EXPECT_EQ(tracks.columnCount(), 3);
    EXPECT_EQ(tracks.columnName(1), "Name");
    EXPECT_EQ(tracks.columnName(2), "TrackNo");
    EXPECT_EQ(tracks.columnType(2), SqlColumn::Integer);

    // The user's own data source file is never touched.
    EXPECT_EQ(std::filesystem::exists(realIni), realIniExisted);
    if (realIniExisted) {
        EXPECT_EQ(readFile(realIni), realIniBefore);
    }
}

TEST_P(CdCache, TablesAndTheTrackIndexOnOpenAndReopen) {
    {
        CdCacheDatabase db;
        ASSERT_TRUE(open(db)) << db.lastError();
        EXPECT_EQ(db.isFileCache(), !postgres());
        ASSERT_TRUE(db.store(sampleDisc(0x1234))) << db.lastError();
        db.close();
    }
    const std::string iniBefore = readFile(m_dir.path() / "odbc.ini");
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    EXPECT_EQ(readFile(m_dir.path() / "odbc.ini"), iniBefore);
    const auto record = db.load(0x1234);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->trackTitles.size(), 3u);
    EXPECT_EQ(rowCount(db, "SELECT * FROM CDInfo"), 1);

    SqlTable info;
    ASSERT_TRUE(db.execute("SELECT * FROM CDInfo", info)) << db.lastError();
    ASSERT_EQ(info.columnCount(), 5);
    EXPECT_EQ(lower(info.columnName(0)), "diskid");
    EXPECT_EQ(info.columnType(4), SqlColumn::Integer);
    const std::string indexQuery =
        postgres() ? "SELECT indexname FROM pg_indexes WHERE schemaname = current_schema() AND "
                     "tablename = 'tracks' AND indexname = 'tracksdiskid'"
                   : "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Tracks' "
                     "AND name = 'TracksDiskID'";
    EXPECT_EQ(rowCount(db, indexQuery), 1);
}

TEST_F(CdCacheFile, DataSourceOfAnotherDriverIsNeverReplaced) {
    // A shared cache whose server is down (nothing listens on port 1).
    const std::string ini = "[" + dataSource() + "]\nDriver=" + kPostgresDriver +
                            "\nServername=127.0.0.1\nPort=1\nDatabase=cddb\n"
                            "Description=Shared cache\n";
    writeFile(m_dir.path() / "odbc.ini", ini);
    CdCacheDatabase db;
    EXPECT_FALSE(open(db));
    EXPECT_FALSE(db.isFileCache());
    EXPECT_FALSE(db.lastError().empty());
    EXPECT_EQ(readFile(m_dir.path() / "odbc.ini"), ini);
    EXPECT_FALSE(std::filesystem::exists(m_dbPath));
}

TEST_F(CdCacheFile, MovedProgramRegistersItsDataSourceAgain) {
    const auto oldFolder = m_dir.path() / "old install";
    std::filesystem::create_directory(oldFolder);
    const std::string oldPath = (oldFolder / kCdCacheFileName).string();
    {
        CdCacheDatabase db;
        ASSERT_TRUE(db.open(dataSource(), oldPath, kCdCacheDescription)) << db.lastError();
        ASSERT_TRUE(db.store(sampleDisc(0x77))) << db.lastError();
        db.close();
    }
    std::filesystem::remove_all(oldFolder);

    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    const std::string ini = readFile(m_dir.path() / "odbc.ini");
    EXPECT_NE(ini.find("Database=" + m_dbPath), std::string::npos) << ini;
    EXPECT_EQ(ini.find(oldPath), std::string::npos) << ini;
    EXPECT_TRUE(std::filesystem::exists(m_dbPath));
    ASSERT_TRUE(db.store(sampleDisc(0x78))) << db.lastError();
    EXPECT_NE(db.load(0x78), nullptr);

    // A registered file somewhere else that still exists stays the one in use.
    const auto otherFolder = m_dir.path() / "elsewhere";
    std::filesystem::create_directory(otherFolder);
    CdCacheDatabase again;
    ASSERT_TRUE(
        again.open(dataSource(), (otherFolder / kCdCacheFileName).string(), kCdCacheDescription))
        << again.lastError();
    EXPECT_NE(again.load(0x78), nullptr);
    EXPECT_FALSE(std::filesystem::exists(otherFolder / kCdCacheFileName));
}

TEST_F(CdCacheFile, FirstStartsAtOnceBothOpen) {
    for (int round = 0; round < 20; ++round) {
        const auto folder = m_dir.path() / ("round" + std::to_string(round));
        std::filesystem::create_directory(folder);
        const std::string ini = (folder / "odbc.ini").string();
        const std::string path = (folder / kCdCacheFileName).string();
        const std::string name = "CLD CDDB R" + std::to_string(round);
        std::vector<pid_t> children;
        for (int child = 0; child < 2; ++child) {
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                setenv("ODBCINI", ini.c_str(), 1);
                CdCacheDatabase db;
                const bool ok = db.open(name, path, kCdCacheDescription) &&
                                db.store(sampleDisc(static_cast<std::uint32_t>(child + 1)));
                if (!ok)
                    std::fprintf(stderr, "round %d child %d: %s\n", round, child,
                                 db.lastError().c_str());
                db.disconnect();
                _exit(ok ? 0 : 1);
            }
            children.push_back(pid);
        }
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        const std::string written = readFile(ini);
        EXPECT_EQ(written.find("[" + name + "]"), written.rfind("[" + name + "]")) << written;
        EXPECT_NE(written.find("Database=" + path), std::string::npos) << written;
    }
}

TEST_P(CdCache, TextsRoundTripUnchanged) {
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    CdInfoRecord record = sampleDisc(0x7a0a8a09);
    std::string longTitle;
    for (int i = 0; longTitle.size() < 500; ++i)
        longTitle += static_cast<char>('a' + i % 26);
    record.album = longTitle;
    record.artist = "Motörhead & Björk ‘quoted’ 日本語 \\ back\\slash";
    record.genre = "Rock & Roll";
    record.year = 2002;
    record.trackTitles = {"Don't Stop", "", "''", std::string(70000, 'z'), "Tab\there", "%_*?"};
    ASSERT_TRUE(db.store(record)) << db.lastError();

    const auto loaded = db.load(0x7a0a8a09);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->discId, 0x7a0a8a09u);
    EXPECT_EQ(loaded->album, longTitle);
    EXPECT_EQ(loaded->artist, record.artist);
    EXPECT_EQ(loaded->genre, "Rock & Roll");
    EXPECT_EQ(loaded->year, 2002);
    EXPECT_EQ(loaded->trackTitles, record.trackTitles);
    EXPECT_EQ(db.load(0x7a0a8a0a), nullptr);
}

TEST_P(CdCache, StoringTwiceKeepsOneRowAndLatestTracks) {
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    ASSERT_TRUE(db.store(sampleDisc(0x0000abcd))) << db.lastError();
    CdInfoRecord second = sampleDisc(0x0000abcd);
    second.album = "Second";
    second.trackTitles = {"Only"};
    ASSERT_TRUE(db.store(second)) << db.lastError();

    EXPECT_EQ(rowCount(db, "SELECT * FROM CDInfo WHERE DiskID='ABCD'"), 1);
    EXPECT_EQ(rowCount(db, "SELECT * FROM Tracks WHERE DiskID='ABCD'"), 1);
    EXPECT_EQ(rowCount(db, "SELECT * FROM CDInfo WHERE DiskID='0000ABCD'"), 0);
    const auto loaded = db.load(0xabcd);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->album, "Second");
    EXPECT_EQ(loaded->trackTitles, std::vector<std::string>{"Only"});

    ASSERT_TRUE(db.remove(0xabcd)) << db.lastError();
    EXPECT_EQ(db.load(0xabcd), nullptr);
    EXPECT_EQ(rowCount(db, "SELECT * FROM Tracks"), 0);
    EXPECT_TRUE(db.remove(0xabcd)) << db.lastError(); // nothing left to delete is no failure
}

TEST_P(CdCache, DiscWithoutTrackRowsLoadsWithEmptyList) {
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    ASSERT_TRUE(db.execute("INSERT INTO CDInfo (DiskID, Album, Artist, Genre, Year) VALUES "
                           "('BEEF', 'A', 'B', 'Jazz', '1970')"))
        << db.lastError();
    const auto loaded = db.load(0xbeef);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->genre, "Jazz");
    EXPECT_EQ(loaded->year, 1970);
    EXPECT_TRUE(loaded->trackTitles.empty());
}

TEST_P(CdCache, FailedStoreLeavesThePreviousDiscWhole) {
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    ASSERT_TRUE(db.store(sampleDisc(0x42))) << db.lastError();
    // A Tracks table that refuses one particular title makes the track inserts fail
    // after the CDInfo row went in.
    ASSERT_TRUE(db.execute("ALTER TABLE Tracks RENAME TO OldTracks")) << db.lastError();
    ASSERT_TRUE(db.execute(
        "CREATE TABLE Tracks (DiskID TEXT, Name TEXT CHECK (Name <> 'boom'), TrackNo INTEGER)"))
        << db.lastError();
    ASSERT_TRUE(db.execute("INSERT INTO Tracks SELECT * FROM OldTracks")) << db.lastError();

    CdInfoRecord broken = sampleDisc(0x42);
    broken.album = "Broken";
    broken.trackTitles = {"fine", "boom", "never"};
    EXPECT_FALSE(db.store(broken));
    EXPECT_NE(db.lastError().find("SQL Error State:"), std::string::npos) << db.lastError();

    const auto loaded = db.load(0x42);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->album, "Don't Stop");
    EXPECT_EQ(loaded->trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
    // The connection is back in autocommit mode and keeps working.
    ASSERT_TRUE(db.store(sampleDisc(0x43))) << db.lastError();
    EXPECT_NE(db.load(0x43), nullptr);
}

TEST_P(CdCache, DiagnosticsText) {
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    EXPECT_FALSE(db.execute("SELECT * FROM NoSuchTable"));
    const std::string& error = db.lastError();
    EXPECT_TRUE(error.starts_with("SQL Error State:")) << error;
    EXPECT_NE(error.find(", Native Error Code: "), std::string::npos) << error;
    EXPECT_NE(error.find(", ODBC Error: "), std::string::npos) << error;
    EXPECT_NE(lower(error).find("nosuchtable"), std::string::npos) << error;
    EXPECT_EQ(db.lastState().size(), 5u) << db.lastState();
    EXPECT_LT(error.size(), 700u);
}

TEST_F(CdCacheFile, DamagedFileIsKeptAsideAndAFreshOneStarted) {
    std::string garbage;
    for (int i = 0; i < 8192; ++i)
        garbage += static_cast<char>((i * 7919) & 0xFF);
    writeFile(m_dbPath, garbage);
    LogCapture log;
    std::string aside;
    {
        CdCacheDatabase db;
        ASSERT_TRUE(open(db)) << db.lastError();
        aside = db.damagedFileKeptAs();
        ASSERT_FALSE(aside.empty());
        EXPECT_TRUE(aside.starts_with(m_dbPath + ".damaged-")) << aside;
        EXPECT_EQ(readFile(aside), garbage);
        ASSERT_TRUE(db.store(sampleDisc(1))) << db.lastError();
        db.close();
    }
    CdCacheDatabase again;
    ASSERT_TRUE(open(again)) << again.lastError();
    EXPECT_TRUE(again.damagedFileKeptAs().empty());
    EXPECT_NE(again.load(1), nullptr);

    const auto lines = log.lines();
    const auto said = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(aside) != std::string::npos && line.find(m_dbPath) != std::string::npos;
    });
    EXPECT_EQ(said, 1);
}

TEST_P(CdCache, TwoProcessesStoringAtOnceLoseNothing) {
    {
        CdCacheDatabase db;
        ASSERT_TRUE(open(db)) << db.lastError();
    }
    constexpr int kDiscs = 25;
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CdCacheDatabase db;
            int failures = db.open(dataSource(), m_dbPath, kCdCacheDescription) ? 0 : 100;
            for (int i = 0; i < kDiscs; ++i) {
                CdInfoRecord record = sampleDisc(static_cast<std::uint32_t>(child * 1000 + i));
                record.trackTitles.push_back("child " + std::to_string(child));
                if (!db.store(record))
                    ++failures;
                // Both also store one shared disc again and again.
                if (!db.store(sampleDisc(0xC0FFEE))) {
                    std::fprintf(stderr, "child %d: %s\n", child, db.lastError().c_str());
                    ++failures;
                }
            }
            db.disconnect();
            _exit(failures > 0 ? 1 : 0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    for (int child = 0; child < 2; ++child) {
        for (int i = 0; i < kDiscs; ++i) {
            const auto loaded = db.load(static_cast<std::uint32_t>(child * 1000 + i));
            ASSERT_NE(loaded, nullptr) << child << " " << i;
            ASSERT_EQ(loaded->trackTitles.size(), 4u);
            EXPECT_EQ(loaded->trackTitles[3], "child " + std::to_string(child));
        }
    }
    EXPECT_EQ(rowCount(db, "SELECT * FROM CDInfo WHERE DiskID='C0FFEE'"), 1);
    EXPECT_EQ(rowCount(db, "SELECT * FROM Tracks WHERE DiskID='C0FFEE'"), 3);
}

TEST_F(CdCacheServer, ServerGoingAwayMidStoreLeavesThePreviousDiscWhole) {
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    ASSERT_TRUE(db.store(sampleDisc(0x42))) << db.lastError();
    // The server drops the connection while the track rows go in.
    ASSERT_TRUE(
        db.execute("CREATE FUNCTION cld_drop() RETURNS trigger AS $$ BEGIN "
                   "IF NEW.Name = 'boom' THEN PERFORM pg_terminate_backend(pg_backend_pid()); "
                   "END IF; RETURN NEW; END $$ LANGUAGE plpgsql"))
        << db.lastError();
    ASSERT_TRUE(db.execute("CREATE TRIGGER cld_drop BEFORE INSERT ON Tracks FOR EACH ROW "
                           "EXECUTE FUNCTION cld_drop()"))
        << db.lastError();

    CdInfoRecord broken = sampleDisc(0x42);
    broken.album = "Broken";
    broken.trackTitles = {"fine", "boom", "never"};
    EXPECT_FALSE(db.store(broken));
    EXPECT_FALSE(db.lastError().empty());

    // The cache connects again by itself; the disc is as it was before.
    const auto loaded = db.load(0x42);
    ASSERT_NE(loaded, nullptr) << db.lastError();
    EXPECT_EQ(loaded->album, "Don't Stop");
    EXPECT_EQ(loaded->trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
    ASSERT_TRUE(db.store(sampleDisc(0x43))) << db.lastError();
    EXPECT_NE(db.load(0x43), nullptr);
}

TEST_P(CdCache, TrackOrderSurvivesVacuumAndConcurrentDeletes) {
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    // Another program deletes discs and compacts the database between the stores.
    CdCacheDatabase other;
    ASSERT_TRUE(open(other)) << other.lastError();
    if (!postgres()) {
        // A row that another tool gave the highest row id makes SQLite choose row ids at
        // random from then on.
        ASSERT_TRUE(other.execute("INSERT INTO Tracks (rowid, DiskID, Name) VALUES "
                                  "(9223372036854775807, 'FFFFFFFF', 'last')"))
            << other.lastError();
    }
    std::vector<std::uint32_t> kept;
    std::uint32_t random = 12345;
    int misordered = 0;
    for (std::uint32_t disc = 1; disc <= 64; ++disc) {
        if (kept.size() >= 4) {
            // Two discs stored earlier go, and the space they held is freed.
            for (int i = 0; i < 2; ++i) {
                random = random * 1103515245u + 12345u;
                const std::size_t victim = (random >> 8) % kept.size();
                ASSERT_TRUE(other.remove(kept[victim])) << other.lastError();
                kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(victim));
            }
            ASSERT_TRUE(other.execute(postgres() ? "VACUUM Tracks" : "VACUUM"))
                << other.lastError();
        }
        ASSERT_TRUE(db.store(bigDisc(disc))) << db.lastError();
        kept.push_back(disc);
        const auto loaded = db.load(disc);
        ASSERT_NE(loaded, nullptr) << disc << ": " << db.lastError();
        if (loaded->trackTitles != bigDisc(disc).trackTitles)
            ++misordered;
    }
    EXPECT_EQ(misordered, 0) << "of 64 discs";
    // Discs stored before the last vacuum read back right as well.
    misordered = 0;
    for (std::uint32_t disc : kept) {
        const auto loaded = db.load(disc);
        ASSERT_NE(loaded, nullptr) << disc << ": " << db.lastError();
        if (loaded->trackTitles != bigDisc(disc).trackTitles)
            ++misordered;
    }
    EXPECT_EQ(misordered, 0) << "of the " << kept.size() << " discs kept";
}

TEST_P(CdCache, CacheWithoutTrackNumbersIsUpgradedAndReadsInStoredOrder) {
    {
        // A cache as earlier versions made it: tracks without their numbers.
        CdCacheDatabase db;
        ASSERT_TRUE(open(db)) << db.lastError();
        ASSERT_TRUE(db.execute("DROP TABLE Tracks")) << db.lastError();
        ASSERT_TRUE(db.execute("CREATE TABLE Tracks (DiskID TEXT, Name TEXT)")) << db.lastError();
        ASSERT_TRUE(db.execute("INSERT INTO CDInfo (DiskID, Album, Artist, Genre, Year) VALUES "
                               "('99', 'Old', 'Band', 'Jazz', '1980')"))
            << db.lastError();
        for (const char* name : {"Zulu", "Alpha", "Mike"})
            ASSERT_TRUE(db.execute(
                std::string("INSERT INTO Tracks (DiskID, Name) VALUES ('99', '") + name + "')"))
                << db.lastError();
        db.close();
    }
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    SqlTable tracks;
    ASSERT_TRUE(db.execute("SELECT * FROM Tracks WHERE 1 = 0", tracks)) << db.lastError();
    ASSERT_EQ(tracks.columnCount(), 3);
    EXPECT_EQ(lower(tracks.columnName(2)), "trackno");
    const auto old = db.load(0x99);
    ASSERT_NE(old, nullptr) << db.lastError();
    EXPECT_EQ(old->album, "Old");
    EXPECT_EQ(old->trackTitles, (std::vector<std::string>{"Zulu", "Alpha", "Mike"}));

    // A program that does not know the number yet can still store beside this one.
    ASSERT_TRUE(db.execute("INSERT INTO CDInfo (DiskID, Album, Artist, Genre, Year) VALUES "
                           "('98', 'Older', 'Band', 'Jazz', '1979')"))
        << db.lastError();
    ASSERT_TRUE(db.execute("INSERT INTO Tracks (DiskID, Name) VALUES ('98', 'B')"));
    ASSERT_TRUE(db.execute("INSERT INTO Tracks (DiskID, Name) VALUES ('98', 'A')"));
    const auto older = db.load(0x98);
    ASSERT_NE(older, nullptr) << db.lastError();
    EXPECT_EQ(older->trackTitles, (std::vector<std::string>{"B", "A"}));

    ASSERT_TRUE(db.store(sampleDisc(0x99))) << db.lastError();
    EXPECT_EQ(rowCount(db, "SELECT * FROM Tracks WHERE DiskID = '99' AND TrackNo IS NULL"), 0);
    EXPECT_EQ(db.load(0x99)->trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
}

TEST_P(CdCache, LoadsNeverMixTwoVersionsOfADisc) {
    constexpr std::uint32_t kDisc = 0xD15C;
    constexpr int kTracks = 12;
    constexpr int kLoads = 3000;
    const auto version = [](const std::string& album) {
        CdInfoRecord record = sampleDisc(kDisc);
        record.album = album;
        record.trackTitles.clear();
        for (int t = 0; t < kTracks; ++t)
            record.trackTitles.push_back(album + "-" + std::to_string(t));
        return record;
    };
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    ASSERT_TRUE(db.store(version("start"))) << db.lastError();

    struct Progress {
        std::atomic<bool> stop{false};
        std::atomic<int> stores{0};
        std::atomic<int> failures{0};
    };
    Shared<Progress> progress;
    ASSERT_NE(progress.get(), nullptr);
    std::vector<pid_t> writers;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CdCacheDatabase writer;
            if (!writer.open(dataSource(), m_dbPath, kCdCacheDescription))
                _exit(2);
            for (int n = 0; !progress->stop.load(); ++n) {
                if (writer.store(version("w" + std::to_string(child) + "." + std::to_string(n))))
                    progress->stores.fetch_add(1);
                else
                    progress->failures.fetch_add(1);
            }
            writer.disconnect();
            _exit(0);
        }
        writers.push_back(pid);
    }
    // The writers are under way before the loads begin.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (progress->stores.load() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    int missing = 0, mixed = 0;
    std::string example;
    for (int i = 0; i < kLoads; ++i) {
        const auto loaded = db.load(kDisc);
        if (!loaded) {
            ++missing;
            continue;
        }
        bool whole = loaded->trackTitles.size() == static_cast<std::size_t>(kTracks);
        for (std::size_t t = 0; whole && t < loaded->trackTitles.size(); ++t)
            whole = loaded->trackTitles[t] == loaded->album + "-" + std::to_string(t);
        if (!whole) {
            ++mixed;
            if (example.empty())
                example = loaded->album + " with " +
                          (loaded->trackTitles.empty() ? "no tracks" : loaded->trackTitles[0]);
        }
    }
    const int storesDuringLoads = progress->stores.load();
    progress->stop = true;
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(mixed, 0) << "of " << kLoads << " loads, e.g. " << example;
    EXPECT_EQ(missing, 0) << db.lastError();
    EXPECT_GT(storesDuringLoads, 10);
    EXPECT_EQ(progress->failures.load(), 0);
}

namespace {

// Runs tools/pg-test-server.sh with a command ("halt", "resume").
bool testServer(const char* command) {
    const char* source = std::getenv("CLD_SOURCE_DIR");
    if (!source)
        return false;
    const std::string line =
        std::string("'") + source + "/tools/pg-test-server.sh' " + command + " >/dev/null";
    return std::system(line.c_str()) == 0;
}

} // namespace

TEST_F(CdCacheServer, StoppedServerIsReachedAgainOnceItIsBack) {
    if (!std::getenv("CLD_SOURCE_DIR"))
        GTEST_SKIP() << "CLD_SOURCE_DIR is not set: the test server cannot be stopped";
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    ASSERT_TRUE(db.store(sampleDisc(0x42))) << db.lastError();

    struct Resume {
        ~Resume() { testServer("resume"); }
    } resumeAtEnd;
    ASSERT_TRUE(testServer("halt"));
    // While the server is down every call fails, and fails at once.
    const auto downSince = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(db.load(0x42), nullptr);
        EXPECT_FALSE(db.store(sampleDisc(0x43)));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto downFor = std::chrono::steady_clock::now() - downSince;
    EXPECT_LT(downFor, std::chrono::seconds(10));
    EXPECT_FALSE(db.lastError().empty());
    // A hundred calls cost a handful of connection attempts: the retries back off.
    EXPECT_GE(db.reconnectAttempts(), 1);
    EXPECT_LE(db.reconnectAttempts(),
              3 + std::chrono::duration_cast<std::chrono::seconds>(downFor).count());

    ASSERT_TRUE(testServer("resume"));
    std::unique_ptr<CdInfoRecord> loaded;
    const auto until = std::chrono::steady_clock::now() + cldtest::kHangLimit;
    while (!(loaded = db.load(0x42)) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(loaded, nullptr) << db.lastError();
    EXPECT_EQ(loaded->trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
    ASSERT_TRUE(db.store(sampleDisc(0x43))) << db.lastError();
    EXPECT_NE(db.load(0x43), nullptr);
}

// A cache file another process holds locked is neither waited for long nor taken for a
// damaged one: open says it is locked, the file stays as it is, and a later open (once the
// other process let go) finds everything that was stored.
TEST_F(CdCacheFile, AFileLockedByAnotherProcessIsNotWaitedForNorSetAside) {
    {
        CdCacheDatabase db;
        ASSERT_TRUE(open(db)) << db.lastError();
        ASSERT_TRUE(db.store(sampleDisc(0x42))) << db.lastError();
        db.close();
    }
    cldtest::SqliteFileLock lock(m_dbPath);
    ASSERT_TRUE(lock.held());
    CdCacheDatabase db;
    EXPECT_FALSE(open(db));
    EXPECT_TRUE(db.lockedAtOpen()) << db.lastError();
    EXPECT_TRUE(db.damagedFileKeptAs().empty()) << db.damagedFileKeptAs();
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
        EXPECT_EQ(entry.path().filename().string().find("damaged"), std::string::npos)
            << entry.path();
    EXPECT_EQ(db.load(0x42), nullptr);

    lock.release();
    ASSERT_TRUE(open(db)) << db.lastError();
    EXPECT_FALSE(db.lockedAtOpen());
    const std::unique_ptr<CdInfoRecord> loaded = db.load(0x42);
    ASSERT_NE(loaded, nullptr) << db.lastError();
    EXPECT_EQ(loaded->trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
}

// The thread's pauses grow to many seconds while the server stays away; a store made a
// second after the server is back must not wait for the thread's next turn.
TEST_F(CdCacheServer, AStoreASecondAfterTheServerIsBackSucceeds) {
    if (!std::getenv("CLD_SOURCE_DIR"))
        GTEST_SKIP() << "CLD_SOURCE_DIR is not set: the test server cannot be stopped";
    CdCacheDatabase db;
    ASSERT_TRUE(open(db)) << db.lastError();
    ASSERT_TRUE(db.store(sampleDisc(0x42))) << db.lastError();

    struct Resume {
        ~Resume() { testServer("resume"); }
    } resumeAtEnd;
    ASSERT_TRUE(testServer("halt"));
    EXPECT_FALSE(db.store(sampleDisc(0x43)));
    // Left alone, the thread backs off until it waits several seconds between attempts.
    ASSERT_TRUE(cldtest::waitUntil([&] { return db.reconnectAttempts() >= 6; }));
    ASSERT_TRUE(testServer("resume"));
    // The user's next store, a second after the restart.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(db.store(sampleDisc(0x43))) << db.lastError();
    const std::unique_ptr<CdInfoRecord> loaded = db.load(0x43);
    ASSERT_NE(loaded, nullptr) << db.lastError();
    EXPECT_EQ(loaded->trackTitles, (std::vector<std::string>{"One", "Two", "Three"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, CdCache, ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const ::testing::TestParamInfo<Backend>& param) {
                             return param.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
                         });
