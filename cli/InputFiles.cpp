#include "InputFiles.h"

#include "AudioInputCheck.h"
#include "MediaDuration.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace cld::cli {

namespace fs = std::filesystem;

namespace {

fs::path outputFor(const fs::path& input, const fs::path& base, const std::string& outputFolder,
                   const std::string& extension) {
    fs::path name = input.filename();
    name.replace_extension(extension);
    if (outputFolder.empty())
        return input.parent_path() / name;
    fs::path relative;
    if (!base.empty())
        relative = input.parent_path().lexically_relative(base);
    if (relative.empty() || relative == ".")
        return fs::path(outputFolder) / name;
    return fs::path(outputFolder) / relative / name;
}

} // namespace

InputPlan planInputs(const std::vector<std::string>& arguments,
                     const std::set<std::string>& extensions, bool recursive,
                     const std::string& outputFolder, const std::string& extension) {
    InputPlan plan;
    std::set<std::string> seen;
    auto add = [&](const fs::path& input, const fs::path& base) {
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(input, ec);
        const std::string key = ec ? input.string() : canonical.string();
        if (!seen.insert(key).second)
            return;
        plan.files.push_back(
            {input.string(), outputFor(input, base, outputFolder, extension).string()});
    };
    for (const std::string& argument : arguments) {
        const fs::path path(argument);
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            std::vector<fs::path> found;
            auto consider = [&](const fs::directory_entry& entry) {
                std::error_code fileEc;
                if (entry.is_regular_file(fileEc) &&
                    extensions.count(lowerExtension(entry.path().string())))
                    found.push_back(entry.path());
            };
            if (recursive) {
                for (auto it = fs::recursive_directory_iterator(
                         path, fs::directory_options::skip_permission_denied, ec);
                     !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                    consider(*it);
            } else {
                for (auto it = fs::directory_iterator(path, ec);
                     !ec && it != fs::directory_iterator(); it.increment(ec))
                    consider(*it);
            }
            if (ec) {
                plan.missing.push_back(argument);
                continue;
            }
            std::sort(found.begin(), found.end());
            for (const fs::path& file : found)
                add(file, path);
        } else if (fs::is_regular_file(path, ec)) {
            add(path, {});
        } else {
            plan.missing.push_back(argument);
        }
    }
    return plan;
}

bool outputComplete(const std::string& input, const std::string& output, double toleranceSeconds) {
    std::error_code ec;
    if (!fs::is_regular_file(output, ec))
        return false;
    // 100-nanosecond units.
    const int64_t in = cld::getMediaDuration(input);
    const int64_t out = cld::getMediaDuration(output);
    if (in <= 0 || out <= 0)
        return false;
    return std::fabs(static_cast<double>(in - out)) / 1e7 <= toleranceSeconds;
}

} // namespace cld::cli
