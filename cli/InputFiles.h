#pragma once

#include <set>
#include <string>
#include <vector>

// Which files a convert or decode command works on, and where each one's output goes.
namespace cld::cli {

struct PlannedFile {
    std::string input;
    std::string output;
};

struct InputPlan {
    std::vector<PlannedFile> files;
    // Arguments that are neither a readable file nor a folder.
    std::vector<std::string> missing;
};

// The files of the arguments: a file stands for itself; a folder for its files with one
// of `extensions` (lower case, with the dot; any case matches), in name order, and those
// of its subfolders with `recursive`. Each output is the input's name with `extension`,
// in `outputFolder` (mirroring the input's place below the folder it was found in), or
// beside the input when `outputFolder` is empty. An input listed twice counts once.
InputPlan planInputs(const std::vector<std::string>& arguments,
                     const std::set<std::string>& extensions, bool recursive,
                     const std::string& outputFolder, const std::string& extension);

// Whether `output` is a complete conversion of `input`: both can be measured and their
// playing times agree within `toleranceSeconds`.
bool outputComplete(const std::string& input, const std::string& output,
                    double toleranceSeconds = 0.1);

} // namespace cld::cli
