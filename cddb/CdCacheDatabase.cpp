#include "CdCacheDatabase.h"

#include "Log.h"
#include "SafeFiles.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <odbcinst.h>
#include <pwd.h>
#include <sys/file.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kInfoTable = "CDInfo";
constexpr const char* kTracksTable = "Tracks";
constexpr const char* kKeyColumn = "DiskID";
// Every load reads a disc's tracks by its key; without an index that scans the table.
constexpr const char* kTracksIndex = "CREATE INDEX IF NOT EXISTS TracksDiskID ON Tracks (DiskID)";
// How often a store that collided with another one is tried in all.
constexpr int kStoreAttempts = 4;
// The longest one connection attempt waits for a server that does not answer.
constexpr int kLoginTimeoutSeconds = 5;
// How long a call that found the connection lost waits for the first new attempt.
constexpr std::chrono::milliseconds kFirstReconnectWait(1000);
// A call that finds the connection down has a new attempt made at once when the last one
// began at least this long ago: a server that came back is found by the next call rather
// than after the thread's pause, and one that stays away costs one attempt a second.
constexpr std::chrono::milliseconds kCallAttemptInterval(1000);
// The pauses before the reconnecting thread's attempts; the last one repeats.
constexpr std::chrono::milliseconds kReconnectPauses[] = {
    std::chrono::milliseconds(0), std::chrono::milliseconds(250), std::chrono::milliseconds(500),
    std::chrono::seconds(1),      std::chrono::seconds(2),        std::chrono::seconds(4),
    std::chrono::seconds(8),      std::chrono::seconds(15)};

SqlTable infoDescription() {
    SqlTable table;
    table.addColumn("DiskID", SqlColumn::Text, true);
    table.addColumn("Album", SqlColumn::Text);
    table.addColumn("Artist", SqlColumn::Text);
    table.addColumn("Genre", SqlColumn::Text);
    table.addColumn("Year", SqlColumn::Integer);
    return table;
}

SqlTable tracksDescription() {
    SqlTable table;
    table.addColumn("DiskID", SqlColumn::Text);
    table.addColumn("Name", SqlColumn::Text);
    table.addColumn("TrackNo", SqlColumn::Integer);
    return table;
}

// How long a statement on a SQLite cache waits for a lock another process holds. The
// driver's own default (100 s) would hold up the program; another process's store takes
// milliseconds, so a file still locked after this is held for longer than is worth waiting.
constexpr int kBusyTimeoutMs = 1000;

std::string fileConnection(const std::string& path) {
    return std::string("DRIVER={") + kCdCacheDriver + "};Database=" + path +
           ";Timeout=" + std::to_string(kBusyTimeoutMs) + ";";
}

// The registered SQLite data source, with the busy timeout of the program's own.
std::string fileDataSourceConnection(const std::string& dataSource) {
    return "DSN=" + dataSource + ";Timeout=" + std::to_string(kBusyTimeoutMs) + ";";
}

// The reason the installer gave for its last failure.
std::string installerError() {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH] = {};
    WORD length = 0;
    if (SQLInstallerError(1, &code, message, sizeof(message), &length) == SQL_SUCCESS || length > 0)
        return std::string("ODBC installer: ") + message;
    return "ODBC installer failed";
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Whether a failure means another connection holds the file locked.
bool lockedFailure(const std::string& error) {
    const std::string text = lowerCase(error);
    return text.find("database is locked") != std::string::npos ||
           text.find("database is busy") != std::string::npos ||
           text.find("database table is locked") != std::string::npos;
}

// What the user data source file (or the system one) says about a data source. The
// driver manager remembers a failed look-up for a while, so a connect is only tried once
// the name is known; reading the file is never answered from that memory.
struct Registration {
    bool registered = false;
    std::string driver;
    std::string database;
};

std::string profileValue(const std::string& section, const char* key) {
    std::vector<char> value(4096);
    const int length = SQLGetPrivateProfileString(section.c_str(), key, "", value.data(),
                                                  static_cast<int>(value.size()), "odbc.ini");
    return length > 0 ? std::string(value.data()) : std::string();
}

Registration registrationOf(const std::string& dataSource) {
    Registration result;
    std::vector<char> keys(4096);
    result.registered = SQLGetPrivateProfileString(dataSource.c_str(), nullptr, "", keys.data(),
                                                   static_cast<int>(keys.size()), "odbc.ini") > 0 &&
                        keys[0] != '\0';
    if (result.registered) {
        result.driver = profileValue(dataSource, "Driver");
        result.database = profileValue(dataSource, "Database");
    }
    return result;
}

