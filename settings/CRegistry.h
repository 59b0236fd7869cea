#pragma once

#include "RegistryTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RegistryEvent;

namespace cld {
class RegistryStore;
struct RegistryKeyRef;
class RegistryWatchers;
} // namespace cld

// A registry key: connect to a root, open or create a key below it, read and write typed
// values, enumerate, delete key trees, save and restore key trees to files, and watch for
// changes. Every operation returns true on success and leaves the Win32 error code in
// LastError(); nothing throws out of it. Objects are not shared between threads.
class CRegistry {
public:
    CRegistry();
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    // Closes the current key and the root, stops any watch, and clears every member.
    virtual void CloseKey();
    // HKEY_CLASSES_ROOT and HKEY_CURRENT_USER are local only (a computer name gives error
    // 6). Another root with a computer name other than this machine's fails with error 53:
    // remote stores are not supported.
    virtual bool ConnectRoot(HKEY root, const char* computerName = nullptr);
    virtual bool CreateKey(const char* subKey, const char* className = nullptr,
                           DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_ALL_ACCESS,
                           const SecurityAttributes* security = nullptr,
                           DWORD* disposition = nullptr);
    virtual bool DeleteKeyTree(const char* subKey);
    virtual bool DeleteValue(const char* valueName);
    virtual bool EnumSubKey(DWORD index, std::string& name, std::string& className);
    // With data null, *size receives the length of the value's data.
    virtual bool EnumValue(DWORD index, std::string& name, DWORD* type, std::uint8_t* data,
                           DWORD* size);
    virtual bool FlushKey();
    virtual bool ReadBinary(const char* valueName, std::vector<std::uint8_t>& data);
    virtual std::string ClassName() const;
    virtual std::string ComputerName() const;
    virtual bool ReadDword(const char* valueName, DWORD& value);
    virtual DWORD LastError() const;
    virtual std::string KeyName() const;
    virtual DWORD SubKeyCount() const;
    virtual DWORD ValueCount() const;
    virtual std::string RootName() const;
    virtual bool ReadKeySecurity(SECURITY_INFORMATION info, std::uint8_t* descriptor, DWORD* size);
    virtual bool ReadString(const char* valueName, std::string& text);
    virtual bool ReadStringList(const char* valueName, std::vector<std::string>& list);
    virtual bool ReadValue(const char* valueName, DWORD& value);
    virtual bool ReadValue(const char* valueName, std::string& text);
    virtual bool ReadValue(const char* valueName, std::vector<std::uint8_t>& data);
    virtual bool ReadValue(const char* valueName, std::vector<std::string>& list);
    // Copies the key tree saved in a store file into a new key below the root
    // (HKEY_LOCAL_MACHINE or HKEY_USERS only).
    virtual bool LoadHive(const char* subKey, const char* file);
    // Signals the event once when the current key (or, with watchSubtree, anything below it)
    // changes as the filter says. Asynchronous: returns at once; otherwise waits for the
    // change, and the event may be null. The event must outlive the watch: CloseKey and
    // the destructor end it (and signal the event).
    virtual bool WatchChanges(RegistryEvent* event, DWORD filter, bool watchSubtree,
                              bool asynchronous);
    virtual bool OpenKey(const char* subKey, REGSAM access = KEY_ALL_ACCESS);
    virtual bool ReadKeyInfo();
    virtual bool ReadRaw(const char* valueName, DWORD* type, std::uint8_t* data, DWORD* size);
    // Saves the key sub-key (below the current key) to oldFile, then replaces its contents
    // with the tree of newFile.
    virtual bool ReplaceHive(const char* subKey, const char* newFile, const char* oldFile);
    // Replaces the current key's values and sub-keys with the tree saved in file.
    virtual bool RestoreKey(const char* file, DWORD flags);
    // Saves the current key's tree into a new store file (error 183 when it exists).
    virtual bool SaveKey(const char* file, const SecurityAttributes* security = nullptr);
    virtual bool WriteBinary(const char* valueName, const std::vector<std::uint8_t>& data);
    virtual bool WriteDword(const char* valueName, DWORD value);
    virtual bool WriteKeySecurity(SECURITY_INFORMATION info, const std::uint8_t* descriptor,
                                  DWORD size);
    virtual bool WriteString(const char* valueName, const char* text);
    virtual bool WriteStringList(const char* valueName, const std::vector<std::string>& list);
    virtual bool WriteRaw(const char* valueName, DWORD type, const std::uint8_t* data, DWORD size);
    virtual bool WriteValue(const char* valueName, DWORD value);
    virtual bool WriteValue(const char* valueName, const char* text);
    virtual bool WriteValue(const char* valueName, const std::vector<std::uint8_t>& data);
    virtual bool WriteValue(const char* valueName, const std::vector<std::string>& list);

    // Last write time of the current key from ReadKeyInfo, as a Windows file time
    // (100 ns steps since 1601-01-01 UTC).
    std::uint64_t LastWriteTime() const { return m_lastWriteTime; }

private:
    std::unique_ptr<cld::RegistryKeyRef> m_key;
    HKEY m_rootKey = 0;
    DWORD m_lastError = ERROR_SUCCESS;
    std::string m_className;
    std::string m_computerName;
    std::string m_keyName;
    std::string m_rootName;
    DWORD m_subKeyCount = 0;
    DWORD m_valueCount = 0;
    DWORD m_maxSubKeyLen = 0;
    DWORD m_maxClassLen = 0;
    DWORD m_maxValueNameLen = 0;
    DWORD m_maxValueDataLen = 0;
    DWORD m_securityDescriptorLen = 0;
    std::uint64_t m_lastWriteTime = 0;
    // The root's store, and the watches started on the current key.
    std::shared_ptr<cld::RegistryStore> m_store;
    std::unique_ptr<cld::RegistryWatchers> m_watchers;
};
