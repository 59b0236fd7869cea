#include "CRegistry.h"
#include "Processes.h"
#include "RegistryEvent.h"
#include "RegistryTestUtil.h"
#include "SettingsRecord.h"

#include <atomic>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using cldtest::ScopedRegistry;

namespace {

std::string hostName() {
    char name[260] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

// A connected HKEY_CURRENT_USER key "Software\Test" holding a few values.
struct Fixture {
    ScopedRegistry registry;
    CRegistry reg;
    Fixture() {
        EXPECT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER));
        EXPECT_TRUE(reg.CreateKey("Software\\Test"));
        EXPECT_TRUE(reg.WriteDword("Number", 42));
        EXPECT_TRUE(reg.WriteString("Text", "hello"));
        EXPECT_TRUE(reg.WriteBinary("Bytes", {0, 1, 2, 0, 255}));
        EXPECT_TRUE(reg.WriteStringList("List", {"one", "two"}));
    }
};

} // namespace

TEST(RegistryConnect, LocalOnlyRootsRefuseComputerNames) {
    ScopedRegistry registry;
    CRegistry reg;
    EXPECT_FALSE(reg.ConnectRoot(HKEY_CURRENT_USER, "otherhost"));
    EXPECT_EQ(reg.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(reg.ConnectRoot(HKEY_CLASSES_ROOT, "otherhost"));
    EXPECT_EQ(reg.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(reg.OpenKey("Software"));
    EXPECT_EQ(reg.LastError(), ERROR_INVALID_HANDLE);
}

TEST(RegistryConnect, MachineRootRecordsLocalComputerAndRootName) {
    ScopedRegistry registry;
    CRegistry reg;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_EQ(reg.ComputerName(), hostName());
    EXPECT_EQ(reg.RootName(), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(reg.LastError(), ERROR_SUCCESS);
    // This machine by name is still local; another machine is not reachable.
    EXPECT_TRUE(reg.ConnectRoot(HKEY_USERS, ("\\\\" + hostName()).c_str()));
    EXPECT_EQ(reg.RootName(), "HKEY_USERS");
    EXPECT_FALSE(reg.ConnectRoot(HKEY_LOCAL_MACHINE, "no-such-machine.invalid"));
    EXPECT_EQ(reg.LastError(), ERROR_BAD_NETPATH);
    EXPECT_EQ(reg.RootName(), "");
}

TEST(RegistryConnect, EveryRootHasItsNameAndOthersAreUnknown) {
    ScopedRegistry registry;
    const std::pair<HKEY, const char*> roots[] = {
        {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
        {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
        {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
        {HKEY_USERS, "HKEY_USERS"},
        {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
        {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
        {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
        {0x1234, "Unknown"},
    };
    for (const auto& [root, name] : roots) {
        CRegistry reg;
        ASSERT_TRUE(reg.ConnectRoot(root)) << name;
        EXPECT_EQ(reg.RootName(), name);
    }
    // Each root is a store of its own.
    CRegistry a, b;
    a.ConnectRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(a.CreateKey("Shared"));
    b.ConnectRoot(HKEY_CURRENT_CONFIG);
    EXPECT_FALSE(b.OpenKey("Shared"));
    EXPECT_EQ(b.LastError(), ERROR_FILE_NOT_FOUND);
    CRegistry unknown;
    unknown.ConnectRoot(0x1234);
    EXPECT_FALSE(unknown.CreateKey("X"));
    EXPECT_EQ(unknown.LastError(), ERROR_INVALID_HANDLE);
}

TEST(RegistryValues, TypedValuesRoundTrip) {
    Fixture f;
    CRegistry reg;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\test", KEY_READ)); // names ignore case
    DWORD n = 0;
    EXPECT_TRUE(reg.ReadDword("number", n));
    EXPECT_EQ(n, 42u);
    std::string text;
    EXPECT_TRUE(reg.ReadValue("Text", text));
    EXPECT_EQ(text, "hello");
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(reg.ReadBinary("Bytes", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 1, 2, 0, 255}));
    std::vector<std::string> list;
    EXPECT_TRUE(reg.ReadStringList("List", list));
    EXPECT_EQ(list, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(reg.ValueCount(), 4u);
    EXPECT_EQ(reg.KeyName(), "SOFTWARE\\test");

    // The stored forms are the platform's: a DWORD is 4 little-endian bytes, a text counts
    // its NUL, a list ends with an empty string.
    DWORD type = 0;
    std::uint8_t raw[32];
    DWORD size = sizeof raw;
    ASSERT_TRUE(reg.ReadRaw("Number", &type, raw, &size));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(std::vector<std::uint8_t>(raw, raw + size), (std::vector<std::uint8_t>{42, 0, 0, 0}));
    size = sizeof raw;
    ASSERT_TRUE(reg.ReadRaw("Text", &type, raw, &size));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);
    size = sizeof raw;
    ASSERT_TRUE(reg.ReadRaw("List", &type, raw, &size));
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), size), std::string("one\0two\0\0", 9));
    size = 2;
    EXPECT_FALSE(reg.ReadRaw("List", &type, raw, &size));
    EXPECT_EQ(reg.LastError(), ERROR_MORE_DATA);
    EXPECT_EQ(size, 9u);
}

TEST(RegistryValues, WrongTypeAndMissingValuesFail) {
    Fixture f;
    DWORD n = 7;
    EXPECT_FALSE(f.reg.ReadDword("Text", n));
    EXPECT_EQ(f.reg.LastError(), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(n, 7u);
    std::string text = "keep?";
    EXPECT_FALSE(f.reg.ReadString("Number", text));
    EXPECT_EQ(f.reg.LastError(), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(text, ""); // a failed text read empties the text
    std::vector<std::uint8_t> bytes{9};
    EXPECT_FALSE(f.reg.ReadBinary("List", bytes));
    EXPECT_EQ(bytes, std::vector<std::uint8_t>{9});
    std::vector<std::string> list;
    EXPECT_FALSE(f.reg.ReadStringList("Bytes", list));
    EXPECT_EQ(f.reg.LastError(), ERROR_UNSUPPORTED_TYPE);
    EXPECT_FALSE(f.reg.ReadDword("Absent", n));
    EXPECT_EQ(f.reg.LastError(), ERROR_FILE_NOT_FOUND);
    // A DWORD of the wrong length (written raw) is not a DWORD.
    const std::uint8_t three[3] = {1, 2, 3};
    ASSERT_TRUE(f.reg.WriteRaw("Short", REG_DWORD, three, 3));
    EXPECT_FALSE(f.reg.ReadDword("Short", n));
    EXPECT_EQ(f.reg.LastError(), ERROR_DATATYPE_MISMATCH);

    CRegistry other;
    other.ConnectRoot(HKEY_CURRENT_USER);
    EXPECT_FALSE(other.OpenKey("Software\\Absent"));
    EXPECT_EQ(other.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(other.ReadDword("Number", n)); // no key open
    EXPECT_EQ(other.LastError(), ERROR_INVALID_HANDLE);
}

TEST(RegistryValues, ListsThatWouldLoseEntriesAreRefused) {
    Fixture f;
    EXPECT_FALSE(f.reg.WriteStringList("List", {"a", "", "b"}));
    EXPECT_EQ(f.reg.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(f.reg.WriteStringList("List", {std::string("a\0b", 3)}));
    std::vector<std::string> list;
    ASSERT_TRUE(f.reg.ReadStringList("List", list));
    EXPECT_EQ(list, (std::vector<std::string>{"one", "two"}));
    ASSERT_TRUE(f.reg.WriteStringList("Empty", {}));
    ASSERT_TRUE(f.reg.ReadStringList("Empty", list));
    EXPECT_TRUE(list.empty());
}

TEST(RegistryValues, UnnamedValueBelowAPathWithALeadingBackslash) {
    ScopedRegistry registry;
    CRegistry writer;
    ASSERT_TRUE(writer.ConnectRoot(HKEY_CLASSES_ROOT));
    ASSERT_TRUE(writer.CreateKey(SettingsRecord::kMediaProfileFolderKeyPath));
    ASSERT_TRUE(writer.WriteString("", "/usr/share/calderine/profiles"));
    CRegistry reader;
    ASSERT_TRUE(reader.ConnectRoot(HKEY_CLASSES_ROOT));
    ASSERT_TRUE(reader.OpenKey(
        "Software\\Microsoft\\Windows Media Tools\\Encoder\\ProfileMgr\\Directory", KEY_READ));
    std::string folder;
    ASSERT_TRUE(reader.ReadString("", folder));
    EXPECT_EQ(folder, "/usr/share/calderine/profiles");
    // The roots do not share values.
    CRegistry user;
    user.ConnectRoot(HKEY_CURRENT_USER);
    EXPECT_FALSE(user.OpenKey(SettingsRecord::kMediaProfileFolderKeyPath));
}

TEST(RegistryValues, LongTextsAndUtf8SurviveUnchanged) {
    Fixture f;
    const std::string longPath = "/home/user/" + std::string(5000, 'x') + "/Müsik ♫";
    ASSERT_TRUE(f.reg.WriteString("Folder", longPath.c_str()));
    std::string back;
    ASSERT_TRUE(f.reg.ReadString("Folder", back));
    EXPECT_EQ(back, longPath);
}

TEST(RegistryValues, NullArgumentsFailWith87AndChangeNothing) {
    Fixture f;
    ASSERT_TRUE(f.reg.ReadKeyInfo());
    const auto before = f.reg.LastWriteTime();
    DWORD n = 0;
    std::string s;
    std::vector<std::uint8_t> b;
    std::vector<std::string> l;
    DWORD size = 4;
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"DeleteValue", [&] { return f.reg.DeleteValue(nullptr); }},
        {"WriteDword", [&] { return f.reg.WriteDword(nullptr, 1); }},
        {"WriteString name", [&] { return f.reg.WriteString(nullptr, "x"); }},
        {"WriteString text", [&] { return f.reg.WriteString("Text", nullptr); }},
        {"WriteBinary", [&] { return f.reg.WriteBinary(nullptr, {1}); }},
        {"WriteStringList", [&] { return f.reg.WriteStringList(nullptr, {"x"}); }},
        {"WriteRaw", [&] { return f.reg.WriteRaw(nullptr, REG_DWORD, nullptr, 0); }},
        {"WriteRaw data", [&] { return f.reg.WriteRaw("Number", REG_BINARY, nullptr, 4); }},
        {"WriteValue", [&] { return f.reg.WriteValue(nullptr, DWORD{1}); }},
        {"WriteKeySecurity", [&] { return f.reg.WriteKeySecurity(0, nullptr, 4); }},
        {"ReadDword", [&] { return f.reg.ReadDword(nullptr, n); }},
        {"ReadString", [&] { return f.reg.ReadString(nullptr, s); }},
        {"ReadBinary", [&] { return f.reg.ReadBinary(nullptr, b); }},
        {"ReadStringList", [&] { return f.reg.ReadStringList(nullptr, l); }},
        {"ReadRaw", [&] { return f.reg.ReadRaw(nullptr, nullptr, nullptr, &size); }},
        {"ReadRaw size",
         [&] {
             std::uint8_t buf[4];
             return f.reg.ReadRaw("Number", nullptr, buf, nullptr);
         }},
        {"ReadKeySecurity", [&] { return f.reg.ReadKeySecurity(0, nullptr, nullptr); }},
        {"DeleteKeyTree", [&] { return f.reg.DeleteKeyTree(nullptr); }},
        {"SaveKey", [&] { return f.reg.SaveKey(nullptr); }},
        {"RestoreKey", [&] { return f.reg.RestoreKey(nullptr, 0); }},
        {"LoadHive", [&] { return f.reg.LoadHive(nullptr, "x"); }},
        {"ReplaceHive", [&] { return f.reg.ReplaceHive("x", nullptr, "y"); }},
        {"WatchChanges",
         [&] { return f.reg.WatchChanges(nullptr, REG_NOTIFY_CHANGE_LAST_SET, false, true); }},
    };
    for (const auto& [name, call] : calls) {
        EXPECT_FALSE(call()) << name;
        EXPECT_EQ(f.reg.LastError(), ERROR_INVALID_PARAMETER) << name;
    }
    // Still the same key with the same values and the same last write time.
    CRegistry check;
    check.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(check.OpenKey("Software\\Test"));
    EXPECT_EQ(check.ValueCount(), 4u);
    EXPECT_EQ(check.SubKeyCount(), 0u);
    EXPECT_EQ(check.LastWriteTime(), before);
    ASSERT_TRUE(check.ReadDword("Number", n));
    EXPECT_EQ(n, 42u);

    // CreateKey and OpenKey with a null sub-key leave the current key open.
    EXPECT_FALSE(f.reg.CreateKey(nullptr));
    EXPECT_EQ(f.reg.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(f.reg.OpenKey(nullptr));
    EXPECT_EQ(f.reg.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(f.reg.ReadDword("Number", n));
}

TEST(RegistryKeys, CreateReportsDispositionAndEnumerates) {
    Fixture f;
    DWORD disposition = 0;
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.CreateKey("Software\\Test\\Beta", "BetaClass", REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_TRUE(
        reg.CreateKey("Software\\Test\\alpha", nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition));
    ASSERT_TRUE(
        reg.CreateKey("software\\TEST\\ALPHA", nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition));
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    ASSERT_TRUE(reg.OpenKey("Software\\Test"));
    EXPECT_EQ(reg.SubKeyCount(), 2u);
    std::string name, cls;
    ASSERT_TRUE(reg.EnumSubKey(0, name, cls));
    EXPECT_EQ(name, "alpha");
    ASSERT_TRUE(reg.EnumSubKey(1, name, cls));
    EXPECT_EQ(name, "Beta");
    EXPECT_EQ(cls, "BetaClass");
    EXPECT_FALSE(reg.EnumSubKey(2, name, cls));
    EXPECT_EQ(reg.LastError(), ERROR_NO_MORE_ITEMS);

    // Values come in the order they were first written; rewriting keeps the place.
    ASSERT_TRUE(reg.WriteDword("Number", 43));
    std::vector<std::string> names;
    DWORD type = 0;
    for (DWORD i = 0;; ++i) {
        std::uint8_t data[64];
        DWORD size = sizeof data;
        if (!reg.EnumValue(i, name, &type, data, &size))
            break;
        names.push_back(name);
    }
    EXPECT_EQ(reg.LastError(), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(names, (std::vector<std::string>{"Number", "Text", "Bytes", "List"}));
    DWORD size = 0;
    ASSERT_TRUE(reg.EnumValue(1, name, &type, nullptr, &size));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 6u);

    ASSERT_TRUE(reg.ReadKeyInfo());
    EXPECT_EQ(reg.ValueCount(), 4u);
    EXPECT_EQ(reg.SubKeyCount(), 2u);
    EXPECT_GT(reg.LastWriteTime(), 0u);
}

TEST(RegistryKeys, AccessRightsAreEnforced) {
    Fixture f;
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey("Software\\Test", KEY_READ));
    EXPECT_FALSE(reg.WriteDword("Number", 1));
    EXPECT_EQ(reg.LastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(reg.DeleteValue("Number"));
    EXPECT_EQ(reg.LastError(), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(reg.OpenKey("Software\\Test", KEY_WRITE));
    DWORD n = 0;
    EXPECT_FALSE(reg.ReadDword("Number", n));
    EXPECT_EQ(reg.LastError(), ERROR_ACCESS_DENIED);
}

TEST(RegistryKeys, DeleteKeyTreeRemovesEveryLevel) {
    Fixture f;
    CRegistry build;
    build.ConnectRoot(HKEY_CURRENT_USER);
    for (const char* path : {"Software\\Test\\Tree\\A\\B\\C\\D", "Software\\Test\\Tree\\A\\X",
                             "Software\\Test\\Tree\\Y\\Z", "Software\\Test\\Keep\\Me"}) {
        ASSERT_TRUE(build.CreateKey(path));
        ASSERT_TRUE(build.WriteDword("V", 1));
    }
    // A plain name is deleted directly below the current key.
    ASSERT_TRUE(f.reg.DeleteKeyTree("Tree"));
    CRegistry check;
    check.ConnectRoot(HKEY_CURRENT_USER);
    EXPECT_FALSE(check.OpenKey("Software\\Test\\Tree"));
    EXPECT_EQ(check.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(check.OpenKey("Software\\Test\\Tree\\A\\B\\C\\D"));
    ASSERT_TRUE(check.OpenKey("Software\\Test\\Keep\\Me"));
    ASSERT_TRUE(check.OpenKey("Software\\Test"));
    EXPECT_EQ(check.SubKeyCount(), 1u);
    EXPECT_EQ(check.ValueCount(), 4u);

    // A path is split at its last backslash; its parent becomes the current key.
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.DeleteKeyTree("Software\\Test\\Keep"));
    EXPECT_EQ(reg.KeyName(), "Software\\Test");
    DWORD n = 0;
    EXPECT_TRUE(reg.ReadDword("Number", n));
    EXPECT_FALSE(reg.DeleteKeyTree("Keep"));
    EXPECT_EQ(reg.LastError(), ERROR_FILE_NOT_FOUND);

    // A key deleted under an open handle answers "key deleted".
    ASSERT_TRUE(build.CreateKey("Software\\Gone\\Child"));
    CRegistry holder;
    holder.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(holder.OpenKey("Software\\Gone\\Child"));
    CRegistry deleter;
    deleter.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(deleter.DeleteKeyTree("Software\\Gone"));
    EXPECT_FALSE(holder.WriteDword("V", 1));
    EXPECT_EQ(holder.LastError(), ERROR_KEY_DELETED);
}

TEST(RegistryKeys, DeletingAValueAndBadNames) {
    Fixture f;
    ASSERT_TRUE(f.reg.DeleteValue("TEXT"));
    std::string text;
    EXPECT_FALSE(f.reg.ReadString("Text", text));
    EXPECT_EQ(f.reg.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(f.reg.DeleteValue("Text"));
    EXPECT_EQ(f.reg.LastError(), ERROR_FILE_NOT_FOUND);
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.CreateKey(("Software\\" + std::string(300, 'k')).c_str()));
    EXPECT_EQ(reg.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(reg.CreateKey("Software", nullptr, 0x100));
    EXPECT_EQ(reg.LastError(), ERROR_INVALID_PARAMETER);
}

TEST(RegistryKeys, SecurityDescriptorsAreKeptAsGiven) {
    ScopedRegistry registry;
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    const std::uint8_t given[] = {1, 0, 4, 0x80, 0x14, 0, 0, 0, 9, 9, 9};
    SecurityAttributes sa{given, sizeof given, false};
    ASSERT_TRUE(reg.CreateKey("Secure", nullptr, 0, KEY_ALL_ACCESS, &sa));
    DWORD size = 2;
    std::uint8_t out[64];
    EXPECT_FALSE(reg.ReadKeySecurity(DACL_SECURITY_INFORMATION, out, &size));
    EXPECT_EQ(reg.LastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, sizeof given);
    size = sizeof out;
    ASSERT_TRUE(reg.ReadKeySecurity(DACL_SECURITY_INFORMATION, out, &size));
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + size),
              std::vector<std::uint8_t>(given, given + sizeof given));
    const std::uint8_t replaced[] = {7, 7};
    ASSERT_TRUE(reg.WriteKeySecurity(OWNER_SECURITY_INFORMATION, replaced, 2));
    ASSERT_TRUE(reg.OpenKey("Secure"));
    size = sizeof out;
    ASSERT_TRUE(reg.ReadKeySecurity(OWNER_SECURITY_INFORMATION, out, &size));
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + size), (std::vector<std::uint8_t>{7, 7}));
}

TEST(RegistryFiles, SaveAndRestoreKeyTree) {
    Fixture f;
    CRegistry build;
    build.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(build.CreateKey("Software\\Test\\Sub\\Deeper", "Cls"));
    ASSERT_TRUE(build.WriteString("Inner", "deep"));
    const auto file = f.registry.dir() / "saved.hive";
    ASSERT_TRUE(f.reg.SaveKey(file.c_str()));
    EXPECT_FALSE(f.reg.SaveKey(file.c_str()));
    EXPECT_EQ(f.reg.LastError(), ERROR_ALREADY_EXISTS);

    // Change everything, then restore: the saved state comes back whole.
    ASSERT_TRUE(f.reg.WriteDword("Number", 1));
    ASSERT_TRUE(f.reg.WriteDword("Extra", 1));
    ASSERT_TRUE(f.reg.DeleteKeyTree("Sub"));
    ASSERT_TRUE(f.reg.OpenKey("Software\\Test"));
    ASSERT_TRUE(f.reg.RestoreKey(file.c_str(), 0));
    DWORD n = 0;
    ASSERT_TRUE(f.reg.ReadDword("Number", n));
    EXPECT_EQ(n, 42u);
    EXPECT_FALSE(f.reg.ReadDword("Extra", n));
    CRegistry check;
    check.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(check.OpenKey("Software\\Test\\Sub\\Deeper"));
    EXPECT_EQ(check.ClassName(), "Cls");
    std::string text;
    EXPECT_TRUE(check.ReadString("Inner", text));
    EXPECT_EQ(text, "deep");
}

TEST(RegistryFiles, BrokenOrMissingFilesChangeNothing) {
    Fixture f;
    const auto garbage = f.registry.dir() / "garbage.hive";
    std::ofstream(garbage) << "this is not a saved key";
    EXPECT_FALSE(f.reg.RestoreKey(garbage.c_str(), 0));
    EXPECT_EQ(f.reg.LastError(), ERROR_NOT_REGISTRY_FILE);
    EXPECT_FALSE(f.reg.RestoreKey((f.registry.dir() / "absent.hive").c_str(), 0));
    EXPECT_EQ(f.reg.LastError(), ERROR_FILE_NOT_FOUND);
    // A saved key cut short is refused too.
    const auto file = f.registry.dir() / "cut.hive";
    ASSERT_TRUE(f.reg.SaveKey(file.c_str()));
    std::filesystem::resize_file(file, std::filesystem::file_size(file) / 2);
    EXPECT_FALSE(f.reg.RestoreKey(file.c_str(), 0));
    EXPECT_EQ(f.reg.LastError(), ERROR_NOT_REGISTRY_FILE);
    ASSERT_TRUE(f.reg.OpenKey("Software\\Test"));
    EXPECT_EQ(f.reg.ValueCount(), 4u);
    // Saving into a folder that does not exist fails without leaving anything.
    EXPECT_FALSE(f.reg.SaveKey((f.registry.dir() / "no" / "such.hive").c_str()));
    EXPECT_NE(f.reg.LastError(), ERROR_SUCCESS);
}

TEST(RegistryFiles, LoadHiveAndReplaceHive) {
    Fixture f;
    const auto file = f.registry.dir() / "test.hive";
    ASSERT_TRUE(f.reg.SaveKey(file.c_str()));

    CRegistry user;
    user.ConnectRoot(HKEY_CURRENT_USER);
    EXPECT_FALSE(user.LoadHive("Loaded", file.c_str()));
    EXPECT_EQ(user.LastError(), ERROR_INVALID_PARAMETER);

    CRegistry users;
    ASSERT_TRUE(users.ConnectRoot(HKEY_USERS));
    ASSERT_TRUE(users.LoadHive("Loaded", file.c_str()));
    EXPECT_FALSE(users.LoadHive("loaded", file.c_str()));
    EXPECT_EQ(users.LastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(users.OpenKey("Loaded"));
    DWORD n = 0;
    ASSERT_TRUE(users.ReadDword("Number", n));
    EXPECT_EQ(n, 42u);

    // A live store file (still in use, with its log beside it) loads as it stands now.
    CRegistry machine;
    ASSERT_TRUE(machine.ConnectRoot(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(machine.CreateKey("Software\\Live"));
    ASSERT_TRUE(machine.WriteDword("Fresh", 77));
    ASSERT_TRUE(users.LoadHive("Machine", (f.registry.dir() / "HKEY_LOCAL_MACHINE.db").c_str()));
    ASSERT_TRUE(users.OpenKey("Machine\\Software\\Live"));
    ASSERT_TRUE(users.ReadDword("Fresh", n));
    EXPECT_EQ(n, 77u);

    // Replace: the old contents go to a file, the new ones take their place.
    ASSERT_TRUE(users.CreateKey("Other"));
    ASSERT_TRUE(users.WriteDword("Mine", 5));
    const auto old = f.registry.dir() / "old.hive";
    CRegistry root;
    root.ConnectRoot(HKEY_USERS);
    ASSERT_TRUE(root.ReplaceHive("Other", file.c_str(), old.c_str()));
    ASSERT_TRUE(root.OpenKey("Other"));
    EXPECT_TRUE(root.ReadDword("Number", n));
    EXPECT_FALSE(root.ReadDword("Mine", n));
    ASSERT_TRUE(root.RestoreKey(old.c_str(), 0));
    EXPECT_TRUE(root.ReadDword("Mine", n));
    EXPECT_EQ(n, 5u);
}

TEST(RegistryWatch, SignalsChangesOfTheWatchedKeyOnly) {
    Fixture f;
    CRegistry build;
    build.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(build.CreateKey("Software\\Test\\Child"));
    ASSERT_TRUE(build.CreateKey("Software\\Unrelated"));

    RegistryEvent valueEvent;
    ASSERT_TRUE(f.reg.WatchChanges(&valueEvent, REG_NOTIFY_CHANGE_LAST_SET, false, true));
    CRegistry treeWatch;
    treeWatch.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(treeWatch.OpenKey("Software\\Test"));
    RegistryEvent treeEvent;
    ASSERT_TRUE(treeWatch.WatchChanges(&treeEvent, REG_NOTIFY_CHANGE_LAST_SET, true, true));

    ASSERT_TRUE(build.WriteDword("Elsewhere", 1)); // Software\Unrelated
    EXPECT_FALSE(valueEvent.wait(std::chrono::milliseconds(200)));
    EXPECT_FALSE(treeEvent.isSet());

    ASSERT_TRUE(build.OpenKey("Software\\Test\\Child"));
    ASSERT_TRUE(build.WriteDword("Deep", 1));
    EXPECT_TRUE(treeEvent.wait(cldtest::kHangLimit));
    EXPECT_FALSE(valueEvent.wait(std::chrono::milliseconds(200)));

    ASSERT_TRUE(build.OpenKey("Software\\Test"));
    ASSERT_TRUE(build.WriteDword("Number", 5));
    EXPECT_TRUE(valueEvent.wait(cldtest::kHangLimit));
}

TEST(RegistryWatch, SignalsAChangeMadeByAnotherProcess) {
    Fixture f;
    RegistryEvent event;
    ASSERT_TRUE(f.reg.WatchChanges(&event, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME,
                                   false, true));
    EXPECT_FALSE(event.isSet());
    ASSERT_EQ(cldtest::runRegtool({"set-dword", "Software\\Test", "FromOutside", "9"}), 0);
    EXPECT_TRUE(event.wait(cldtest::kHangLimit));
    DWORD n = 0;
    ASSERT_TRUE(f.reg.ReadDword("FromOutside", n));
    EXPECT_EQ(n, 9u);

    // A synchronous watch returns once the other process has written.
    // The writer keeps writing until the wait has returned, so a write that lands before
    // the watch starts cannot leave it waiting.
    std::atomic<bool> done{false};
    std::thread writer([&done] {
        for (int i = 0; !done.load(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            cldtest::runRegtool({"set-dword", "Software\\Test", "Later", std::to_string(i)});
        }
    });
    EXPECT_TRUE(f.reg.WatchChanges(nullptr, REG_NOTIFY_CHANGE_LAST_SET, false, false));
    done = true;
    writer.join();
    EXPECT_TRUE(f.reg.ReadDword("Later", n));

    EXPECT_FALSE(f.reg.WatchChanges(&event, 0x100, false, true));
    EXPECT_EQ(f.reg.LastError(), ERROR_INVALID_PARAMETER);
}

TEST(RegistryConnect, UserStoreIsPrivateAndMachineStoresReadable) {
    ScopedRegistry registry;
    CRegistry user, machine;
    ASSERT_TRUE(user.ConnectRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(user.CreateKey("Software"));
    ASSERT_TRUE(machine.ConnectRoot(HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(machine.CreateKey("Software"));
    using std::filesystem::perms;
    const auto userPerms = std::filesystem::status(registry.userStore()).permissions();
    EXPECT_EQ(userPerms & (perms::group_all | perms::others_all), perms::none);
    const mode_t mask = umask(0);
    umask(mask);
    const auto machinePerms =
        std::filesystem::status(registry.dir() / "HKEY_LOCAL_MACHINE.db").permissions();
    if ((mask & S_IROTH) == 0) {
        EXPECT_NE(machinePerms & perms::others_read, perms::none);
    }
}

TEST(RegistryWatch, EventResetModes) {
    RegistryEvent manual(true, false);
    EXPECT_FALSE(manual.wait(std::chrono::milliseconds(1)));
    manual.set();
    EXPECT_TRUE(manual.wait(std::chrono::milliseconds(1)));
    EXPECT_TRUE(manual.isSet()); // stays signalled until reset
    manual.reset();
    EXPECT_FALSE(manual.isSet());
    RegistryEvent automatic(false, true);
    EXPECT_TRUE(automatic.wait(std::chrono::milliseconds(1)));
    EXPECT_FALSE(automatic.isSet()); // the wait that saw it cleared it
    std::thread setter([&automatic] { automatic.set(); });
    EXPECT_TRUE(automatic.wait(cldtest::kHangLimit));
    setter.join();
}

// A watch is over once it has signalled: closing the key afterwards neither signals the
// event a second time nor touches it, so its owner may let it go at once.
TEST(RegistryWatch, AWatchThatHasSignalledLeavesItsEventAlone) {
    Fixture f;
    CRegistry writer;
    ASSERT_TRUE(writer.ConnectRoot(HKEY_CURRENT_USER));
    ASSERT_TRUE(writer.OpenKey("Software\\Test"));

    RegistryEvent automatic(false, false);
    ASSERT_TRUE(f.reg.WatchChanges(&automatic, REG_NOTIFY_CHANGE_LAST_SET, false, true));
    ASSERT_TRUE(writer.WriteDword("First", 1));
    ASSERT_TRUE(automatic.wait(cldtest::kHangLimit));
    ASSERT_TRUE(f.reg.OpenKey("Software\\Test")); // ends the watch
    EXPECT_FALSE(automatic.isSet());

    // The address sanitizer and the thread sanitizer see any touch of the freed event.
    auto event = std::make_unique<RegistryEvent>();
    ASSERT_TRUE(f.reg.WatchChanges(event.get(), REG_NOTIFY_CHANGE_LAST_SET, false, true));
    ASSERT_TRUE(writer.WriteDword("Second", 2));
    ASSERT_TRUE(event->wait(cldtest::kHangLimit));
    event.reset();
    f.reg.CloseKey();
    EXPECT_EQ(f.reg.KeyName(), "");
}

TEST(RegistryWatch, ClosingTheKeyEndsTheWatchAndSignals) {
    Fixture f;
    RegistryEvent event;
    ASSERT_TRUE(f.reg.WatchChanges(&event, REG_NOTIFY_CHANGE_NAME, true, true));
    EXPECT_FALSE(event.isSet());
    f.reg.CloseKey();
    EXPECT_TRUE(event.isSet());
    EXPECT_EQ(f.reg.RootName(), "");
    EXPECT_EQ(f.reg.KeyName(), "");
}
