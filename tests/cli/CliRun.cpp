#include "CliRun.h"

#include "Processes.h"
#include "TestEnv.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace clitest {

namespace {

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

std::vector<std::string> RunResult::lines() const {
    std::vector<std::string> result;
    std::stringstream ss(out);
    std::string line;
    while (std::getline(ss, line))
        result.push_back(line);
    return result;
}

std::filesystem::path programPath() {
    return cldtest::binDir() / "calderine";
}

CliRunner::CliRunner(std::filesystem::path home) : m_home(std::move(home)) {
    std::filesystem::create_directories(m_home);
    const char* path = std::getenv("PATH");
    m_env["PATH"] = path ? path : "/usr/bin:/bin";
    m_env["HOME"] = m_home.string();
    m_env["XDG_CONFIG_HOME"] = (m_home / "config").string();
    m_env["XDG_DATA_HOME"] = (m_home / "data").string();
    m_env["CLD_REGISTRY_DIR"] = (m_home / "registry").string();
    m_env["ODBCINI"] = (m_home / "odbc.ini").string();
    // The sanitizers' settings of the test run apply to the program too.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name))
            m_env[name] = value;
}

pid_t CliRunner::start(const std::vector<std::string>& args) {
    ++m_runs;
    m_outFile = m_home / ("out" + std::to_string(m_runs) + ".txt");
    m_errFile = m_home / ("err" + std::to_string(m_runs) + ".txt");
    std::vector<std::string> envText;
    for (const auto& [name, value] : m_env)
        envText.push_back(name + "=" + value);
    const std::string program = programPath().string();
    std::vector<std::string> argText{program};
    argText.insert(argText.end(), args.begin(), args.end());

    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only what the child needs from here on: no allocation after the fork matters,
        // the strings above are ready.
        const int out = ::open(m_outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(m_errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0)
            ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv;
        for (std::string& a : argText)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

RunResult CliRunner::finish(pid_t pid) {
    RunResult result;
    int status = 0;
    const bool ended = cldtest::waitUntil([&] {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        return done == pid;
    });
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.exitCode = -1;
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    result.out = readAll(m_outFile);
    result.err = readAll(m_errFile);
    return result;
}

std::string CliRunner::outputSoFar() const {
    return readAll(m_outFile);
}

RunResult CliRunner::run(const std::vector<std::string>& args) {
    return finish(start(args));
}

} // namespace clitest
