#include "ChildProcess.h"

#include <cerrno>
#include <cstring>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace cld {

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !finished()) {
        // Nobody waits for it any more; reap it when it ends so that it leaves no zombie.
        const pid_t pid = m_pid;
        std::thread([pid] {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         std::string* error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setpgroup(&attr, 0);
    // The child starts with the default signal handling and no blocked signals.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (error)
            *error = std::strerror(rc);
        return false;
    }
    m_pid = pid;
    m_done = false;
    m_exitCode = 0;
    return true;
}

bool ChildProcess::finished() {
    if (m_pid <= 0 || m_done)
        return true;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(m_pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return false;
    m_done = true;
    if (r == m_pid) {
        if (WIFEXITED(status))
            m_exitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            m_exitCode = 128 + WTERMSIG(status);
    }
    return true;
}

void ChildProcess::terminate(int code) {
    if (m_pid <= 0 || finished())
        return;
    kill(-m_pid, SIGKILL);
    kill(m_pid, SIGKILL);
    while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    m_done = true;
    m_exitCode = code;
}

} // namespace cld
