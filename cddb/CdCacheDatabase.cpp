#include "CdCacheDatabase.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <odbcinst.h>
#include <pwd.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kInfoTable = "CDInfo";
constexpr const char* kTracksTable = "Tracks";
constexpr const char* kKeyColumn = "DiskID";

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
    return table;
}

std::string fileConnection(const std::string& path) {
    return std::string("DRIVER={") + kCdCacheDriver + "};Database=" + path + ";";
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

std::atomic<bool> g_damageReported{false};

// Whether the data source is registered (user or system). The driver manager remembers a
// failed look-up for a while, so a connect is only tried once the name is known; reading
// the section's key list is never answered from that memory.
bool dataSourceRegistered(const std::string& dataSource) {
    std::vector<char> keys(4096);
    return SQLGetPrivateProfileString(dataSource.c_str(), nullptr, "", keys.data(),
                                      static_cast<int>(keys.size()), "odbc.ini") > 0 &&
           keys[0] != '\0';
}

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return std::filesystem::temp_directory_path();
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
    const std::filesystem::path folder = data / "Quorvane" / "Calderine 2002";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder / kCdCacheFileName;
}

CdCacheDatabase::~CdCacheDatabase() = default;

std::string CdCacheDatabase::keyOf(std::uint32_t discId) {
    char text[16];
    std::snprintf(text, sizeof(text), "%X", discId);
    return text;
}

bool CdCacheDatabase::checkFile() {
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec))
        return true;
    OdbcDatabase file;
    // A file the driver cannot open at all is left to the connect below to report.
    if (!file.connectDriver(fileConnection(m_path)))
        return true;
    SqlTable result;
    const bool checked = file.execute("PRAGMA integrity_check", result);
    if (checked && result.rowCount() == 1 && result.text(0, 0) == "ok")
        return true;
    setLastError(checked ? "Damaged database: " + result.text(0, 0) : file.lastError());
    if (!g_damageReported.exchange(true))
        std::fprintf(stderr,
                     "CLD: the CD information cache \"%s\" is damaged and is not used; "
                     "the file is kept as it is.\n%s\n",
                     m_path.c_str(), lastError().c_str());
    return false;
}

bool CdCacheDatabase::createFile() {
    std::error_code ec;
    if (std::filesystem::exists(m_path, ec))
        return true;
    OdbcDatabase file;
    if (!file.connectDriver(fileConnection(m_path)) || !file.execute("PRAGMA user_version=0")) {
        setLastError(file.lastError());
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
    if (m_path.empty() || !std::filesystem::exists(m_path, ec))
        return;
    OdbcDatabase file;
    if (file.connectDriver(fileConnection(m_path)))
        file.execute("VACUUM");
}

bool CdCacheDatabase::open(const std::string& dataSource, const std::string& path,
                           const std::string& description) {
    m_dataSource = dataSource;
    m_path = path;
    if (!checkFile())
        return false;
    const bool registered = dataSourceRegistered(dataSource);
    if (!registered || !connect(dataSource, "", "")) {
        // A data source that exists but does not answer (a database server that is down,
        // say) is the user's: it is never replaced by a new one.
        if (registered)
            return false;
        createFile();
        if (!registerDataSource(description))
            return connect(dataSource, "", "");
        if (!connect(dataSource, "", ""))
            return false;
    }
    createTable(kInfoTable, infoDescription());
    createTable(kTracksTable, tracksDescription());
    return true;
}

void CdCacheDatabase::close() {
    disconnect();
    compactFile();
}

std::unique_ptr<CdInfoRecord> CdCacheDatabase::load(std::uint32_t discId) {
    const std::string key = keyOf(discId);
    SqlTable info, tracks;
    if (!execute(std::string("SELECT * FROM ") + kInfoTable + " WHERE " + kKeyColumn + "='" + key +
                     "'",
                 info) ||
        !execute(std::string("SELECT * FROM ") + kTracksTable + " WHERE " + kKeyColumn + "='" +
                     key + "'",
                 tracks) ||
        info.rowCount() < 1)
        return nullptr;
    auto record = std::make_unique<CdInfoRecord>();
    record->discId = discId;
    record->album = info.text(0, 1);
    record->artist = info.text(0, 2);
    record->genre = info.text(0, 3);
    record->year = info.integer(0, 4);
    for (int row = 0; row < tracks.rowCount(); ++row)
        record->trackTitles.push_back(tracks.text(row, 1));
    return record;
}

bool CdCacheDatabase::removeRows(std::uint32_t discId) {
    const std::string key = keyOf(discId);
    return execute(std::string("DELETE FROM ") + kInfoTable + " WHERE " + kKeyColumn + "='" + key +
                   "'") &&
           execute(std::string("DELETE FROM ") + kTracksTable + " WHERE " + kKeyColumn + "='" +
                   key + "'");
}

bool CdCacheDatabase::remove(std::uint32_t discId) {
    return removeRows(discId);
}

bool CdCacheDatabase::store(const CdInfoRecord& record) {
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
    }

    // The old rows go and the new ones come in one transaction, so a failure never leaves
    // a disc with only part of its tracks.
    if (!beginTransaction())
        return false;
    removeRows(record.discId);
    if (insertAll(kInfoTable, info) && insertAll(kTracksTable, tracks)) {
        if (commit())
            return true;
    }
    const std::string error = lastError();
    rollback();
    setLastError(error);
    return false;
}
