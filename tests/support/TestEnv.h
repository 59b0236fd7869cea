#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace cldtest {

// Sets an environment variable for the lifetime of the object and restores the
// previous value (or its absence) afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Folder of the built program and its libraries (build/bin), from CLD_BIN_DIR.
std::filesystem::path binDir();
// Root of the source tree, from CLD_SOURCE_DIR.
std::filesystem::path sourceDir();
// True when the named program is on PATH.
bool haveTool(const std::string& name);

} // namespace cldtest
