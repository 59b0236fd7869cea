// Store files come from outside: a user's damaged settings file, or a saved key handed to
// RestoreKey. Neither may crash the program or make it hang.

#include "CRegistry.h"
#include "RegistryStore.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::filesystem::path& workDir() {
    static const std::filesystem::path dir = [] {
        // A memory file system when there is one: the store syncs every commit to disk.
        std::error_code ec;
        const std::filesystem::path shm = "/dev/shm";
        const auto parent =
            std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
        auto d = parent / ("cld_registry_fuzz_" + std::to_string(getpid()));
        // libFuzzer ends without running exit handlers, so folders of earlier runs whose
        // process is gone are removed here.
        for (const auto& entry : std::filesystem::directory_iterator(parent, ec)) {
            const std::string name = entry.path().filename().string();
            const std::string prefix = "cld_registry_fuzz_";
            if (name.rfind(prefix, 0) != 0)
                continue;
            const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
            if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                std::filesystem::remove_all(entry.path(), ec);
        }
        std::filesystem::create_directories(d);
        setenv("CLD_REGISTRY_DIR", d.c_str(), 1);
        return d;
    }();
    return dir;
}

void writeFile(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size) {
    const auto temp = file.string() + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::filesystem::rename(temp, file);
}

// Reads every key and value below the open key.
void walk(CRegistry& reg, const std::string& path, int depth) {
    if (depth > 8)
        return;
    std::string name, cls;
    for (DWORD i = 0; reg.EnumValue(i, name, nullptr, nullptr, nullptr) && i < 64; ++i) {
        DWORD n;
        std::string s;
        std::vector<std::uint8_t> b;
        std::vector<std::string> l;
        reg.ReadDword(name.c_str(), n);
        reg.ReadString(name.c_str(), s);
        reg.ReadBinary(name.c_str(), b);
        reg.ReadStringList(name.c_str(), l);
    }
    std::vector<std::string> children;
    for (DWORD i = 0; reg.EnumSubKey(i, name, cls) && i < 16; ++i)
        children.push_back(name);
    for (const auto& child : children) {
        const std::string sub = path.empty() ? child : path + "\\" + child;
        CRegistry next;
        next.ConnectRoot(HKEY_CURRENT_USER);
        if (next.OpenKey(sub.c_str(), KEY_READ))
            walk(next, sub, depth + 1);
    }
}

// A valid saved key with a few levels, values of every type and a security descriptor;
// inputs whose first byte is odd damage a copy of it, so the search starts from a file
// the reader accepts.
const std::vector<std::uint8_t>& templateFile() {
    static const std::vector<std::uint8_t> bytes = [] {
        const auto file = workDir() / "template.hive";
        std::error_code ec;
        std::filesystem::remove(file, ec);
        cld::RegistryTree tree;
        tree.className = "Root";
        tree.security = {1, 2, 3};
        tree.values.push_back({"Number", {REG_DWORD, {1, 0, 0, 0}}});
        tree.values.push_back({"Text", {REG_SZ, {'a', 'b', 0}}});
        tree.values.push_back({"List", {REG_MULTI_SZ, {'x', 0, 'y', 0, 0}}});
        tree.values.push_back({"Bytes", {REG_BINARY, std::vector<std::uint8_t>(300, 7)}});
        cld::RegistryTree child = tree;
        child.name = "Child";
        cld::RegistryTree grand = tree;
        grand.name = "Grand";
        child.children.push_back(grand);
        tree.children.push_back(child);
        cld::RegistryStore::saveTreeToFile(tree, file);
        std::ifstream in(file, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& dir = workDir();
    const auto& base = templateFile();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().filename() != "template.hive")
            std::filesystem::remove(entry.path(), ec);
    }
    std::vector<std::uint8_t> damaged;
    if (size > 0 && (data[0] & 1) && !base.empty()) {
        // (offset high, offset low, byte) triples written over the template.
        damaged = base;
        for (std::size_t i = 1; i + 2 < size; i += 3) {
            const std::size_t at = ((std::size_t{data[i]} << 8) | data[i + 1]) % damaged.size();
            damaged[at] = data[i + 2];
        }
        data = damaged.data();
        size = damaged.size();
    }

    // As a saved key.
    const auto hive = dir / "input.hive";
    writeFile(hive, data, size);
    cld::RegistryTree tree;
    cld::RegistryStore::loadTreeFromFile(hive, tree);

    // As the user's store at start-up.
    writeFile(dir / "HKEY_CURRENT_USER.db", data, size);
    CRegistry reg;
    if (reg.ConnectRoot(HKEY_CURRENT_USER) && reg.OpenKey("", KEY_READ))
        walk(reg, "", 0);
    return 0;
}
