#include "Processes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace cldtest {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds hangLimit) {
    const auto until = std::chrono::steady_clock::now() + hangLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool processRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    // "pid (name) state ...": the name may hold spaces and parentheses.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return true;
    const char state = line[close + 2];
    return state != 'Z' && state != 'X';
}

std::vector<pid_t> runningChildren() {
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream list(task.path() / "children");
        pid_t pid = 0;
        while (list >> pid) {
            if (processRunning(pid))
                children.push_back(pid);
        }
    }
    return children;
}

std::string commandOutput(const std::string& command, int& status) {
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int s = pclose(pipe);
    status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

std::string commandLine(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    std::string text = read.str();
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    for (char& c : text) {
        if (c == '\0')
            c = ' ';
    }
    return text;
}

} // namespace cldtest
