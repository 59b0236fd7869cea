#include "RegistryTestUtil.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace cldtest {

ScopedRegistry::ScopedRegistry() : m_env("CLD_REGISTRY_DIR", m_dir.path().string()) {}

std::vector<std::filesystem::path> ScopedRegistry::damagedFiles() const {
    std::vector<std::filesystem::path> out;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            out.push_back(entry.path());
    }
    return out;
}

pid_t startRegtool(const std::vector<std::string>& args) {
    std::vector<std::string> all{CLD_REGTOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, CLD_REGTOOL, nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

int waitProcess(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1000;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

int runRegtool(const std::vector<std::string>& args) {
    const pid_t pid = startRegtool(args);
    return pid < 0 ? -1001 : waitProcess(pid);
}

} // namespace cldtest
