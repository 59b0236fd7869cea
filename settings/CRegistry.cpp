#include "CRegistry.h"

#include "RegistryEvent.h"
#include "RegistryStore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <thread>
#include <unistd.h>

namespace cld {

// The key CRegistry has open: its store, its id there and the rights it was opened with.
struct RegistryKeyRef {
    std::shared_ptr<RegistryStore> store;
    KeyId id = 0;
    REGSAM access = 0;
};

namespace {

constexpr auto kWatchPollInterval = std::chrono::milliseconds(25);
constexpr DWORD kAllNotifyFilters = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                                    REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

// One watch: its own connection to the store (so that it sees every commit, this
// process's included) and the change stamp it started from.
struct Watch {
    std::unique_ptr<RegistryStore> store;
    KeyId key = 0;
    bool subtree = false;
    DWORD filter = 0;
    std::int64_t stamp = 0;

    DWORD start(const std::filesystem::path& file) {
        store = std::make_unique<RegistryStore>(file);
        DWORD err = store->open(RegistryStore::Mode::Live);
        if (err == ERROR_SUCCESS) {
            store->dataChanged();
            err = store->changeStamp(key, subtree, filter, stamp);
        }
        return err;
    }
    // True once the watched change has happened (or the key is gone).
    bool changed() {
        if (!store->dataChanged())
            return false;
        std::int64_t now = 0;
        const DWORD err = store->changeStamp(key, subtree, filter, now);
        return err != ERROR_SUCCESS || now != stamp;
    }
};

std::string localComputerName() {
    char name[260] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

bool sameComputer(const char* given) {
    std::string name = given;
    if (name.rfind("\\\\", 0) == 0)
        name.erase(0, 2);
    const std::string local = localComputerName();
    return foldName(name) == foldName(local) || foldName(name) == "localhost" || name == ".";
}

std::vector<std::uint8_t> dwordBytes(DWORD v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

} // namespace

// The asynchronous watches of one CRegistry: each a thread that signals its event once.
// A watch is over once it has signalled: its owner may then destroy the event at once, so
// nothing here touches that event again.
class RegistryWatchers {
public:
    ~RegistryWatchers() { stopAll(); }

    void add(Watch watch, RegistryEvent* event) {
        auto state = std::make_shared<State>();
        state->event = event;
        m_entries.push_back(Entry{state, {}});
        m_entries.back().thread = std::thread([w = std::move(watch), state]() mutable {
            while (!state->stop.load()) {
                if (w.changed()) {
                    state->signalOnce();
                    return;
                }
                std::this_thread::sleep_for(kWatchPollInterval);
            }
        });
    }

    // Ends every watch; an event still waiting is signalled, as when a key handle closes.
    void stopAll() {
        for (auto& e : m_entries) {
            e.state->stop.store(true);
            if (e.thread.joinable())
                e.thread.join();
            e.state->signalOnce();
        }
        m_entries.clear();
    }

private:
    struct State {
        std::atomic<bool> stop{false};
        std::atomic<bool> signalled{false};
        RegistryEvent* event = nullptr;
        // Whoever comes first signals; the event is not touched after that.
        void signalOnce() {
            if (!signalled.exchange(true))
                event->set();
        }
    };
    struct Entry {
        std::shared_ptr<State> state;
        std::thread thread;
    };
    std::vector<Entry> m_entries;
};

} // namespace cld

using cld::KeyId;
using cld::RegistryStore;
using cld::RegistryTree;
using cld::RegistryValue;

namespace {

// Runs an operation, turning any exception into error 1064, and records the result.
template <typename F> bool guarded(DWORD& lastError, F&& body) {
    try {
        lastError = body();
    } catch (...) {
        lastError = ERROR_EXCEPTION_IN_SERVICE;
    }
    return lastError == ERROR_SUCCESS;
}

} // namespace

CRegistry::CRegistry() = default;

CRegistry::~CRegistry() {
    try {
        CloseKey();
    } catch (...) {
    }
}

void CRegistry::CloseKey() {
    if (m_watchers)
        m_watchers->stopAll();
    m_watchers.reset();
    m_key.reset();
    m_store.reset();
    m_rootKey = 0;
    m_lastError = ERROR_SUCCESS;
    m_className.clear();
    m_computerName.clear();
    m_keyName.clear();
    m_rootName.clear();
    m_subKeyCount = 0;
    m_valueCount = 0;
    m_maxSubKeyLen = 0;
    m_maxClassLen = 0;
    m_maxValueNameLen = 0;
    m_maxValueDataLen = 0;
    m_securityDescriptorLen = 0;
    m_lastWriteTime = 0;
}

bool CRegistry::ConnectRoot(HKEY root, const char* computerName) {
    CloseKey();
    return guarded(m_lastError, [&]() -> DWORD {
        const bool named = computerName && *computerName;
        if ((root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_USER) && named)
            return ERROR_INVALID_HANDLE;
        if (named && !cld::sameComputer(computerName))
            return ERROR_BAD_NETPATH; // remote stores are not supported on this platform
        if (isPredefinedRoot(root)) {
            DWORD err = ERROR_SUCCESS;
            m_store = RegistryStore::forRoot(root, err);
            if (!m_store)
                return err;
        }
        m_rootKey = root;
        m_computerName = named ? std::string(computerName) : cld::localComputerName();
        m_rootName = registryRootName(root);
        return ERROR_SUCCESS;
    });
}

namespace {

DWORD keyFor(const std::unique_ptr<cld::RegistryKeyRef>& key, REGSAM rights) {
    if (!key)
        return ERROR_INVALID_HANDLE;
    if ((key->access & rights) != rights)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

// Reads a value of the open key as it is stored.
DWORD queryValue(const std::unique_ptr<cld::RegistryKeyRef>& key, const char* valueName,
                 RegistryValue& value) {
    const DWORD err = keyFor(key, KEY_QUERY_VALUE);
    return err != ERROR_SUCCESS ? err : key->store->queryValue(key->id, valueName, value);
}

} // namespace

bool CRegistry::CreateKey(const char* subKey, const char* className, DWORD options, REGSAM access,
                          const SecurityAttributes* security, DWORD* disposition) {
    if (!subKey)
        return guarded(m_lastError, [] { return ERROR_INVALID_PARAMETER; });
    return guarded(m_lastError, [&]() -> DWORD {
        if (options & ~REG_OPTION_VOLATILE)
            return ERROR_INVALID_PARAMETER;
        if (security && security->descriptorSize > 0 && !security->descriptor)
            return ERROR_INVALID_PARAMETER;
        if (m_watchers)
            m_watchers->stopAll();
        m_key.reset();
        m_keyName.clear();
        if (!m_store)
            return ERROR_INVALID_HANDLE;
        std::vector<std::uint8_t> descriptor;
        if (security && security->descriptor)
            descriptor.assign(security->descriptor,
                              security->descriptor + security->descriptorSize);
        KeyId id = 0;
        bool created = false;
        const DWORD err =
            m_store->createKey(RegistryStore::kRootId, subKey, className ? className : "",
                               descriptor.empty() ? nullptr : &descriptor, id, created);
        if (err != ERROR_SUCCESS)
            return err;
        m_key = std::make_unique<cld::RegistryKeyRef>(cld::RegistryKeyRef{m_store, id, access});
        m_keyName = subKey;
        if (disposition)
            *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

bool CRegistry::DeleteKeyTree(const char* subKey) {
    if (!subKey)
        return guarded(m_lastError, [] { return ERROR_INVALID_PARAMETER; });
    return guarded(m_lastError, [&]() -> DWORD {
        if (!m_store)
            return ERROR_INVALID_HANDLE;
        // Below the current key, or below the root when no key is open.
        KeyId base = m_key ? m_key->id : RegistryStore::kRootId;
        std::string baseName = m_key ? m_keyName : std::string();
        std::string path = subKey;
        const auto slash = path.rfind('\\');
        if (slash != std::string::npos) {
            const std::string parent = path.substr(0, slash);
            KeyId parentId = 0;
            DWORD err = m_store->findKey(base, parent, parentId);
            if (err != ERROR_SUCCESS)
                return err;
            if (m_watchers)
                m_watchers->stopAll();
            m_key = std::make_unique<cld::RegistryKeyRef>(
                cld::RegistryKeyRef{m_store, parentId, KEY_ALL_ACCESS});
            m_keyName = baseName.empty() ? parent : baseName + "\\" + parent;
            base = parentId;
            path = path.substr(slash + 1);
        }
        KeyId target = 0;
        const DWORD err = m_store->findKey(base, path, target);
        if (err != ERROR_SUCCESS)
            return err;
        return m_store->deleteTree(target);
    });
}

bool CRegistry::DeleteValue(const char* valueName) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!valueName)
            return ERROR_INVALID_PARAMETER;
        const DWORD err = keyFor(m_key, KEY_SET_VALUE);
        return err != ERROR_SUCCESS ? err : m_key->store->deleteValue(m_key->id, valueName);
    });
}

bool CRegistry::EnumSubKey(DWORD index, std::string& name, std::string& className) {
    return guarded(m_lastError, [&]() -> DWORD {
        DWORD err = keyFor(m_key, KEY_ENUMERATE_SUB_KEYS);
        if (err != ERROR_SUCCESS)
            return err;
        std::string n, c;
        err = m_key->store->enumSubKey(m_key->id, index, n, c);
        if (err == ERROR_SUCCESS) {
            name = std::move(n);
            className = std::move(c);
        }
        return err;
    });
}

namespace {

// Hands a value to a caller's type, buffer and size the way the registry does: the size
// always says how much the value needs, the bytes are copied only when they fit.
DWORD copyValueOut(const RegistryValue& v, DWORD* type, std::uint8_t* data, DWORD* size) {
    if (type)
        *type = v.type;
    if (size) {
        const DWORD need = static_cast<DWORD>(v.data.size());
        const DWORD room = *size;
        *size = need;
        if (data) {
            if (room < need)
                return ERROR_MORE_DATA;
            if (need > 0)
                std::memcpy(data, v.data.data(), need);
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

bool CRegistry::EnumValue(DWORD index, std::string& name, DWORD* type, std::uint8_t* data,
                          DWORD* size) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (data && !size)
            return ERROR_INVALID_PARAMETER;
        DWORD err = keyFor(m_key, KEY_QUERY_VALUE);
        if (err != ERROR_SUCCESS)
            return err;
        std::string n;
        RegistryValue v;
        err = m_key->store->enumValue(m_key->id, index, n, v);
        if (err != ERROR_SUCCESS)
            return err;
        if (n.size() >= 2048)
            return ERROR_MORE_DATA;
        name = std::move(n);
        return copyValueOut(v, type, data, size);
    });
}

bool CRegistry::FlushKey() {
    return guarded(m_lastError, [&]() -> DWORD {
        const DWORD err = keyFor(m_key, 0);
        return err != ERROR_SUCCESS ? err : m_key->store->flush();
    });
}

namespace {

// Reads a value of one expected type from the open key.
DWORD readTyped(const std::unique_ptr<cld::RegistryKeyRef>& key, const char* valueName,
                std::initializer_list<DWORD> types, std::vector<std::uint8_t>& data) {
    if (!valueName)
        return ERROR_INVALID_PARAMETER;
    RegistryValue v;
    const DWORD err = queryValue(key, valueName, v);
    if (err != ERROR_SUCCESS)
        return err;
    for (DWORD t : types) {
        if (v.type == t) {
            data = std::move(v.data);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_UNSUPPORTED_TYPE;
}

} // namespace

bool CRegistry::ReadBinary(const char* valueName, std::vector<std::uint8_t>& data) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!valueName)
            return ERROR_INVALID_PARAMETER;
        if (!ReadKeyInfo())
            return m_lastError;
        std::vector<std::uint8_t> bytes;
        const DWORD err = readTyped(m_key, valueName, {REG_BINARY}, bytes);
        if (err == ERROR_SUCCESS)
            data = std::move(bytes);
        return err;
    });
}

std::string CRegistry::ClassName() const {
    return m_className;
}

std::string CRegistry::ComputerName() const {
    return m_computerName;
}

bool CRegistry::ReadDword(const char* valueName, DWORD& value) {
    return guarded(m_lastError, [&]() -> DWORD {
        std::vector<std::uint8_t> bytes;
        const DWORD err = readTyped(m_key, valueName, {REG_DWORD}, bytes);
        if (err != ERROR_SUCCESS)
            return err;
        if (bytes.size() != 4)
            return ERROR_DATATYPE_MISMATCH;
        value = static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
                (static_cast<DWORD>(bytes[2]) << 16) | (static_cast<DWORD>(bytes[3]) << 24);
        return ERROR_SUCCESS;
    });
}

DWORD CRegistry::LastError() const {
    return m_lastError;
}

std::string CRegistry::KeyName() const {
    return m_keyName;
}

DWORD CRegistry::SubKeyCount() const {
    return m_subKeyCount;
}

DWORD CRegistry::ValueCount() const {
    return m_valueCount;
}

std::string CRegistry::RootName() const {
    return m_rootName;
}

bool CRegistry::ReadKeySecurity(SECURITY_INFORMATION, std::uint8_t* descriptor, DWORD* size) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!size)
            return ERROR_INVALID_PARAMETER;
        DWORD err = keyFor(m_key, 0);
        if (err != ERROR_SUCCESS)
            return err;
        std::vector<std::uint8_t> stored;
        err = m_key->store->getSecurity(m_key->id, stored);
        if (err != ERROR_SUCCESS)
            return err;
        const DWORD need = static_cast<DWORD>(stored.size());
        const DWORD room = *size;
        *size = need;
        if (need > 0 && (!descriptor || room < need))
            return ERROR_INSUFFICIENT_BUFFER;
        if (need > 0)
            std::memcpy(descriptor, stored.data(), need);
        return ERROR_SUCCESS;
    });
}