// A data source is the program's own kind when its driver is the SQLite one, by name or
// by library; one without a driver line is a half-written entry of the program's.
bool isFileDriver(const std::string& driver) {
    return driver.empty() || driver == kCdCacheDriver ||
           lowerCase(driver).find("sqlite") != std::string::npos;
}

// A text value in apostrophes, the ones inside it doubled.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += '\'';
        out += c;
    }
    return out + "'";
}

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return std::filesystem::temp_directory_path();
}

// Holds an exclusive lock on a folder while the cache is opened, so that two programs
// starting at once do not register the data source or set a damaged file aside together.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder)
        : m_fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock() {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

// "<file>.damaged-20021231-235959", numbered when that name is taken.
std::string asideName(const std::string& file) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &local);
    std::string name = file + ".damaged-" + stamp;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(name, ec); ++n)
        name = file + ".damaged-" + stamp + "-" + std::to_string(n);
    return name;
}

} // namespace

std::filesystem::path cdCacheFilePath(const std::filesystem::path& programFolder) {
    if (!programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0)
        return programFolder / kCdCacheFileName;
    std::filesystem::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        data = xdg;
    else
        data = homeFolder() / ".local" / "share";
    const std::filesystem::path folder = data / cld::identity::kVendor / cld::identity::kProduct;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder / kCdCacheFileName;
}

struct CdCacheDatabase::Reconnector {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    void* ready = nullptr; // a connection made, not yet taken over
    std::string failure;   // why the last attempt failed
    int tried = 0;         // attempts that failed
    int finished = 0;      // attempts that ended, however
    bool busy = false;     // an attempt is under way
    bool urgent = false;   // a call asks for an attempt now, whatever the pause
    std::chrono::steady_clock::time_point lastStart{}; // when the last attempt began
    std::thread thread;
};

CdCacheDatabase::CdCacheDatabase() = default;

CdCacheDatabase::~CdCacheDatabase() {
    stopReconnecting();
}

std::string CdCacheDatabase::keyOf(std::uint32_t discId) {
    char text[16];
    std::snprintf(text, sizeof(text), "%X", discId);
    return text;
}

void CdCacheDatabase::setAsideIfDamaged(const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return;
    OdbcDatabase check;
    // A file the driver cannot open at all is left to the connect to report.
    if (!check.connectDriver(fileConnection(file)))
        return;
    SqlTable result;
    const bool checked = check.execute("PRAGMA integrity_check", result);
    if (checked && result.rowCount() == 1 && result.text(0, 0) == "ok")
        return;
    if (!checked && lockedFailure(check.lastError())) {
        // Another process holds the file: it cannot be checked, and it is no sign of damage.
        m_locked = true;
        setLastError(check.lastError());
        return;
    }
    const std::string reason = checked ? result.text(0, 0) : check.lastError();
    check.disconnect();
    // The damaged file takes a name nothing has; whatever has a name stays.
    std::string aside = asideName(file);
    for (int n = 2; !cld::files::moveIntoPlace(file, aside, cld::files::Replace::Never); ++n) {
        if (errno != EEXIST || n > 1000) {
            ec = std::error_code(errno, std::generic_category());
            break;
        }
        aside = asideName(file) + "-" + std::to_string(n);
    }
    if (ec) {
        cld::logf(cld::LogLevel::Error,
                  "The CD information cache \"%s\" is damaged and could not be renamed (%s); "
                  "it is not used.",
                  file.c_str(), ec.message().c_str());
        return;
    }
    // The write-ahead log and its index belong to the damaged file and go with it; left
    // behind, they would be replayed into the fresh one.
    for (const char* companion : {"-wal", "-shm"}) {
        if (cld::files::occupantOf(file + companion) == cld::files::Occupant::RegularFile)
            cld::files::moveIntoPlace(file + companion, aside + companion,
                                      cld::files::Replace::Never);
    }
    m_damagedKeptAs = aside;
    cld::logf(cld::LogLevel::Warning,
              "The CD information cache \"%s\" was damaged (%s). It was kept as \"%s\" and a new, "
              "empty cache was started.",
              file.c_str(), reason.c_str(), aside.c_str());
}

bool CdCacheDatabase::createFile(const std::string& file) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        return true;
    OdbcDatabase created;
    if (!created.connectDriver(fileConnection(file)) || !created.execute("PRAGMA user_version=0")) {
        setLastError(created.lastError());
        return false;
    }
    return true;
}

