#include "RegistryStore.h"

#include "Log.h"
#include "ProductIdentity.h"
#include "SafeFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cld {

namespace {

// "CLDR": marks a database as one of our stores.
constexpr int kApplicationId = 0x434C4452;
constexpr int kFormatVersion = 1;
constexpr int kBusyTimeoutMs = 30000;
constexpr std::size_t kMaxKeyNameLen = 255;
constexpr std::size_t kMaxValueNameLen = 16383;
constexpr std::size_t kMaxKeyDepth = 512;
constexpr std::size_t kMaxValueSize = 16u * 1024u * 1024u;

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kFileTimeEpochOffset = 11644473600ull;

std::uint64_t fileTimeNow() {
    using namespace std::chrono;
    const auto since = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return (static_cast<std::uint64_t>(since) / 100u) + kFileTimeEpochOffset * 10000000ull;
}

DWORD errorFromSqlite(int rc) {
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return ERROR_SUCCESS;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    case SQLITE_TOOBIG:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

bool isCorruption(int rc) {
    return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB;
}

int exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

// Holds an exclusive lock on "<store>.lock" while a store is opened and checked, so that
// only one process at a time can decide that a file is damaged and set it aside.
class OpenLock {
public:
    explicit OpenLock(const std::filesystem::path& store) {
        const std::string name = store.string() + ".lock";
        m_fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~OpenLock() {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    OpenLock(const OpenLock&) = delete;
    OpenLock& operator=(const OpenLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

std::mutex g_cacheMutex;
// Open stores stay open for the life of the process: opening one costs a check of the
// whole file, and closing the last connection folds the log back into the file.
std::map<std::string, std::shared_ptr<RegistryStore>> g_cache;

// An expression over the change counters the filter cares about; "" for none of them.
std::string changeCounters(DWORD filter) {
    std::vector<const char*> columns;
    if (filter & REG_NOTIFY_CHANGE_NAME)
        columns.push_back("name_seq");
    if (filter & REG_NOTIFY_CHANGE_LAST_SET)
        columns.push_back("value_seq");
    if (filter & (REG_NOTIFY_CHANGE_SECURITY | REG_NOTIFY_CHANGE_ATTRIBUTES))
        columns.push_back("sec_seq");
    if (columns.size() <= 1)
        return columns.empty() ? std::string() : columns.front();
    std::string expression = "max(";
    for (std::size_t i = 0; i < columns.size(); ++i)
        expression += std::string(i ? ", " : "") + columns[i];
    return expression + ")";
}

// A part of a file name that no other file made by this program has: the process id and
// a count within the process.
std::string uniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// The statements several operations share.
constexpr const char* kFindChild = "SELECT id FROM keys WHERE parent=? AND fold=?";
constexpr const char* kInsertKey = "INSERT INTO keys(parent, name, fold, class, security, mtime)"
                                   " VALUES(?, ?, ?, ?, ?, ?)";
// An update keeps the value's place in the enumeration order.
constexpr const char* kUpsertValue =
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)"
    " ON CONFLICT(key, fold) DO UPDATE SET name=excluded.name,"
    " type=excluded.type, data=excluded.data";
// Names "sub": the key ?1 and every key below it.
constexpr const char* kSubtree = "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION SELECT k.id FROM"
                                 " keys k JOIN sub ON k.parent=sub.id)";

} // namespace

// A prepared statement that finalises itself.
class RegistryStore::Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int prepared() const { return m_rc; }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void bind(int i, const std::string& v) {
        sqlite3_bind_text(m_stmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    void bind(int i, const std::vector<std::uint8_t>& v) {
        // An empty blob must still be a blob, not NULL.
        static const std::uint8_t empty = 0;
        sqlite3_bind_blob(m_stmt, i, v.empty() ? &empty : v.data(), static_cast<int>(v.size()),
                          SQLITE_TRANSIENT);
    }
    void bindNull(int i) { sqlite3_bind_null(m_stmt, i); }
    // An empty blob binds as NULL here.
    void bindOrNull(int i, const std::vector<std::uint8_t>& v) {
        if (v.empty())
            bindNull(i);
        else
            bind(i, v);
    }
    int step() { return m_rc == SQLITE_OK ? sqlite3_step(m_stmt) : m_rc; }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    std::string text(int col) const {
        const auto* p = sqlite3_column_text(m_stmt, col);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
                 : std::string();
    }
    std::vector<std::uint8_t> blob(int col) const {
        const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_stmt, col));
        const int n = sqlite3_column_bytes(m_stmt, col);
        return p && n > 0 ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
    }
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

std::string foldName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool splitKeyPath(const std::string& path, std::vector<std::string>& parts) {
    parts.clear();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start) {
            if (end - start > kMaxKeyNameLen)
                return false;
            parts.push_back(path.substr(start, end - start));
            if (parts.size() > kMaxKeyDepth)
                return false;
        }
        start = end + 1;
    }
    return true;
}

RegistryStore::RegistryStore(std::filesystem::path file, bool privateToOwner)
    : m_file(std::move(file)), m_private(privateToOwner) {}

RegistryStore::~RegistryStore() {
    closeDatabase();
}

std::filesystem::path RegistryStore::fileForRoot(HKEY root) {
    const std::string name = std::string(registryRootName(root)) + ".db";
    if (const char* dir = std::getenv("CLD_REGISTRY_DIR"); dir && *dir)
        return std::filesystem::path(dir) / name;
    if (root == HKEY_CURRENT_USER) {
        std::filesystem::path base;
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        // The XDG rules ignore a relative XDG_CONFIG_HOME.
        if (xdg && *xdg == '/')
            base = xdg;
        else
            base = std::filesystem::path(homeFolder()) / ".config";
        return base / identity::kVendor / name;
    }
    return std::filesystem::path("/var/lib/calderine") / name;
}

std::shared_ptr<RegistryStore> RegistryStore::forRoot(HKEY root, DWORD& error) {
    const std::filesystem::path file = fileForRoot(root);
    std::lock_guard lock(g_cacheMutex);
    auto& slot = g_cache[file.string()];
    if (slot && !slot->broken() && slot->sameFile()) {
        error = ERROR_SUCCESS;
        return slot;
    }
    auto store = std::make_shared<RegistryStore>(file, root == HKEY_CURRENT_USER);
    error = store->open(Mode::Live);
    if (error != ERROR_SUCCESS)
        return nullptr;
    slot = store;
    return store;
}

void RegistryStore::closeDatabase() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

DWORD RegistryStore::fail(int rc) {
    if (isCorruption(rc))
        m_broken = true;
    return errorFromSqlite(rc);
}

DWORD RegistryStore::openDatabase(int flags) {
    closeDatabase();
    const int rc = sqlite3_open_v2(m_file.c_str(), &m_db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        closeDatabase();
        return errorFromSqlite(rc);
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    return ERROR_SUCCESS;
}

// Checks that the open database is one of our stores (or empty) and intact.
DWORD RegistryStore::checkDatabase(bool& damaged) {
    damaged = false;
    // Runs a query of one row and hands the row to read. Without a row it says false, and
    // err holds the error; a damaged file is no error here but the answer.
    DWORD err = ERROR_SUCCESS;
    const auto queryRow = [&](const char* sql, const auto& read) {
        Statement st(m_db, sql);
        const int rc = st.step();
        if (rc != SQLITE_ROW) {
            damaged = isCorruption(rc);
            err = damaged ? ERROR_SUCCESS : errorFromSqlite(rc);
            return false;
        }
        read(st);
        return true;
    };
    std::int64_t appId = 0;
    std::int64_t tables = 0;
    if (!queryRow("PRAGMA application_id", [&](Statement& st) { appId = st.integer(0); }) ||
        !queryRow("SELECT count(*) FROM sqlite_master",
                  [&](Statement& st) { tables = st.integer(0); }))
        return err;
    if (tables == 0 && appId == 0)
        return ERROR_SUCCESS; // a new, empty file
    bool intact = appId == kApplicationId;
    if (intact &&
        !queryRow("PRAGMA quick_check", [&](Statement& st) { intact = st.text(0) == "ok"; }))
        return err;
    if (intact &&
        !queryRow("SELECT count(*) FROM sqlite_master WHERE name IN ('meta','keys','vals')",
                  [&](Statement& st) { intact = st.integer(0) == 3; }))
        intact = false;
    damaged = !intact;
    return ERROR_SUCCESS;
}

DWORD RegistryStore::createSchema() {
    int rc = exec(m_db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return errorFromSqlite(rc);
    Statement present(m_db, "SELECT count(*) FROM sqlite_master WHERE name='keys'");
    if (present.step() == SQLITE_ROW && present.integer(0) == 0) {
        const std::string sql =
            "PRAGMA application_id=" + std::to_string(kApplicationId) +
            ";"
            "PRAGMA user_version=" +
            std::to_string(kFormatVersion) +
            ";"
            "CREATE TABLE meta(seq INTEGER NOT NULL);"
            "INSERT INTO meta VALUES(0);"
            "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
            " name TEXT NOT NULL, fold TEXT NOT NULL, class TEXT NOT NULL DEFAULT '',"
            " security BLOB, mtime INTEGER NOT NULL, name_seq INTEGER NOT NULL DEFAULT 0,"
            " value_seq INTEGER NOT NULL DEFAULT 0, sec_seq INTEGER NOT NULL DEFAULT 0,"
            " UNIQUE(parent, fold));"
            "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, fold TEXT NOT NULL,"
            " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, fold));"
            "INSERT INTO keys(id, parent, name, fold, mtime) VALUES(1, 0, '', '', " +
            std::to_string(fileTimeNow()) + ");";
        rc = exec(m_db, sql.c_str());
        if (rc != SQLITE_OK) {
            exec(m_db, "ROLLBACK");
            return errorFromSqlite(rc);
        }
    }
    rc = exec(m_db, "COMMIT");
    if (rc != SQLITE_OK) {
        exec(m_db, "ROLLBACK");
        return errorFromSqlite(rc);
    }
    return ERROR_SUCCESS;
}

// Moves a damaged store aside (kept for the user) so that a new one can start.
void RegistryStore::setAside() {
    closeDatabase();
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    // The damaged store takes a name nothing has; whatever has a name stays.
    std::string kept = m_file.string() + ".damaged-" + stamp;
    std::error_code ec;
    for (int n = 2; !cld::files::moveIntoPlace(m_file.string(), kept, cld::files::Replace::Never);
         ++n) {
        if (errno != EEXIST || n > 1000) {
            ec = std::error_code(errno, std::generic_category());
            break;
        }
        kept = m_file.string() + ".damaged-" + stamp + "-" + std::to_string(n);
    }
    if (ec) {
        logf(LogLevel::Warning,
             "the settings store %s is damaged and could not be set aside (%s); its settings "
             "read as their defaults.",
             m_file.c_str(), ec.message().c_str());
        return;
    }
    std::error_code ignored;
    const std::string wal = m_file.string() + "-wal";
    if (cld::files::occupantOf(wal) == cld::files::Occupant::RegularFile)
        cld::files::moveIntoPlace(wal, kept + "-wal", cld::files::Replace::Never);
    std::filesystem::remove(m_file.string() + "-shm", ignored);
    logf(LogLevel::Warning,
         "the settings store %s was damaged; it was kept as %s and a new store was started "
         "(its settings read as their defaults).",
         m_file.c_str(), kept.c_str());
}

DWORD RegistryStore::openLive() {
    std::error_code ec;
    const auto dir = m_file.parent_path();
    if (!dir.empty() && !std::filesystem::exists(dir, ec)) {
        std::filesystem::create_directories(dir, ec);
        if (!ec && m_private)
            std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
    }
    // A user's settings may hold private things (proxy names) and stay with their owner;
    // the machine roots are for every user to read.
    const mode_t mode = m_private ? 0600 : 0644;
    const bool exists = std::filesystem::exists(m_file, ec);
    if (!exists) {
        const int fd = ::open(m_file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0)
            ::close(fd);
        else if (errno != EEXIST) {
            // No store and no way to make one (a machine root for a normal user): it reads
            // as empty and refuses writes.
            m_absent = true;
            m_writable = false;
            return ERROR_SUCCESS;
        }
    }

    OpenLock lock(m_file);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD err = openDatabase(SQLITE_OPEN_READWRITE);
        m_writable = err == ERROR_SUCCESS;
        if (err == ERROR_ACCESS_DENIED || err == ERROR_CANTOPEN)
            err = openDatabase(SQLITE_OPEN_READONLY);
        if (err != ERROR_SUCCESS) {
            m_absent = true;
            return ERROR_SUCCESS;
        }
        bool damaged = false;
        err = checkDatabase(damaged);
        if (err == ERROR_SUCCESS && !damaged && !m_writable) {
            // A store we may only read that was never filled reads as empty.
            Statement st(m_db, "SELECT count(*) FROM sqlite_master WHERE name='keys'");
            if (st.step() != SQLITE_ROW || st.integer(0) == 0) {
                closeDatabase();
                m_absent = true;
                return ERROR_SUCCESS;
            }
        }
        if (err == ERROR_SUCCESS && !damaged && m_writable) {
            const int rc = exec(m_db, "PRAGMA journal_mode=WAL");
            if (isCorruption(rc))
                damaged = true;
            else if (rc != SQLITE_OK)
                err = errorFromSqlite(rc);
            else {
                exec(m_db, "PRAGMA synchronous=FULL");
                err = createSchema();
                if (err == ERROR_REGISTRY_CORRUPT)
                    damaged = true;
            }
        }
        if (!damaged) {
            if (err != ERROR_SUCCESS)
                closeDatabase();
            return err;
        }
        if (!m_writable || !lock.held() || attempt > 0) {
            // We cannot replace it: read it as empty rather than fail.
            logf(LogLevel::Warning,
                 "the settings store %s is damaged; its settings read as their defaults.",
                 m_file.c_str());
            closeDatabase();
            m_absent = true;
            m_writable = false;
            return ERROR_SUCCESS;
        }
        setAside();
        const int fd = ::open(m_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode);
        if (fd >= 0)
            ::close(fd);
    }
    return ERROR_REGISTRY_CORRUPT;
}

bool RegistryStore::sameFile() const {
    struct stat st {};
    if (::stat(m_file.c_str(), &st) != 0)
        return m_absent && errno == ENOENT;
    return !m_absent && st.st_dev == m_device && st.st_ino == m_inode;
}

DWORD RegistryStore::open(Mode mode) {
    std::lock_guard guard(m_mutex);
    m_absent = false;
    m_broken = false;
    switch (mode) {
    case Mode::Live: {
        const DWORD err = openLive();
        struct stat st {};
        if (err == ERROR_SUCCESS && !m_absent && ::stat(m_file.c_str(), &st) == 0) {
            m_device = st.st_dev;
            m_inode = st.st_ino;
        }
        return err;
    }
    case Mode::HiveRead: {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(m_file, ec))
            return ERROR_FILE_NOT_FOUND;
        // Only ever a private copy: opened for writing so that a log beside it can be
        // applied, never changed otherwise.
        DWORD err = openDatabase(SQLITE_OPEN_READWRITE);
        if (err != ERROR_SUCCESS)
            return err == ERROR_REGISTRY_CORRUPT ? ERROR_NOT_REGISTRY_FILE : err;
        sqlite3_busy_timeout(m_db, 0);
        bool damaged = false;
        err = checkDatabase(damaged);
        if (err != ERROR_SUCCESS || damaged) {
            closeDatabase();
            return damaged ? ERROR_NOT_REGISTRY_FILE : err;
        }
        Statement st(m_db, "SELECT count(*) FROM keys WHERE id=1");
        if (st.step() != SQLITE_ROW || st.integer(0) != 1) {
            closeDatabase();
            return ERROR_NOT_REGISTRY_FILE;
        }
        m_writable = false;
        return ERROR_SUCCESS;
    }
    case Mode::HiveCreate: {
        DWORD err = openDatabase(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        if (err != ERROR_SUCCESS)
            return err;
        m_writable = true;
        return createSchema();
    }
    }
    return ERROR_INVALID_PARAMETER;
}

template <typename F> DWORD RegistryStore::writeTransaction(F&& body) {
    std::lock_guard guard(m_mutex);
    if (m_absent || !m_writable || !m_db)
        return ERROR_ACCESS_DENIED;
    int rc = exec(m_db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return fail(rc);
    DWORD err = body();
    if (err == ERROR_SUCCESS) {
        rc = exec(m_db, "COMMIT");
        if (rc != SQLITE_OK)
            err = fail(rc);
    }
    if (err != ERROR_SUCCESS && !sqlite3_get_autocommit(m_db))
        exec(m_db, "ROLLBACK");
    return err;
}

template <typename F> DWORD RegistryStore::readTransaction(F&& body) {
    std::lock_guard guard(m_mutex);
    if (!m_db)
        return ERROR_FILE_NOT_FOUND;
    const bool outer = sqlite3_get_autocommit(m_db) != 0;
    if (outer) {
        const int rc = exec(m_db, "BEGIN");
        if (rc != SQLITE_OK)
            return fail(rc);
    }
    const DWORD err = body();
    if (outer)
        exec(m_db, "COMMIT");
    return err;
}

// A read of an existing key. A store that is absent reads as empty: only its root exists,
// and rootWhenAbsent is the answer for it.
template <typename F> DWORD RegistryStore::readKey(KeyId key, DWORD rootWhenAbsent, F&& body) {
    if (m_absent)
        return key == kRootId ? rootWhenAbsent : ERROR_KEY_DELETED;
    return readTransaction([&]() -> DWORD {
        const DWORD err = checkKey(key);
        return err != ERROR_SUCCESS ? err : body();
    });
}

// A change of an existing key, in one transaction.
template <typename F> DWORD RegistryStore::writeKey(KeyId key, F&& body) {
    return writeTransaction([&]() -> DWORD {
        const DWORD err = checkKey(key);
        return err != ERROR_SUCCESS ? err : body();
    });
}

DWORD RegistryStore::stepRow(Statement& st, DWORD whenNone) {
    const int rc = st.step();
    if (rc == SQLITE_ROW)
        return ERROR_SUCCESS;
    return rc == SQLITE_DONE ? whenNone : fail(rc);
}

DWORD RegistryStore::stepDone(Statement& st) {
    const int rc = st.step();
    return rc == SQLITE_DONE ? ERROR_SUCCESS : fail(rc);
}

DWORD RegistryStore::checkKey(KeyId key) {
    Statement st(m_db, "SELECT 1 FROM keys WHERE id=?");
    st.bind(1, key);
    return stepRow(st, ERROR_KEY_DELETED);
}

// Marks key as changed: last write time and the named change counter.
DWORD RegistryStore::touch(KeyId key, const char* seqColumn) {
    const int rc = exec(m_db, "UPDATE meta SET seq=seq+1");
    if (rc != SQLITE_OK)
        return fail(rc);
    const std::string sql =
        std::string("UPDATE keys SET mtime=?, ") + seqColumn + "=(SELECT seq FROM meta) WHERE id=?";
    Statement st(m_db, sql.c_str());
    st.bind(1, static_cast<std::int64_t>(fileTimeNow()));
    st.bind(2, key);
    return stepDone(st);
}

DWORD RegistryStore::putValue(Statement& upsert, KeyId key, const std::string& name, DWORD type,
                              const std::vector<std::uint8_t>& data) {
    upsert.reset();
    upsert.bind(1, key);
    upsert.bind(2, name);
    upsert.bind(3, foldName(name));
    upsert.bind(4, static_cast<std::int64_t>(type));
    upsert.bind(5, data);
    return stepDone(upsert);
}

DWORD RegistryStore::insertKey(Statement& insert, KeyId parent, const std::string& name,
                               const std::string& className,
                               const std::vector<std::uint8_t>& security) {
    insert.reset();
    insert.bind(1, parent);
    insert.bind(2, name);
    insert.bind(3, foldName(name));
    insert.bind(4, className);
    insert.bindOrNull(5, security);
    insert.bind(6, static_cast<std::int64_t>(fileTimeNow()));
    const int rc = insert.step();
    if ((rc & 0xff) == SQLITE_CONSTRAINT)
        return ERROR_ALREADY_EXISTS;
    return rc == SQLITE_DONE ? ERROR_SUCCESS : fail(rc);
}

DWORD RegistryStore::keyExists(KeyId key) {
    return readKey(key, ERROR_SUCCESS, [] { return ERROR_SUCCESS; });
}

DWORD RegistryStore::findKey(KeyId base, const std::string& path, KeyId& out) {
    std::vector<std::string> parts;
    if (!splitKeyPath(path, parts))
        return ERROR_INVALID_PARAMETER;
    if (m_absent && base == kRootId && parts.empty()) {
        out = kRootId;
        return ERROR_SUCCESS;
    }
    return readKey(base, ERROR_FILE_NOT_FOUND, [&]() -> DWORD {
        KeyId current = base;
        Statement st(m_db, kFindChild);
        for (const auto& part : parts) {
            st.reset();
            st.bind(1, current);
            st.bind(2, foldName(part));
            const DWORD err = stepRow(st, ERROR_FILE_NOT_FOUND);
            if (err != ERROR_SUCCESS)
                return err;
            current = st.integer(0);
        }
        out = current;
        return ERROR_SUCCESS;
    });
}

DWORD RegistryStore::createKey(KeyId base, const std::string& path, const std::string& className,
                               const std::vector<std::uint8_t>* security, KeyId& out,
                               bool& created) {
    std::vector<std::string> parts;
    if (!splitKeyPath(path, parts))
        return ERROR_INVALID_PARAMETER;
    created = false;
    if (parts.empty()) {
        // Creating "" opens the base key itself.
        DWORD err = keyExists(base);
        if (err == ERROR_SUCCESS)
            out = base;
        return err;
    }
    if (m_absent)
        return ERROR_ACCESS_DENIED;
    return writeKey(base, [&]() -> DWORD {
        KeyId current = base;
        Statement find(m_db, kFindChild);
        Statement insert(m_db, kInsertKey);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            find.reset();
            find.bind(1, current);
            find.bind(2, foldName(parts[i]));
            DWORD err = stepRow(find, ERROR_FILE_NOT_FOUND);
            if (err == ERROR_SUCCESS) {
                current = find.integer(0);
                continue;
            }
            if (err != ERROR_FILE_NOT_FOUND)
                return err;
            const bool last = i + 1 == parts.size();
            static const std::vector<std::uint8_t> kNoSecurity;
            err = insertKey(insert, current, parts[i], last ? className : std::string(),
                            last && security ? *security : kNoSecurity);
            if (err != ERROR_SUCCESS)
                return err == ERROR_ALREADY_EXISTS ? ERROR_REGISTRY_IO_FAILED : err;
            const KeyId parent = current;
            current = sqlite3_last_insert_rowid(m_db);
            err = touch(parent, "name_seq");
            if (err != ERROR_SUCCESS)
                return err;
            if (last)
                created = true;
        }
        out = current;
        return ERROR_SUCCESS;
    });
}

DWORD RegistryStore::deleteBelowLocked(KeyId key, bool includeKey) {
    Statement vals(m_db, (std::string(kSubtree) + " DELETE FROM vals WHERE key IN sub").c_str());
    vals.bind(1, key);
    const DWORD err = stepDone(vals);
    if (err != ERROR_SUCCESS)
        return err;
    Statement keys(
        m_db,
        (std::string(kSubtree) + " DELETE FROM keys WHERE id IN sub AND (?2 OR id<>?1)").c_str());
    keys.bind(1, key);
    keys.bind(2, static_cast<std::int64_t>(includeKey ? 1 : 0));
    return stepDone(keys);
}

DWORD RegistryStore::deleteTree(KeyId key) {
    if (key == kRootId)
        return ERROR_ACCESS_DENIED;
    return writeKey(key, [&]() -> DWORD {
        Statement parent(m_db, "SELECT parent FROM keys WHERE id=?");
        parent.bind(1, key);
        DWORD err = stepRow(parent, ERROR_KEY_DELETED);
        if (err != ERROR_SUCCESS)
            return err;
        const KeyId parentId = parent.integer(0);
        // Watchers of the deleted keys see them vanish; the parent's watchers see a name
        // change.
        err = deleteBelowLocked(key, true);
        if (err != ERROR_SUCCESS)
            return err;
        return touch(parentId, "name_seq");
    });
}

// Reads the index-th row that sql lists for key (bound as ?1, the index as ?2).
template <typename F>
DWORD RegistryStore::enumRow(KeyId key, DWORD index, const char* sql, F&& read) {
    return readKey(key, ERROR_NO_MORE_ITEMS, [&]() -> DWORD {
        Statement st(m_db, sql);
        st.bind(1, key);
        st.bind(2, static_cast<std::int64_t>(index));
        const DWORD err = stepRow(st, ERROR_NO_MORE_ITEMS);
        if (err == ERROR_SUCCESS)
            read(st);
        return err;
    });
}

DWORD RegistryStore::enumSubKey(KeyId key, DWORD index, std::string& name, std::string& className) {
    return enumRow(key, index,
                   "SELECT name, class FROM keys WHERE parent=?1 ORDER BY fold LIMIT 1 OFFSET ?2",
                   [&](const Statement& st) {
                       name = st.text(0);
                       className = st.text(1);
                   });
}

DWORD RegistryStore::enumValue(KeyId key, DWORD index, std::string& name, RegistryValue& value) {
    return enumRow(
        key, index,
        "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY rowid LIMIT 1 OFFSET ?2",
        [&](const Statement& st) {
            name = st.text(0);
            value.type = static_cast<DWORD>(st.integer(1));
            value.data = st.blob(2);
        });
}

DWORD RegistryStore::queryValue(KeyId key, const std::string& name, RegistryValue& value) {
    return readKey(key, ERROR_FILE_NOT_FOUND, [&]() -> DWORD {
        Statement st(m_db, "SELECT type, data FROM vals WHERE key=? AND fold=?");
        st.bind(1, key);
        st.bind(2, foldName(name));
        const DWORD err = stepRow(st, ERROR_FILE_NOT_FOUND);
        if (err == ERROR_SUCCESS) {
            value.type = static_cast<DWORD>(st.integer(0));
            value.data = st.blob(1);
        }
        return err;
    });
}

DWORD RegistryStore::setValue(KeyId key, const std::string& name, DWORD type,
                              const std::vector<std::uint8_t>& data) {
    if (name.size() > kMaxValueNameLen || data.size() > kMaxValueSize)
        return ERROR_INVALID_PARAMETER;
    return writeKey(key, [&]() -> DWORD {
        Statement upsert(m_db, kUpsertValue);
        const DWORD err = putValue(upsert, key, name, type, data);
        return err != ERROR_SUCCESS ? err : touch(key, "value_seq");
    });
}

DWORD RegistryStore::deleteValue(KeyId key, const std::string& name) {
    return writeKey(key, [&]() -> DWORD {
        Statement st(m_db, "DELETE FROM vals WHERE key=? AND fold=?");
        st.bind(1, key);
        st.bind(2, foldName(name));
        const DWORD err = stepDone(st);
        if (err != ERROR_SUCCESS)
            return err;
        if (sqlite3_changes(m_db) == 0)
            return ERROR_FILE_NOT_FOUND;
        return touch(key, "value_seq");
    });
}

DWORD RegistryStore::keyInfo(KeyId key, RegistryKeyInfo& info) {
    info = RegistryKeyInfo();
    return readKey(key, ERROR_SUCCESS, [&]() -> DWORD {
        // The key itself, then the count and longest name and class (or data) of its
        // sub-keys and of its values.
        Statement self(m_db, "SELECT class, length(security), mtime FROM keys WHERE id=?");
        Statement subs(m_db, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0),"
                             " coalesce(max(length(CAST(class AS BLOB))), 0)"
                             " FROM keys WHERE parent=?");
        Statement vals(m_db, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0),"
                             " coalesce(max(length(data)), 0) FROM vals WHERE key=?");
        for (Statement* st : {&self, &subs, &vals}) {
            st->bind(1, key);
            const DWORD err = stepRow(*st, ERROR_KEY_DELETED);
            if (err != ERROR_SUCCESS)
                return err;
        }
        info.className = self.text(0);
        info.securityLen = static_cast<DWORD>(self.integer(1));
        info.lastWriteTime = static_cast<std::uint64_t>(self.integer(2));
        info.subKeys = static_cast<DWORD>(subs.integer(0));
        info.maxSubKeyLen = static_cast<DWORD>(subs.integer(1));
        info.maxClassLen = static_cast<DWORD>(subs.integer(2));
        info.values = static_cast<DWORD>(vals.integer(0));
        info.maxValueNameLen = static_cast<DWORD>(vals.integer(1));
        info.maxValueDataLen = static_cast<DWORD>(vals.integer(2));
        return ERROR_SUCCESS;
    });
}

DWORD RegistryStore::getSecurity(KeyId key, std::vector<std::uint8_t>& descriptor) {
    descriptor.clear();
    return readKey(key, ERROR_SUCCESS, [&]() -> DWORD {
        Statement st(m_db, "SELECT security FROM keys WHERE id=?");
        st.bind(1, key);
        const DWORD err = stepRow(st, ERROR_KEY_DELETED);
        if (err == ERROR_SUCCESS)
            descriptor = st.blob(0);
        return err;
    });
}

DWORD RegistryStore::setSecurity(KeyId key, const std::vector<std::uint8_t>& descriptor) {
    if (descriptor.size() > kMaxValueSize)
        return ERROR_INVALID_PARAMETER;
    return writeKey(key, [&]() -> DWORD {
        Statement st(m_db, "UPDATE keys SET security=? WHERE id=?");
        st.bind(1, descriptor);
        st.bind(2, key);
        const DWORD err = stepDone(st);
        return err != ERROR_SUCCESS ? err : touch(key, "sec_seq");
    });
}

DWORD RegistryStore::flush() {
    std::lock_guard guard(m_mutex);
    if (!m_db || !m_writable)
        return ERROR_SUCCESS;
    // Every change is already durable when its transaction commits; this moves the log
    // into the main file as far as readers allow.
    const int rc =
        sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return rc == SQLITE_OK || (rc & 0xff) == SQLITE_BUSY ? ERROR_SUCCESS : fail(rc);
}

DWORD RegistryStore::readTreeLocked(KeyId key, RegistryTree& tree, int depth) {
    if (depth > static_cast<int>(kMaxKeyDepth))
        return ERROR_REGISTRY_CORRUPT;
    std::vector<KeyId> children;
    {
        // The statements end before the walk goes deeper.
        Statement self(m_db, "SELECT name, class, security FROM keys WHERE id=?");
        self.bind(1, key);
        DWORD err = stepRow(self, ERROR_KEY_DELETED);
        if (err != ERROR_SUCCESS)
            return err;
        tree.name = self.text(0);
        tree.className = self.text(1);
        tree.security = self.blob(2);

        Statement vals(m_db, "SELECT name, type, data FROM vals WHERE key=? ORDER BY rowid");
        vals.bind(1, key);
        while ((err = stepRow(vals, ERROR_NO_MORE_ITEMS)) == ERROR_SUCCESS) {
            RegistryValue v;
            v.type = static_cast<DWORD>(vals.integer(1));
            v.data = vals.blob(2);
            tree.values.emplace_back(vals.text(0), std::move(v));
        }
        if (err != ERROR_NO_MORE_ITEMS)
            return err;

        Statement subs(m_db, "SELECT id FROM keys WHERE parent=? ORDER BY fold");
        subs.bind(1, key);
        while ((err = stepRow(subs, ERROR_NO_MORE_ITEMS)) == ERROR_SUCCESS)
            children.push_back(subs.integer(0));
        if (err != ERROR_NO_MORE_ITEMS)
            return err;
    }
    for (KeyId child : children) {
        if (child == key)
            return ERROR_REGISTRY_CORRUPT; // a key that is its own parent
        tree.children.emplace_back();
        const DWORD err = readTreeLocked(child, tree.children.back(), depth + 1);
        if (err != ERROR_SUCCESS)
            return err;
    }
    return ERROR_SUCCESS;
}

DWORD RegistryStore::readTree(KeyId key, RegistryTree& tree) {
    tree = RegistryTree();
    return readKey(key, ERROR_SUCCESS, [&] { return readTreeLocked(key, tree, 0); });
}

DWORD RegistryStore::writeChildrenLocked(KeyId key, const RegistryTree& tree, int depth) {
    if (depth > static_cast<int>(kMaxKeyDepth))
        return ERROR_INVALID_PARAMETER;
    Statement upsert(m_db, kUpsertValue);
    for (const auto& [name, value] : tree.values) {
        const DWORD err = putValue(upsert, key, name, value.type, value.data);
        if (err != ERROR_SUCCESS)
            return err;
    }
    Statement insert(m_db, kInsertKey);
    for (const auto& child : tree.children) {
        std::vector<std::string> parts;
        if (!splitKeyPath(child.name, parts) || parts.size() != 1)
            return ERROR_BADKEY;
        DWORD err = insertKey(insert, key, child.name, child.className, child.security);
        if (err == ERROR_ALREADY_EXISTS)
            return ERROR_BADKEY; // two children whose names differ only by case
        if (err != ERROR_SUCCESS)
            return err;
        err = writeChildrenLocked(sqlite3_last_insert_rowid(m_db), child, depth + 1);
        if (err != ERROR_SUCCESS)
            return err;
    }
    return ERROR_SUCCESS;
}

DWORD RegistryStore::replaceTree(KeyId key, const RegistryTree& tree) {
    return writeKey(key, [&]() -> DWORD {
        DWORD err = deleteBelowLocked(key, false);
        if (err != ERROR_SUCCESS)
            return err;
        Statement sec(m_db, "UPDATE keys SET class=?, security=? WHERE id=?");
        sec.bind(1, tree.className);
        sec.bindOrNull(2, tree.security);
        sec.bind(3, key);
        err = stepDone(sec);
        if (err == ERROR_SUCCESS)
            err = writeChildrenLocked(key, tree, 0);
        for (const char* column : {"name_seq", "value_seq", "sec_seq"}) {
            if (err == ERROR_SUCCESS)
                err = touch(key, column);
        }
        return err;
    });
}

DWORD RegistryStore::addTree(KeyId parent, const RegistryTree& tree) {
    return writeKey(parent, [&]() -> DWORD {
        Statement exists(m_db, kFindChild);
        exists.bind(1, parent);
        exists.bind(2, foldName(tree.name));
        DWORD err = stepRow(exists, ERROR_FILE_NOT_FOUND);
        if (err == ERROR_SUCCESS)
            return ERROR_ALREADY_EXISTS;
        if (err != ERROR_FILE_NOT_FOUND)
            return err;
        RegistryTree holder;
        holder.children.push_back(tree);
        err = writeChildrenLocked(parent, holder, 0);
        return err != ERROR_SUCCESS ? err : touch(parent, "name_seq");
    });
}

DWORD RegistryStore::changeStamp(KeyId key, bool subtree, DWORD filter, std::int64_t& stamp) {
    const std::string counters = changeCounters(filter);
    return readKey(key, ERROR_SUCCESS, [&]() -> DWORD {
        if (counters.empty()) {
            stamp = 0;
            return ERROR_SUCCESS;
        }
        const std::string sql = subtree ? std::string(kSubtree) + " SELECT max(" + counters +
                                              ") FROM keys WHERE id IN sub"
                                        : "SELECT " + counters + " FROM keys WHERE id=?1";
        Statement st(m_db, sql.c_str());
        st.bind(1, key);
        const DWORD err = stepRow(st, ERROR_REGISTRY_IO_FAILED);
        if (err == ERROR_SUCCESS)
            stamp = st.integer(0);
        return err;
    });
}

bool RegistryStore::dataChanged() {
    std::lock_guard guard(m_mutex);
    if (!m_db)
        return false;
    Statement st(m_db, "PRAGMA data_version");
    if (st.step() != SQLITE_ROW)
        return true;
    const std::int64_t version = st.integer(0);
    const bool changed = version != m_dataVersion;
    m_dataVersion = version;
    return changed;
}

DWORD RegistryStore::saveTreeToFile(const RegistryTree& tree, const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::exists(file, ec))
        return ERROR_ALREADY_EXISTS;
    // Written under a temporary name and linked into place, so the file appears complete
    // or not at all, and an existing file is never overwritten.
    const std::filesystem::path temp = file.string() + ".tmp-" + uniqueSuffix();
    DWORD err;
    {
        RegistryStore out(temp);
        err = out.open(Mode::HiveCreate);
        if (err == ERROR_SUCCESS)
            err = out.replaceTree(kRootId, tree);
        if (err == ERROR_SUCCESS && exec(out.m_db, "PRAGMA journal_mode=DELETE") != SQLITE_OK)
            err = ERROR_CANTWRITE;
    }
    if (err == ERROR_SUCCESS) {
        if (::link(temp.c_str(), file.c_str()) != 0)
            err = errno == EEXIST                     ? ERROR_ALREADY_EXISTS
                  : errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED
                                                      : ERROR_CANTWRITE;
    } else if (err == ERROR_CANTOPEN) {
        err = ERROR_CANTWRITE;
    }
    std::filesystem::remove(temp, ec);
    std::filesystem::remove(temp.string() + "-journal", ec);
    return err;
}

