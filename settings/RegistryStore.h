#pragma once

#include "RegistryTypes.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace cld {

using KeyId = std::int64_t;

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
};

struct RegistryKeyInfo {
    std::string className;
    DWORD subKeys = 0;
    DWORD values = 0;
    DWORD maxSubKeyLen = 0;
    DWORD maxClassLen = 0;
    DWORD maxValueNameLen = 0;
    DWORD maxValueDataLen = 0;
    DWORD securityLen = 0;
    std::uint64_t lastWriteTime = 0;
};

// A key with everything below it, as saved to and restored from a store file.
struct RegistryTree {
    std::string name;
    std::string className;
    std::vector<std::uint8_t> security;
    std::vector<std::pair<std::string, RegistryValue>> values;
    std::vector<RegistryTree> children;
};

// One root's persistent key/value store: an SQLite database in WAL mode, one transaction
// per change, so that several processes may write at once and a crash leaves either the
// old or the new state. Key and value names compare without regard to ASCII case.
// Every operation returns a Win32 error code. Thread-safe.
class RegistryStore {
public:
    static constexpr KeyId kRootId = 1;

    enum class Mode {
        Live,      // a root's store: created when missing, a damaged file is set aside
        HiveRead,  // a private copy of a saved key file; anything else is ERROR_NOT_REGISTRY_FILE
        HiveCreate // a new saved key file
    };

    // A private store's file (and a folder made for it) is kept to its owner.
    explicit RegistryStore(std::filesystem::path file, bool privateToOwner = true);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // The store of a root, shared by every user in this process while it is in use.
    static std::shared_ptr<RegistryStore> forRoot(HKEY root, DWORD& error);
    // Where a root's store lives: CLD_REGISTRY_DIR when set, else the per-user folder
    // ($XDG_CONFIG_HOME or ~/.config, then "Quorvane") for HKEY_CURRENT_USER and
    // /var/lib/calderine for the machine roots.
    static std::filesystem::path fileForRoot(HKEY root);

    DWORD open(Mode mode);
    const std::filesystem::path& file() const { return m_file; }
    bool writable() const { return m_writable; }
    // A store that met corruption while in use; the next forRoot opens it anew.
    bool broken() const { return m_broken; }
    // False once the store's file was replaced or removed by someone else.
    bool sameFile() const;

    DWORD keyExists(KeyId key);
    DWORD findKey(KeyId base, const std::string& path, KeyId& out);
    DWORD createKey(KeyId base, const std::string& path, const std::string& className,
                    const std::vector<std::uint8_t>* security, KeyId& out, bool& created);
    // Deletes key and everything below it (not the root).
    DWORD deleteTree(KeyId key);
    DWORD enumSubKey(KeyId key, DWORD index, std::string& name, std::string& className);
    DWORD enumValue(KeyId key, DWORD index, std::string& name, RegistryValue& value);
    DWORD queryValue(KeyId key, const std::string& name, RegistryValue& value);
    DWORD setValue(KeyId key, const std::string& name, DWORD type,
                   const std::vector<std::uint8_t>& data);
    DWORD deleteValue(KeyId key, const std::string& name);
    DWORD keyInfo(KeyId key, RegistryKeyInfo& info);
    DWORD getSecurity(KeyId key, std::vector<std::uint8_t>& descriptor);
    DWORD setSecurity(KeyId key, const std::vector<std::uint8_t>& descriptor);
    DWORD flush();
    DWORD readTree(KeyId key, RegistryTree& tree);
    // Replaces the values and sub-keys of key (its name stays) with those of tree.
    DWORD replaceTree(KeyId key, const RegistryTree& tree);
    // Adds tree as a new sub-key of parent; ERROR_ALREADY_EXISTS when it is there.
    DWORD addTree(KeyId parent, const RegistryTree& tree);
    // A number that grows whenever something the filter names changes on key (or below it,
    // with subtree). ERROR_KEY_DELETED once the key is gone.
    DWORD changeStamp(KeyId key, bool subtree, DWORD filter, std::int64_t& stamp);
    // Changes committed by any connection since the last call (cheap).
    bool dataChanged();

    // Writes tree into a new store file; ERROR_ALREADY_EXISTS when the file exists.
    static DWORD saveTreeToFile(const RegistryTree& tree, const std::filesystem::path& file);
    static DWORD loadTreeFromFile(const std::filesystem::path& file, RegistryTree& tree);

private:
    class Statement;

    DWORD openLive();
    DWORD openDatabase(int flags);
    DWORD checkDatabase(bool& damaged);
    DWORD createSchema();
    void setAside();
    void closeDatabase();
    DWORD fail(int sqliteCode);
    DWORD checkKey(KeyId key);
    // Steps a statement of at most one row: success with a row, whenNone without one.
    DWORD stepRow(Statement& st, DWORD whenNone);
    // Steps a statement that yields no rows.
    DWORD stepDone(Statement& st);
    DWORD touch(KeyId key, const char* seqColumn);
    // Bind and run a prepared kUpsertValue or kInsertKey statement. insertKey says
    // ERROR_ALREADY_EXISTS when the parent has a sub-key of that name.
    DWORD putValue(Statement& upsert, KeyId key, const std::string& name, DWORD type,
                   const std::vector<std::uint8_t>& data);
    DWORD insertKey(Statement& insert, KeyId parent, const std::string& name,
                    const std::string& className, const std::vector<std::uint8_t>& security);
    DWORD readTreeLocked(KeyId key, RegistryTree& tree, int depth);
    DWORD writeChildrenLocked(KeyId key, const RegistryTree& tree, int depth);
    DWORD deleteBelowLocked(KeyId key, bool includeKey);
    template <typename F> DWORD writeTransaction(F&& body);
    template <typename F> DWORD readTransaction(F&& body);
    template <typename F> DWORD readKey(KeyId key, DWORD rootWhenAbsent, F&& body);
    template <typename F> DWORD writeKey(KeyId key, F&& body);
    template <typename F> DWORD enumRow(KeyId key, DWORD index, const char* sql, F&& read);

    std::filesystem::path m_file;
    sqlite3* m_db = nullptr;
    std::recursive_mutex m_mutex;
    bool m_private = true;
    bool m_writable = false;
    bool m_absent = false;
    std::atomic<bool> m_broken{false};
    std::int64_t m_dataVersion = -1;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
};

// Folds a key or value name for comparison (ASCII letters to lower case).
std::string foldName(const std::string& name);
// Splits a key path at backslashes; empty parts are skipped. False for a part longer than
// a key name may be or a path deeper than a key tree may be.
bool splitKeyPath(const std::string& path, std::vector<std::string>& parts);

} // namespace cld
