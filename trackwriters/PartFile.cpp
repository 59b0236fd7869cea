#include "PartFile.h"

#include "PcmLayout.h"
#include "SafeFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace cld::partfile {

namespace {

std::string takenText(const std::string& path, cld::files::Occupant there) {
    const std::string what = cld::files::occupantText(there);
    return "\"" + path + "\": " +
           (what.empty() ? std::string("a file of that name already exists")
                         : what + ", not a regular file");
}

} // namespace

std::string refusal(const std::string& path, bool replaceExisting) {
    const cld::files::Occupant there = cld::files::occupantOf(path);
    if (there == cld::files::Occupant::None ||
        (there == cld::files::Occupant::RegularFile && replaceExisting))
        return {};
    return "cannot create " + takenText(path, there);
}

std::string moveIntoPlace(const std::string& tempPath, const std::string& path,
                          bool replaceExisting) {
    using cld::files::Replace;
    if (cld::files::moveIntoPlace(tempPath, path,
                                  replaceExisting ? Replace::RegularFile : Replace::Never))
        return {};
    const int why = errno;
    std::string text = why == EEXIST
                           ? "cannot name " + takenText(path, cld::files::occupantOf(path))
                           : "cannot name \"" + path + "\": " + std::strerror(why);
    errno = why;
    return text;
}

int create(const std::string& finalPath, std::string& tempPath) {
    const std::filesystem::path folder = std::filesystem::path(finalPath).parent_path();
    return cld::files::createTemporary(folder.string(), tempPath, kPrefix);
}

bool writeAll(int fd, const void* data, std::size_t size) {
    return cld::files::writeAll(fd, data, size);
}

} // namespace cld::partfile

std::string pcmLayoutRefusal(const PcmLayout& layout, bool flac) {
    if (layout.channels < 1 || layout.channels > 8)
        return "the audio has " + std::to_string(layout.channels) +
               " channels; 1 to 8 can be written";
    if (layout.sampleRate < 8000 || layout.sampleRate > 655350)
        return "the sample rate " + std::to_string(layout.sampleRate) + " Hz cannot be written";
    const unsigned bits = layout.bitsPerSample;
    if (bits != 16 && bits != 24 && (flac || bits != 32))
        return "samples of " + std::to_string(bits) + " bits cannot be written" +
               (flac ? " to FLAC (16 or 24)" : " (16, 24 or 32)");
    return {};
}