DWORD RegistryStore::loadTreeFromFile(const std::filesystem::path& file, RegistryTree& tree) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return std::filesystem::exists(file, ec) ? ERROR_NOT_REGISTRY_FILE : ERROR_FILE_NOT_FOUND;
    // The file is read from a private copy: nobody else holds locks on it, it cannot change
    // while it is read, and a store file still in use (with its log beside it) reads as
    // that store's current state.
    const std::filesystem::path copy =
        std::filesystem::temp_directory_path(ec) / ("cld-hive-" + uniqueSuffix() + ".db");
    const auto removeCopy = [&copy] {
        std::error_code ignored;
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            std::filesystem::remove(copy.string() + suffix, ignored);
    };
    removeCopy();
    std::filesystem::copy_file(file, copy, ec);
    if (ec) {
        removeCopy();
        return ec == std::errc::permission_denied ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
    }
    const std::string wal = file.string() + "-wal";
    if (std::filesystem::is_regular_file(wal, ec))
        std::filesystem::copy_file(wal, copy.string() + "-wal", ec);
    DWORD err;
    {
        RegistryStore in(copy);
        err = in.open(Mode::HiveRead);
        if (err == ERROR_SUCCESS)
            err = in.readTree(kRootId, tree);
    }
    removeCopy();
    return err == ERROR_REGISTRY_CORRUPT ? ERROR_NOT_REGISTRY_FILE : err;
}

} // namespace cld
