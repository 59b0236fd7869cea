#include "Unattended.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

bool unattendedRequested(const char* value) {
    return value && *value && std::strcmp(value, "0") != 0;
}

bool jobRunRequested(const char* value) {
    return value && std::strcmp(value, "run") == 0;
}

double millisecondsSinceProcessStart() {
    std::FILE* stat = std::fopen("/proc/self/stat", "r");
    if (!stat)
        return -1;
    char line[1024] = {};
    const size_t n = std::fread(line, 1, sizeof line - 1, stat);
    std::fclose(stat);
    line[n] = '\0';
    // The command name (field 2) may hold spaces and parentheses: fields are counted after
    // its last ')'. The start time is field 22.
    const char* p = std::strrchr(line, ')');
    if (!p)
        return -1;
    unsigned long long start = 0;
    int field = 2;
    for (; *p && field < 22; ++p)
        if (*p == ' ')
            ++field;
    if (field != 22 || std::sscanf(p, "%llu", &start) != 1)
        return -1;
    const long ticks = sysconf(_SC_CLK_TCK);
    timespec now{};
    if (ticks <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - static_cast<double>(start) * 1000.0 / static_cast<double>(ticks);
}
