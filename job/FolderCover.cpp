#include "FolderCover.h"

#include <filesystem>
#include <fstream>

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
    std::error_code ec;
    const fs::path target = fs::path(folder) / "folder.jpg";
    if (fs::exists(target, ec))
        return true;
    if (!isPicture(image)) {
        why = "no picture to store";
        return false;
    }
    if (!fs::is_directory(folder, ec)) {
        why = "no folder " + folder;
        return false;
    }
    const fs::path temporary = fs::path(folder) / "folder.jpg.part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, ec);
            why = "cannot write " + temporary.string();
            return false;
        }
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        why = "cannot rename to " + target.string();
        return false;
    }
    return true;
}

} // namespace cld