bool CdCacheDatabase::registerDataSource(const std::string& description) {
    // A user data source: it needs no administrator, and the driver has no setup routine
    // that SQLConfigDataSource could call.
    UWORD previous = ODBC_BOTH_DSN;
    SQLGetConfigMode(&previous);
    SQLSetConfigMode(ODBC_USER_DSN);
    bool ok = SQLWriteDSNToIni(m_dataSource.c_str(), kCdCacheDriver) &&
              SQLWritePrivateProfileString(m_dataSource.c_str(), "Database", m_path.c_str(),
                                           "odbc.ini") &&
              SQLWritePrivateProfileString(m_dataSource.c_str(), "Description", description.c_str(),
                                           "odbc.ini");
    if (!ok)
        setLastError(installerError());
    SQLSetConfigMode(previous);
    return ok;
}

void CdCacheDatabase::compactFile() {
    std::error_code ec;
    if (!m_fileCache || m_file.empty() || !std::filesystem::exists(m_file, ec))
        return;
    OdbcDatabase file;
    if (file.connectDriver(fileConnection(m_file)))
        file.execute("VACUUM");
}

bool CdCacheDatabase::open(const std::string& dataSource, const std::string& path,
                           const std::string& description) {
    stopReconnecting();
    m_opened = false;
    m_dataSource = dataSource;
    m_path = path;
    m_file.clear();
    m_damagedKeptAs.clear();
    m_fileCache = true;
    m_locked = false;
    FolderLock lock(std::filesystem::path(path).parent_path());
    m_opened = openLocked(description);
    return m_opened;
}

bool CdCacheDatabase::openLocked(const std::string& description) {
    const Registration registration = registrationOf(m_dataSource);
    if (registration.registered && !isFileDriver(registration.driver)) {
        // Another driver: a database server the user set up. It is never replaced by a
        // new data source, even while its server is down.
        m_fileCache = false;
        if (!connect(m_dataSource, "", ""))
            return false;
    } else {
        m_file = m_path;
        bool registered = registration.registered;
        if (registered && !registration.database.empty()) {
            std::error_code ec;
            const std::filesystem::path folder =
                std::filesystem::path(registration.database).parent_path();
            if (std::filesystem::is_directory(folder.empty() ? "." : folder, ec)) {
                m_file = registration.database;
            } else {
                // The program was moved or reinstalled: the old folder is gone, so the data
                // source is registered again for the current one.
                cld::logf(cld::LogLevel::Info,
                          "The CD information cache moves from \"%s\" to \"%s\".",
                          registration.database.c_str(), m_path.c_str());
                registered = false;
            }
        } else if (registered) {
            registered = false; // an entry without its file: written again whole
        }
        setAsideIfDamaged(m_file);
        if (m_locked)
            return false;
        createFile(m_file);
        if (!registered && !registerDataSource(description))
            return connect(m_dataSource, "", "");
        if (!connectDriver(fileDataSourceConnection(m_dataSource)))
            return false;
        // A file another process holds locked is not used now (the caller may try again
        // later): every statement on it would wait and fail.
        if (!execute("SELECT COUNT(*) FROM sqlite_master")) {
            m_locked = lockedFailure(lastError());
            const std::string error = lastError();
            disconnect();
            setLastError(error);
            return false;
        }
        // A write-ahead log makes a store one synced write instead of several, and lets
        // readers in other processes go on while a store is under way.
        execute("PRAGMA journal_mode=WAL");
        afterConnect();
    }
    createTable(kInfoTable, infoDescription());
    createTable(kTracksTable, tracksDescription());
    upgradeTables();
    execute(kTracksIndex);
    return true;
}

void CdCacheDatabase::afterConnect() {
    if (m_fileCache)
        execute("PRAGMA synchronous=FULL");
}

void CdCacheDatabase::upgradeTables() {
    SqlTable probe;
    if (!execute(std::string("SELECT * FROM ") + kTracksTable + " WHERE 1 = 0", probe))
        return;
    for (int column = 0; column < probe.columnCount(); ++column)
        if (lowerCase(probe.columnName(column)) == "trackno")
            return;
    // Another program upgrading the same database at this moment makes this fail; the
    // column is there either way.
    if (execute(std::string("ALTER TABLE ") + kTracksTable + " ADD COLUMN TrackNo INTEGER"))
        cld::logf(cld::LogLevel::Info, "The CD information cache now numbers its tracks.");
}

void CdCacheDatabase::close() {
    stopReconnecting();
    m_opened = false;
    disconnect();
    compactFile();
}

bool CdCacheDatabase::connectionLost() const {
    const std::string& state = lastState();
    if (state.starts_with("08") || state.starts_with("57P"))
        return true;
    const std::string text = lowerCase(lastError());
    return text.find("server closed the connection") != std::string::npos ||
           text.find("no connection to the server") != std::string::npos ||
           text.find("could not send data to server") != std::string::npos ||
           text.find("terminating connection") != std::string::npos;
}

