#pragma once

#include "CdInfoRecord.h"
#include "OdbcDatabase.h"
#include "ProductIdentity.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// The file name of the cache database.
inline constexpr const char* kCdCacheFileName = "CDDBCache.mdb";
// The data source the program registers for it.
inline constexpr const char* kCdCacheDataSource = "CLD CDDB";
// The ODBC driver that serves the file.
inline constexpr const char* kCdCacheDriver = "SQLite3";
// The description the data source is registered with ("<vendor> CDDB Cache").
inline const std::string kCdCacheDescription = std::string(cld::identity::kVendor) + " CDDB Cache";

// Where the cache file lives: in the program folder when the user may write there,
// otherwise in the user's data folder ($XDG_DATA_HOME, default ~/.local/share, then
// "<vendor>/<product>"), which is created when missing.
std::filesystem::path cdCacheFilePath(const std::filesystem::path& programFolder);

// Disc information keyed by the CDDB disc ID ("%X"), in the tables "CDInfo" (DiskID TEXT
// UNIQUE, Album, Artist, Genre TEXT, Year INTEGER) and "Tracks" (DiskID, Name TEXT, TrackNo
// INTEGER; one row per track, numbered from 1; indexed by DiskID). A database server gives
// rows back in whatever order it keeps them, so the order is the track number's; rows
// written before the number existed have none and come back in the order they are stored.
//
// The data source is normally a SQLite file the program registers itself. It may instead
// be one the user registered for another driver, a PostgreSQL database shared by several
// machines say: the same tables and statements are used there, and such a data source is
// never re-registered or overwritten, even while its server is down.
class CdCacheDatabase : public OdbcDatabase {
public:
    CdCacheDatabase();
    ~CdCacheDatabase() override;

    // Connects to the data source, registering it (a user data source) and creating the
    // file and the tables first when needed. A SQLite data source whose file's folder no
    // longer exists (the program was moved) is registered again for `path`. A damaged
    // file is renamed aside with the time in its name (damagedFileKeptAs()) and a fresh
    // one is started. Several processes may open the same cache at once.
    bool open(const std::string& dataSource, const std::string& path,
              const std::string& description);
    // Disconnects, then compacts the file (a SQLite cache only).
    void close();
    // A new record, or nothing when the disc is not cached (or the cache fails). Album and
    // tracks are read in one statement, so a store running at the same time is seen
    // either whole or not at all.
    std::unique_ptr<CdInfoRecord> load(std::uint32_t discId);
    // Replaces the disc's rows with the record, all or nothing. A store that collides with
    // another machine's store of the same disc is tried again; a connection the server
    // dropped is opened again once.
    //
    // When the server cannot be reached again at once, load, store and remove fail
    // while a thread of the cache's own keeps trying, ever less often; the first call
    // after it got through uses its connection. A call that finds the connection down has
    // the thread try at once when its last attempt began a second or more ago, and waits
    // a second at most for that attempt: a server that is back is used by the next call.
    bool store(const CdInfoRecord& record);
    bool remove(std::uint32_t discId);

    const std::string& dataSource() const { return m_dataSource; }
    const std::string& path() const { return m_path; }
    // True when the data source is a SQLite file (false for a database server).
    bool isFileCache() const { return m_fileCache; }
    // Set by open when it found the cache file damaged: where the damaged file now is.
    // Empty otherwise. The program tells the user once.
    const std::string& damagedFileKeptAs() const { return m_damagedKeptAs; }

    // Set by open when it failed because another process held the SQLite file locked
    // for longer than a short wait: the cache is not damaged, and a later open may work.
    bool lockedAtOpen() const { return m_locked; }

    // The key a disc is stored under: "%X" of its ID.
    static std::string keyOf(std::uint32_t discId);
    // How many connections were tried since the last one was lost.
    int reconnectAttempts() const { return m_reconnectAttempts.load(); }

private:
    bool openLocked(const std::string& description);
    void setAsideIfDamaged(const std::string& file);
    bool createFile(const std::string& file);
    bool registerDataSource(const std::string& description);
    void compactFile();
    bool storeOnce(const CdInfoRecord& record);
    // Whether the last failure means the server has gone away, and then whether a new
    // connection could be made at once (otherwise the reconnecting thread takes over).
    bool connectionLost() const;
    bool reconnect();
    // True when connected, also by a connection the reconnecting thread has made.
    bool ensureConnected();
    void startReconnecting();
    void stopReconnecting();
    struct Reconnector;
    void reconnectLoop(Reconnector& state);
    void afterConnect();
    // Adds the track number to a "Tracks" table made before it existed.
    void upgradeTables();
    std::string loadStatement(const std::string& key) const;

    std::string m_dataSource;
    std::string m_path;
    std::string m_file; // the SQLite file actually in use
    std::string m_damagedKeptAs;
    bool m_fileCache = true;
    bool m_locked = false;
    // Set once open succeeded: a connection lost after that is sought again.
    bool m_opened = false;
    std::unique_ptr<Reconnector> m_reconnector;
    std::atomic<int> m_reconnectAttempts{0};
};
