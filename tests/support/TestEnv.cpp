#include "TestEnv.h"

#include <cstdlib>
#include <sstream>

namespace cldtest {

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name)) {
    if (const char* old = std::getenv(m_name.c_str()))
        m_old = old;
    setenv(m_name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (m_old)
        setenv(m_name.c_str(), m_old->c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

std::filesystem::path binDir() {
    const char* dir = std::getenv("CLD_BIN_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::path();
}

std::filesystem::path sourceDir() {
    const char* dir = std::getenv("CLD_SOURCE_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::path();
}

bool haveTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::stringstream ss(path);
    std::string dir;
    while (std::getline(ss, dir, ':')) {
        std::error_code ec;
        auto p = std::filesystem::path(dir) / name;
        if (std::filesystem::is_regular_file(p, ec))
            return true;
    }
    return false;
}

} // namespace cldtest