bool CRegistry::ReadString(const char* valueName, std::string& text) {
    const bool ok = guarded(m_lastError, [&]() -> DWORD {
        std::vector<std::uint8_t> bytes;
        const DWORD err = readTyped(m_key, valueName, {REG_SZ, REG_EXPAND_SZ}, bytes);
        if (err != ERROR_SUCCESS)
            return err;
        // The text ends at its terminating NUL (or with the data when it has none).
        const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        text.assign(bytes.begin(), end);
        return ERROR_SUCCESS;
    });
    if (!ok)
        text.clear();
    return ok;
}

bool CRegistry::ReadStringList(const char* valueName, std::vector<std::string>& list) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!valueName)
            return ERROR_INVALID_PARAMETER;
        if (!ReadKeyInfo())
            return m_lastError;
        std::vector<std::uint8_t> bytes;
        const DWORD err = readTyped(m_key, valueName, {REG_MULTI_SZ}, bytes);
        if (err != ERROR_SUCCESS)
            return err;
        std::vector<std::string> out;
        auto it = bytes.begin();
        while (it != bytes.end()) {
            const auto end = std::find(it, bytes.end(), std::uint8_t{0});
            if (end == it)
                break; // the empty string ends the list
            out.emplace_back(it, end);
            it = end == bytes.end() ? end : end + 1;
        }
        list = std::move(out);
        return ERROR_SUCCESS;
    });
}

