// A small program the store tests start as a second (or third) process: it writes to the
// store the way a running copy of the program does.
//
//   regtool set-dword <key> <name> <value>        one value below HKEY_CURRENT_USER
//   regtool race <key> <tag> <count> <go-file>    after <go-file> appears, writes <tag>_<i>
//                                                 and <tag> = i for i in 0..count-1
//   regtool settings-race <port|server> <count> <go-file>
//                                                 the same through the settings record
//   regtool churn <key> <ready-file>              writes forever (to be killed); creates
//                                                 <ready-file> once its key is open
//   regtool fill <key> <count>                    writes count text values of 200 bytes
//   regtool profile-int <section> <name> <value>  through the settings record's writer

#include "CRegistry.h"
#include "SettingsRecord.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

int fail(const char* what, const CRegistry& reg) {
    std::fprintf(stderr, "regtool: %s failed (error %u)\n", what,
                 static_cast<unsigned>(reg.LastError()));
    return 1;
}

void waitFor(const char* file) {
    while (!std::filesystem::exists(file))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int race(const char* key, const std::string& tag, int count, const char* go) {
    waitFor(go);
    for (int i = 0; i < count; ++i) {
        CRegistry reg;
        if (!reg.ConnectRoot(HKEY_CURRENT_USER) || !reg.CreateKey(key))
            return fail("CreateKey", reg);
        const std::string name = tag + "_" + std::to_string(i);
        if (!reg.WriteDword(name.c_str(), static_cast<DWORD>(i)))
            return fail("WriteDword", reg);
        if (!reg.WriteDword(tag.c_str(), static_cast<DWORD>(i)))
            return fail("WriteDword", reg);
    }
    return 0;
}

int settingsRace(const std::string& which, int count, const char* go) {
    waitFor(go);
    SettingsRecord record;
    for (int i = 1; i <= count; ++i) {
        const bool ok = which == "port" ? record.setProxyPort(1000 + i)
                                        : record.setFreeDBServer("host" + std::to_string(i));
        if (!ok) {
            std::fprintf(stderr, "regtool: setting failed (error %u)\n",
                         static_cast<unsigned>(record.LastError()));
            return 1;
        }
    }
    return 0;
}

// Each round writes a counter, a text and a block that all derive from the same number,
// and creates and deletes sub-keys, so that a kill can land inside any kind of change.
int churn(const char* key, const char* ready) {
    CRegistry reg;
    if (!reg.ConnectRoot(HKEY_CURRENT_USER) || !reg.CreateKey(key))
        return fail("CreateKey", reg);
    std::FILE* f = std::fopen(ready, "w");
    if (f)
        std::fclose(f);
    DWORD next = 0;
    if (reg.ReadDword("Counter", next))
        ++next;
    for (;; ++next) {
        std::vector<std::uint8_t> block(4096, static_cast<std::uint8_t>(next));
        if (!reg.WriteBinary("Block", block) ||
            !reg.WriteString("Text", ("round " + std::to_string(next)).c_str()) ||
            !reg.WriteStringList("List", {"a" + std::to_string(next), "b"}))
            return fail("write", reg);
        CRegistry sub;
        sub.ConnectRoot(HKEY_CURRENT_USER);
        const std::string child =
            std::string(key) + "\\Child" + std::to_string(next % 7) + "\\Grand\\Great";
        if (!sub.CreateKey(child.c_str()) || !sub.WriteDword("N", next))
            return fail("CreateKey child", sub);
        CRegistry del;
        del.ConnectRoot(HKEY_CURRENT_USER);
        del.OpenKey(key);
        del.DeleteKeyTree(("Child" + std::to_string((next + 3) % 7)).c_str());
        if (!reg.WriteDword("Counter", next))
            return fail("WriteDword", reg);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "set-dword" && argc == 5) {
        CRegistry reg;
        if (!reg.ConnectRoot(HKEY_CURRENT_USER) || !reg.CreateKey(argv[2]))
            return fail("CreateKey", reg);
        if (!reg.WriteDword(argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10))))
            return fail("WriteDword", reg);
        return 0;
    }
    if (cmd == "race" && argc == 6)
        return race(argv[2], argv[3], std::atoi(argv[4]), argv[5]);
    if (cmd == "settings-race" && argc == 5)
        return settingsRace(argv[2], std::atoi(argv[3]), argv[4]);
    if (cmd == "churn" && argc == 4)
        return churn(argv[2], argv[3]);
    if (cmd == "fill" && argc == 4) {
        CRegistry reg;
        if (!reg.ConnectRoot(HKEY_CURRENT_USER) || !reg.CreateKey(argv[2]))
            return fail("CreateKey", reg);
        const std::string text(200, 'v');
        for (int i = 0; i < std::atoi(argv[3]); ++i) {
            if (!reg.WriteString(("Name" + std::to_string(i)).c_str(), text.c_str()))
                return fail("WriteString", reg);
        }
        return 0;
    }
    if (cmd == "profile-int" && argc == 5) {
        SettingsRecord record;
        return record.writeProfileInt(argv[2], argv[3], std::atoi(argv[4])) ? 0 : 1;
    }
    std::fprintf(stderr, "regtool: unknown command\n");
    return 2;
}
