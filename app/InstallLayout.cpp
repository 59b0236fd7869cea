#include "InstallLayout.h"

#include <array>
#include <filesystem>
#include <unistd.h>

namespace cld {

std::string privateFolderFor(const std::string& programFolder) {
    namespace fs = std::filesystem;
    if (programFolder.empty())
        return programFolder;
    const fs::path installed =
        (fs::path(programFolder) / kPrivateFolderFromProgram).lexically_normal();
    std::error_code ec;
    if (!fs::is_directory(installed, ec))
        return programFolder;
    std::string folder = installed.string();
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string runningProgramFiles() {
    std::array<char, 4096> buf{};
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return "./";
    std::string path(buf.data(), static_cast<size_t>(n));
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return "./";
    path.resize(slash + 1);
    return privateFolderFor(path);
}

} // namespace cld
