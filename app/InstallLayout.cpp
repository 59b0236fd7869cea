#include "InstallLayout.h"

#include <filesystem>

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

} // namespace cld
