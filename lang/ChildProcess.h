#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace cld {

// A program started by this one and waited for by polling. It runs in a process group of
// its own, so that ending it also ends whatever it started. A process still running when
// the object goes away is left to run and reaped in the background.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts program (a path) with the arguments, inheriting the environment and the
    // current folder. False when it cannot be started; error then says why.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               std::string* error = nullptr);
    bool started() const { return m_pid > 0; }
    // True once the process has ended (never blocks).
    bool finished();
    // Ends the process and everything in its group at once; its exit code becomes `code`.
    void terminate(int code);
    // The exit code once finished: the program's own, 128 + the signal that ended it, or
    // the code given to terminate.
    int exitCode() const { return m_exitCode; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    bool m_done = false;
    int m_exitCode = 0;
};

} // namespace cld
