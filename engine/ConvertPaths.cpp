#include "ConvertPaths.h"

#include "AudioInputCheck.h"
#include "SafeFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace cld {

std::string withTrailingSlash(const std::string& path) {
    if (path.empty() || path.back() == '/')
        return path;
    return path + "/";
}

std::string cdOutputFolder(const std::string& remembered, const std::string& artist,
                           const std::string& album) {
    if (remembered.empty())
        return {};
    return withTrailingSlash(remembered) +
           files::pairName(artist, album, "Unknown Artist", "Unknown");
}

std::string folderModeOutput(const std::string& inputFolder, const std::string& subFolder) {
    return withTrailingSlash(inputFolder) + subFolder + "/";
}

std::string fileModeOutput(const std::string& inputFile, const std::string& extension) {
    // The audio formats with longer extensions (".flac", ".opus") lose all of theirs.
    for (const std::string& known : audioInputExtensions()) {
        if (known.size() > 4 && hasExtension(inputFile, known))
            return inputFile.substr(0, inputFile.size() - known.size()) + extension;
    }
    if (inputFile.size() < 4)
        return inputFile + extension;
    return inputFile.substr(0, inputFile.size() - 4) + extension;
}

std::string cdTrackBaseName(const std::string& artist, const std::string& title) {
    const std::string titlePart = files::safeName(title);
    if (titlePart.empty())
        return {};
    return files::safeName(files::safeName(artist) + " - " + titlePart);
}

bool hasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size())
        return false;
    return std::equal(extension.begin(), extension.end(),
                      path.end() - static_cast<long>(extension.size()), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

bool createOneFolder(const std::string& path, std::string* reason) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.empty()) {
        if (reason)
            *reason = "no folder given";
        return false;
    }
    if (::mkdir(folder.c_str(), 0777) == 0)
        return true;
    const int error = errno;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    if (reason)
        *reason = std::strerror(error);
    return false;
}

std::vector<std::string> filesWithExtension(const std::string& folder,
                                            const std::string& extension) {
    std::vector<std::string> out;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        const std::string name = it->path().filename().string();
        if (name.size() > extension.size() && hasExtension(name, extension))
            out.push_back(withTrailingSlash(folder) + name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> audioFilesIn(const std::string& folder) {
    std::vector<std::string> wav = filesWithExtension(folder, ".wav");
    std::vector<std::string> others;
    for (const std::string& ext : audioInputExtensions()) {
        if (ext == ".wav")
            continue;
        const std::vector<std::string> some = filesWithExtension(folder, ext);
        others.insert(others.end(), some.begin(), some.end());
    }
    std::sort(others.begin(), others.end());
    wav.insert(wav.end(), others.begin(), others.end());
    return wav;
}

std::string audioInputFilter(const std::string& first, const std::string& allAudioText) {
    std::string patterns;
    for (const std::string& ext : audioInputExtensions())
        patterns += (patterns.empty() ? "*" : " *") + ext;
    return first + ";;" + allAudioText + " (" + patterns + ")";
}

std::string fileTitle(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

std::vector<std::string> batchOutputNames(const std::vector<std::string>& inputs,
                                          const std::string& folder, const std::string& extension) {
    namespace fs = std::filesystem;
    // Paths are compared in one form, so that "a//b.wav" and "a/./b.wav" meet.
    auto key = [](const std::string& path) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(path, ec);
        return (ec ? fs::path(path) : absolute).lexically_normal().string();
    };
    std::set<std::string> taken;
    for (const std::string& input : inputs)
        taken.insert(key(input));
    const std::string base = withTrailingSlash(folder);
    std::vector<std::string> outputs;
    outputs.reserve(inputs.size());
    for (const std::string& input : inputs) {
        const std::string title = fileTitle(input);
        std::string output = base + title + extension;
        if (taken.count(key(output))) {
            std::string own = fs::path(input).extension().string();
            if (!own.empty())
                own.erase(0, 1);
            if (own.empty())
                own = "file";
            output = base + title + " (" + own + ")" + extension;
            for (int n = 2; taken.count(key(output)); ++n)
                output = base + title + " (" + own + " " + std::to_string(n) + ")" + extension;
        }
        taken.insert(key(output));
        outputs.push_back(output);
    }
    return outputs;
}

std::string outputReplacingInput(const std::vector<std::string>& inputs,
                                 const std::vector<std::string>& outputs) {
    std::set<std::pair<dev_t, ino_t>> files;
    for (const std::string& input : inputs) {
        struct stat st {};
        if (::stat(input.c_str(), &st) == 0)
            files.insert({st.st_dev, st.st_ino});
    }
    for (const std::string& output : outputs) {
        struct stat st {};
        if (::stat(output.c_str(), &st) == 0 && files.count({st.st_dev, st.st_ino}))
            return output;
    }
    return {};
}

} // namespace cld
