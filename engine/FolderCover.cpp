#include "FolderCover.h"

#include "SafeFiles.h"

#include <filesystem>

namespace cld {

namespace {

bool isPicture(const std::string& b) {
    const bool jpeg = b.size() > 3 && static_cast<unsigned char>(b[0]) == 0xFF &&
                      static_cast<unsigned char>(b[1]) == 0xD8 &&
                      static_cast<unsigned char>(b[2]) == 0xFF;
    const bool png = b.size() > 8 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
    return jpeg || png;
}

} // namespace

bool keepFolderCover(const std::string& folder, const std::string& image, std::string& why) {
    namespace fs = std::filesystem;
    const std::string target = (fs::path(folder) / "folder.jpg").string();
    // Whatever already has the name stays: a user's picture, or anything else.
    const files::Occupant there = files::occupantOf(target);
    if (there == files::Occupant::RegularFile)
        return true;
    if (there != files::Occupant::None) {
        why = target + " is left as it is: " + files::occupantText(there);
        return false;
    }
    if (!isPicture(image)) {
        why = "no picture to store";
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        why = "no folder " + folder;
        return false;
    }
    return files::writeWhole(target, image, files::Replace::Never, why);
}

} // namespace cld