bool CRegistry::ReadValue(const char* valueName, DWORD& value) {
    return ReadDword(valueName, value);
}

bool CRegistry::ReadValue(const char* valueName, std::string& text) {
    return ReadString(valueName, text);
}

bool CRegistry::ReadValue(const char* valueName, std::vector<std::uint8_t>& data) {
    return ReadBinary(valueName, data);
}

bool CRegistry::ReadValue(const char* valueName, std::vector<std::string>& list) {
    return ReadStringList(valueName, list);
}

bool CRegistry::LoadHive(const char* subKey, const char* file) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!subKey || !file)
            return ERROR_INVALID_PARAMETER;
        if (!m_store)
            return ERROR_INVALID_HANDLE;
        if (m_rootKey != HKEY_LOCAL_MACHINE && m_rootKey != HKEY_USERS)
            return ERROR_INVALID_PARAMETER;
        std::vector<std::string> parts;
        if (!cld::splitKeyPath(subKey, parts) || parts.size() != 1)
            return ERROR_INVALID_PARAMETER;
        RegistryTree tree;
        const DWORD err = RegistryStore::loadTreeFromFile(file, tree);
        if (err != ERROR_SUCCESS)
            return err;
        tree.name = parts.front();
        return m_store->addTree(RegistryStore::kRootId, tree);
    });
}

