#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// Runs the built calderine program as a process, as a terminal user or a script would:
// with no display and no session bus (DISPLAY, WAYLAND_DISPLAY and DBUS_SESSION_BUS_ADDRESS
// unset), its own settings store and cache, and standard output and error captured.
namespace clitest {

struct RunResult {
    // -1 when it did not end by itself within the hang limit or was ended by a signal.
    int exitCode = -1;
    int signal = 0; // the signal that ended it
    std::string out;
    std::string err;
    // Standard output's lines.
    std::vector<std::string> lines() const;
};

std::filesystem::path programPath();

class CliRunner {
public:
    // `home` holds the run's settings store, cache and data folders.
    explicit CliRunner(std::filesystem::path home);
    void setEnv(const std::string& name, const std::string& value) { m_env[name] = value; }

    RunResult run(const std::vector<std::string>& args);

    // Starts the program without waiting; finish() waits for it.
    pid_t start(const std::vector<std::string>& args);
    RunResult finish(pid_t pid);
    // What the started program has written to standard output so far.
    std::string outputSoFar() const;

private:
    std::filesystem::path m_home;
    std::map<std::string, std::string> m_env;
    int m_runs = 0;
    std::filesystem::path m_outFile;
    std::filesystem::path m_errFile;
};

} // namespace clitest
