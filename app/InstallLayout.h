#pragma once

#include <string>

// Where the program's own files are. In a build folder the libraries (ripper, pictures,
// virtual drive, languages) and the data (help, profiles, language folders) sit beside the
// program; an installation keeps the program in bin/ and those files in lib/calderine/,
// found from the program's own place so that any prefix works.
namespace cld {

// The private folder as seen from the program's folder in an installation.
inline constexpr const char* kPrivateFolderFromProgram = "../lib/calderine/";

// The folder that holds the program's own files, ending in "/", for a program that sits
// in `programFolder` (ending in "/"): the installation's private folder when there is one,
// otherwise the program's folder itself.
std::string privateFolderFor(const std::string& programFolder);
// privateFolderFor the folder of the running program (read from /proc/self/exe); "./"
// when it cannot be read.
std::string runningProgramFiles();

} // namespace cld