bool CRegistry::WatchChanges(RegistryEvent* event, DWORD filter, bool watchSubtree,
                             bool asynchronous) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (asynchronous && !event)
            return ERROR_INVALID_PARAMETER;
        if (filter == 0 || (filter & ~cld::kAllNotifyFilters))
            return ERROR_INVALID_PARAMETER;
        const DWORD err = keyFor(m_key, KEY_NOTIFY);
        if (err != ERROR_SUCCESS)
            return err;
        cld::Watch watch;
        watch.key = m_key->id;
        watch.subtree = watchSubtree;
        watch.filter = filter;
        const DWORD started = watch.start(m_key->store->file());
        if (started != ERROR_SUCCESS)
            return started;
        if (!asynchronous) {
            while (!watch.changed())
                std::this_thread::sleep_for(cld::kWatchPollInterval);
            return ERROR_SUCCESS;
        }
        if (!m_watchers)
            m_watchers = std::make_unique<cld::RegistryWatchers>();
        m_watchers->add(std::move(watch), event);
        return ERROR_SUCCESS;
    });
}

bool CRegistry::OpenKey(const char* subKey, REGSAM access) {
    if (!subKey)
        return guarded(m_lastError, [] { return ERROR_INVALID_PARAMETER; });
    const bool ok = guarded(m_lastError, [&]() -> DWORD {
        if (m_watchers)
            m_watchers->stopAll();
        m_key.reset();
        m_keyName.clear();
        if (!m_store)
            return ERROR_INVALID_HANDLE;
        KeyId id = 0;
        const DWORD err = m_store->findKey(RegistryStore::kRootId, subKey, id);
        if (err != ERROR_SUCCESS)
            return err;
        m_key = std::make_unique<cld::RegistryKeyRef>(cld::RegistryKeyRef{m_store, id, access});
        return ERROR_SUCCESS;
    });
    if (!ok)
        return false;
    ReadKeyInfo();
    m_keyName = subKey;
    m_lastError = ERROR_SUCCESS;
    return true;
}