bool CdCacheDatabase::reconnect() {
    const std::string error = lastError();
    const std::string state = lastState();
    dropConnection();
    if (!m_opened)
        return false;
    // The reconnecting thread tries at once, and the call waits a moment for it: a
    // server that was restarted since the last call answers straight away. One that does
    // not answer holds up only the thread.
    startReconnecting();
    std::string failure;
    {
        std::unique_lock lock(m_reconnector->mutex);
        m_reconnector->wake.wait_for(lock, kFirstReconnectWait, [&] {
            return m_reconnector->ready != nullptr || m_reconnector->tried > 0;
        });
        failure = m_reconnector->failure;
    }
    if (ensureConnected())
        return true;
    cld::logf(cld::LogLevel::Warning,
              "The CD information cache cannot be reached; it is tried again in the "
              "background: %s",
              failure.empty() ? "no answer yet" : failure.c_str());
    setLastError(error + "\n" + lastError(), state);
    return false;
}

bool CdCacheDatabase::ensureConnected() {
    if (isConnected())
        return true;
    if (!m_opened) {
        setLastError("Not connected");
        return false;
    }
    startReconnecting();
    void* dbc = nullptr;
    std::string failure;
    {
        Reconnector& r = *m_reconnector;
        std::unique_lock lock(r.mutex);
        if (!r.ready) {
            // Wait (a moment at most) for an attempt under way, or have one made now.
            int target = -1;
            if (r.busy) {
                target = r.finished + 1;
            } else if (std::chrono::steady_clock::now() - r.lastStart >= kCallAttemptInterval) {
                r.urgent = true;
                r.wake.notify_all();
                target = r.finished + 1;
            }
            if (target >= 0)
                r.wake.wait_for(lock, kFirstReconnectWait, [&] {
                    return r.ready != nullptr || r.finished >= target || r.stop;
                });
        }
        std::swap(dbc, r.ready);
        failure = r.failure;
    }
    if (!dbc) {
        setLastError("Not connected: the cache's server cannot be reached" +
                     (failure.empty() ? std::string() : " (" + failure + ")"));
        return false;
    }
    stopReconnecting();
    adoptConnection(dbc);
    afterConnect();
    cld::logf(cld::LogLevel::Info, "The CD information cache is connected again.");
    return true;
}

void CdCacheDatabase::startReconnecting() {
    if (m_reconnector)
        return;
    m_reconnector = std::make_unique<Reconnector>();
    m_reconnector->thread =
        std::thread([this, state = m_reconnector.get()] { reconnectLoop(*state); });
}

void CdCacheDatabase::stopReconnecting() {
    if (!m_reconnector)
        return;
    {
        std::lock_guard lock(m_reconnector->mutex);
        m_reconnector->stop = true;
    }
    m_reconnector->wake.notify_all();
    if (m_reconnector->thread.joinable())
        m_reconnector->thread.join();
    freeConnection(m_reconnector->ready);
    m_reconnector.reset();
}

void CdCacheDatabase::reconnectLoop(Reconnector& state) {
    constexpr std::size_t kPauses = std::size(kReconnectPauses);
    for (std::size_t attempt = 0;; ++attempt) {
        {
            std::unique_lock lock(state.mutex);
            state.wake.wait_for(lock, kReconnectPauses[std::min(attempt, kPauses - 1)],
                                [&] { return state.stop || state.urgent; });
            if (state.stop)
                return;
            state.urgent = false;
            state.busy = true;
            state.lastStart = std::chrono::steady_clock::now();
        }
        ++m_reconnectAttempts;
        std::string failure, failureState;
        void* dbc = openConnection(m_dataSource, kLoginTimeoutSeconds, failure, failureState);
        std::lock_guard lock(state.mutex);
        state.busy = false;
        ++state.finished;
        if (dbc) {
            state.ready = dbc; // freed by stopReconnecting when never taken over
            state.wake.notify_all();
            return;
        }
        state.failure = failure;
        ++state.tried;
        state.wake.notify_all();
        if (state.stop)
            return;
    }
}

