#pragma once

#include "TempDir.h"
#include "TestEnv.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace cldtest {

// Moves every registry root into a fresh folder for the lifetime of the object.
class ScopedRegistry {
public:
    ScopedRegistry();
    const std::filesystem::path& dir() const { return m_dir.path(); }
    std::filesystem::path userStore() const { return m_dir.file("HKEY_CURRENT_USER.db"); }
    // Files set aside as damaged next to the stores.
    std::vector<std::filesystem::path> damagedFiles() const;

private:
    TempDir m_dir;
    ScopedEnv m_env;
};

// Starts the regtool helper with the given arguments; returns its process id.
pid_t startRegtool(const std::vector<std::string>& args);
// Waits for a process; returns its exit code, or -signal when a signal ended it.
int waitProcess(pid_t pid);
// Runs the regtool helper to its end and returns its exit code.
int runRegtool(const std::vector<std::string>& args);

} // namespace cldtest
