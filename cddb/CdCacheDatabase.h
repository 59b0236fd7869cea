#pragma once

#include "CdInfoRecord.h"
#include "OdbcDatabase.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// The file name of the cache database.
inline constexpr const char* kCdCacheFileName = "CDDBCache.mdb";
// The data source the program registers for it, and its description.
inline constexpr const char* kCdCacheDataSource = "CLD CDDB";
inline constexpr const char* kCdCacheDescription = "Quorvane CDDB Cache";
// The ODBC driver that serves the file.
inline constexpr const char* kCdCacheDriver = "SQLite3";

// Where the cache file lives: in the program folder when the user may write there,
// otherwise in the user's data folder ($XDG_DATA_HOME, default ~/.local/share, then
// "Quorvane/Calderine 2002"), which is created when missing.
std::filesystem::path cdCacheFilePath(const std::filesystem::path& programFolder);

// Disc information keyed by the CDDB disc ID ("%X"), in the tables "CDInfo" (DiskID TEXT
// UNIQUE, Album, Artist, Genre TEXT, Year INTEGER) and "Tracks" (DiskID, Name TEXT; one row
// per track, in track order).
class CdCacheDatabase : public OdbcDatabase {
public:
    CdCacheDatabase() = default;
    ~CdCacheDatabase() override;

    // Checks the file, connects to the data source and, when that fails, creates the file,
    // registers the data source (a user data source) and the two tables. A damaged file is
    // kept untouched, reported once on standard error, and open fails.
    bool open(const std::string& dataSource, const std::string& path,
              const std::string& description);
    // Disconnects, then compacts the file.
    void close();
    // A new record, or nothing when the disc is not cached (or the cache fails).
    std::unique_ptr<CdInfoRecord> load(std::uint32_t discId);
    // Replaces the disc's rows with the record, all or nothing.
    bool store(const CdInfoRecord& record);
    bool remove(std::uint32_t discId);

    const std::string& dataSource() const { return m_dataSource; }
    const std::string& path() const { return m_path; }

    // The key a disc is stored under: "%X" of its ID.
    static std::string keyOf(std::uint32_t discId);

private:
    bool checkFile();
    bool createFile();
    bool registerDataSource(const std::string& description);
    void compactFile();
    bool removeRows(std::uint32_t discId);

    std::string m_dataSource;
    std::string m_path;
};