std::string CdCacheDatabase::loadStatement(const std::string& key) const {
    // Rows stored before tracks were numbered keep the order they were stored in: the
    // row id on SQLite, the row's place in the table on PostgreSQL.
    const std::string dbms = lowerCase(dbmsName());
    std::string storedOrder;
    if (dbms.find("sqlite") != std::string::npos)
        storedOrder = ", Tracks.rowid";
    else if (dbms.find("postgres") != std::string::npos)
        storedOrder = ", Tracks.ctid";
    return std::string("SELECT CDInfo.Album, CDInfo.Artist, CDInfo.Genre, CDInfo.Year, "
                       "Tracks.DiskID, Tracks.Name FROM CDInfo LEFT JOIN Tracks ON "
                       "Tracks.DiskID = CDInfo.DiskID WHERE CDInfo.DiskID = '") +
           key + "' ORDER BY Tracks.TrackNo" + storedOrder;
}

std::unique_ptr<CdInfoRecord> CdCacheDatabase::load(std::uint32_t discId) {
    if (!ensureConnected())
        return nullptr;
    const std::string key = keyOf(discId);
    const std::string statement = loadStatement(key);
    // One statement reads one state of the database, whatever other programs commit
    // meanwhile: the album never comes with the tracks of another store.
    SqlTable rows;
    if (!execute(statement, rows) &&
        !(connectionLost() && reconnect() && execute(loadStatement(key), rows)))
        return nullptr;
    if (rows.rowCount() < 1)
        return nullptr;
    auto record = std::make_unique<CdInfoRecord>();
    record->discId = discId;
    record->album = rows.text(0, 0);
    record->artist = rows.text(0, 1);
    record->genre = rows.text(0, 2);
    record->year = rows.integer(0, 3);
    // A disc without track rows comes as one row whose track columns are empty; a
    // track row always has its disc's key.
    for (int row = 0; row < rows.rowCount(); ++row)
        if (!rows.text(row, 4).empty())
            record->trackTitles.push_back(rows.text(row, 5));
    return record;
}

bool CdCacheDatabase::remove(std::uint32_t discId) {
    if (!ensureConnected())
        return false;
    const std::string key = keyOf(discId);
    return execute(std::string("DELETE FROM ") + kInfoTable + " WHERE " + kKeyColumn + "='" + key +
                   "'") &&
           execute(std::string("DELETE FROM ") + kTracksTable + " WHERE " + kKeyColumn + "='" +
                   key + "'");
}

bool CdCacheDatabase::storeOnce(const CdInfoRecord& record) {
    const std::string key = keyOf(record.discId);
    SqlTable info = infoDescription();
    const int row = info.addRow();
    info.setText(row, 0, key);
    info.setText(row, 1, record.album);
    info.setText(row, 2, record.artist);
    info.setText(row, 3, record.genre);
    info.setInt(row, 4, record.year);
    SqlTable tracks = tracksDescription();
    for (const std::string& title : record.trackTitles) {
        const int t = tracks.addRow();
        tracks.setText(t, 0, key);
        tracks.setText(t, 1, title);
        tracks.setInt(t, 2, t + 1);
    }

    // One transaction, so a failure never leaves a disc with only part of its tracks. A
    // disc already cached has its row updated in place rather than deleted and inserted
    // again: the row's lock then makes a second machine storing the same disc wait for
    // the first one's commit instead of colliding with the row it inserted.
    if (!beginTransaction())
        return false;
    const std::string update =
        std::string("UPDATE ") + kInfoTable + " SET Album=" + quoted(record.album) +
        ", Artist=" + quoted(record.artist) + ", Genre=" + quoted(record.genre) + ", Year='" +
        std::to_string(record.year) + "' WHERE " + kKeyColumn + "='" + key + "'";
    if (execute(update) && (affectedRows() > 0 || insertAll(kInfoTable, info)) &&
        execute(std::string("DELETE FROM ") + kTracksTable + " WHERE " + kKeyColumn + "='" + key +
                "'") &&
        insertAll(kTracksTable, tracks) && commit())
        return true;
    const std::string error = lastError();
    const std::string state = lastState();
    rollback();
    // What is reported is the failure itself, not the rollback's.
    setLastError(error, state);
    return false;
}

bool CdCacheDatabase::store(const CdInfoRecord& record) {
    if (!ensureConnected())
        return false;
    bool reconnected = false;
    for (int attempt = 1;; ++attempt) {
        if (storeOnce(record))
            return true;
        if (!isConnected())
            return false;
        if (connectionLost()) {
            if (reconnected || !reconnect())
                return false;
            reconnected = true;
            continue;
        }
        // Two machines storing the same disc at once: the later one finds the key taken
        // (or, on a server that serialises, its transaction chosen to give way).
        const std::string& state = lastState();
        const std::string text = lowerCase(lastError());
        const bool collided = state == "23505" || state.starts_with("40") ||
                              text.find("database is locked") != std::string::npos ||
                              text.find("unique") != std::string::npos;
        if (!collided || attempt >= kStoreAttempts)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
    }
}