bool CRegistry::ReadKeyInfo() {
    return guarded(m_lastError, [&]() -> DWORD {
        DWORD err = keyFor(m_key, 0);
        if (err != ERROR_SUCCESS)
            return err;
        cld::RegistryKeyInfo info;
        err = m_key->store->keyInfo(m_key->id, info);
        if (err != ERROR_SUCCESS)
            return err;
        m_className =
            info.className.size() > 2047 ? info.className.substr(0, 2047) : info.className;
        m_subKeyCount = info.subKeys;
        m_valueCount = info.values;
        m_maxSubKeyLen = info.maxSubKeyLen;
        m_maxClassLen = info.maxClassLen;
        m_maxValueNameLen = info.maxValueNameLen;
        m_maxValueDataLen = info.maxValueDataLen;
        m_securityDescriptorLen = info.securityLen;
        m_lastWriteTime = info.lastWriteTime;
        return ERROR_SUCCESS;
    });
}

bool CRegistry::ReadRaw(const char* valueName, DWORD* type, std::uint8_t* data, DWORD* size) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!valueName || (data && !size))
            return ERROR_INVALID_PARAMETER;
        RegistryValue v;
        const DWORD err = queryValue(m_key, valueName, v);
        if (err != ERROR_SUCCESS)
            return err;
        return copyValueOut(v, type, data, size);
    });
}

bool CRegistry::ReplaceHive(const char* subKey, const char* newFile, const char* oldFile) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!subKey || !newFile || !oldFile)
            return ERROR_INVALID_PARAMETER;
        if (!m_store)
            return ERROR_INVALID_HANDLE;
        const KeyId base = m_key ? m_key->id : RegistryStore::kRootId;
        KeyId target = 0;
        DWORD err = m_store->findKey(base, subKey, target);
        if (err != ERROR_SUCCESS)
            return err;
        // The new tree is checked before anything is changed; the old one is saved before
        // it is replaced.
        RegistryTree replacement;
        err = RegistryStore::loadTreeFromFile(newFile, replacement);
        if (err != ERROR_SUCCESS)
            return err;
        RegistryTree current;
        err = m_store->readTree(target, current);
        if (err != ERROR_SUCCESS)
            return err;
        err = RegistryStore::saveTreeToFile(current, oldFile);
        if (err != ERROR_SUCCESS)
            return err;
        return m_store->replaceTree(target, replacement);
    });
}

bool CRegistry::RestoreKey(const char* file, DWORD flags) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!file)
            return ERROR_INVALID_PARAMETER;
        if (flags & ~(REG_FORCE_RESTORE | REG_WHOLE_HIVE_VOLATILE))
            return ERROR_INVALID_PARAMETER;
        DWORD err = keyFor(m_key, KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
        if (err != ERROR_SUCCESS)
            return err;
        RegistryTree tree;
        err = RegistryStore::loadTreeFromFile(file, tree);
        if (err != ERROR_SUCCESS)
            return err;
        return m_key->store->replaceTree(m_key->id, tree);
    });
}

bool CRegistry::SaveKey(const char* file, const SecurityAttributes*) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!file)
            return ERROR_INVALID_PARAMETER;
        DWORD err = keyFor(m_key, 0);
        if (err != ERROR_SUCCESS)
            return err;
        RegistryTree tree;
        err = m_key->store->readTree(m_key->id, tree);
        if (err != ERROR_SUCCESS)
            return err;
        return RegistryStore::saveTreeToFile(tree, file);
    });
}

namespace {

DWORD writeTyped(const std::unique_ptr<cld::RegistryKeyRef>& key, const char* valueName, DWORD type,
                 const std::vector<std::uint8_t>& data) {
    if (!valueName)
        return ERROR_INVALID_PARAMETER;
    const DWORD err = keyFor(key, KEY_SET_VALUE);
    return err != ERROR_SUCCESS ? err : key->store->setValue(key->id, valueName, type, data);
}

} // namespace

bool CRegistry::WriteBinary(const char* valueName, const std::vector<std::uint8_t>& data) {
    return guarded(m_lastError, [&] { return writeTyped(m_key, valueName, REG_BINARY, data); });
}

bool CRegistry::WriteDword(const char* valueName, DWORD value) {
    return guarded(m_lastError,
                   [&] { return writeTyped(m_key, valueName, REG_DWORD, cld::dwordBytes(value)); });
}

bool CRegistry::WriteKeySecurity(SECURITY_INFORMATION, const std::uint8_t* descriptor, DWORD size) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!descriptor)
            return ERROR_INVALID_PARAMETER;
        const DWORD err = keyFor(m_key, 0);
        if (err != ERROR_SUCCESS)
            return err;
        return m_key->store->setSecurity(m_key->id,
                                         std::vector<std::uint8_t>(descriptor, descriptor + size));
    });
}

bool CRegistry::WriteString(const char* valueName, const char* text) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!text)
            return ERROR_INVALID_PARAMETER;
        const std::size_t n = std::strlen(text);
        std::vector<std::uint8_t> bytes(text, text + n + 1); // the NUL is counted
        return writeTyped(m_key, valueName, REG_SZ, bytes);
    });
}

bool CRegistry::WriteStringList(const char* valueName, const std::vector<std::string>& list) {
    return guarded(m_lastError, [&]() -> DWORD {
        std::vector<std::uint8_t> bytes;
        for (const auto& s : list) {
            // An empty string would end the list early on reading, and an embedded NUL
            // would split it: both would lose entries, so they are refused.
            if (s.empty() || s.find('\0') != std::string::npos)
                return ERROR_INVALID_PARAMETER;
            bytes.insert(bytes.end(), s.begin(), s.end());
            bytes.push_back(0);
        }
        bytes.push_back(0);
        return writeTyped(m_key, valueName, REG_MULTI_SZ, bytes);
    });
}

bool CRegistry::WriteRaw(const char* valueName, DWORD type, const std::uint8_t* data, DWORD size) {
    return guarded(m_lastError, [&]() -> DWORD {
        if (!data && size > 0)
            return ERROR_INVALID_PARAMETER;
        std::vector<std::uint8_t> bytes;
        if (size > 0)
            bytes.assign(data, data + size);
        return writeTyped(m_key, valueName, type, bytes);
    });
}

bool CRegistry::WriteValue(const char* valueName, DWORD value) {
    return WriteDword(valueName, value);
}

bool CRegistry::WriteValue(const char* valueName, const char* text) {
    return WriteString(valueName, text);
}

bool CRegistry::WriteValue(const char* valueName, const std::vector<std::uint8_t>& data) {
    return WriteBinary(valueName, data);
}

bool CRegistry::WriteValue(const char* valueName, const std::vector<std::string>& list) {
    return WriteStringList(valueName, list);
}
