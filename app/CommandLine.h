#pragma once

#include <span>
#include <string>
#include <vector>

// What the program was asked to do on its command line. The program takes few options of
// its own: --help, --version and --job NAME FILE... (also FILE... alone, the job chosen by
// the files' type, which is how a file manager opens files with the program). Qt's own
// options (-platform, -style, ...) pass through untouched.
namespace cld {

// A job that can be opened from the command line: its name there, the launcher control
// whose command it runs, whether it works on files, and the file types it is the one to
// open when files come without a job (lower-case extensions with the dot).
struct CommandLineJob {
    const char* name;
    int controlId;
    bool takesFiles;
    std::vector<const char*> opens;
};

// Every job by its command-line name, in the launcher's order.
std::span<const CommandLineJob> commandLineJobs();
// The job of a name, or nullptr.
const CommandLineJob* findCommandLineJob(const std::string& name);
// The job that opens a file, by the file name's extension; nullptr when none does.
const CommandLineJob* jobForFile(const std::string& path);

struct CommandLine {
    enum class Action {
        Run,     // start the program (and open `job` with `files` when a job is named)
        Help,    // print the usage and end
        Version, // print the version and end
        Error,   // print `error` and the hint to --help, end with exit code 2
    };
    Action action = Action::Run;
    const CommandLineJob* job = nullptr;
    std::vector<std::string> files;
    std::string error;
};

// Reads the arguments after the program name. Qt's own options are skipped with their
// values; "--" ends the options, so that a file may begin with "-".
CommandLine parseCommandLine(std::span<const std::string> args);

// The texts the program prints for --help and --version.
std::string usageText(const std::string& programName);
std::string versionText();

// The first of `files` that does not exist, or an empty string.
std::string firstMissingFile(const std::vector<std::string>& files);

// Exit code of a command line the program cannot follow.
inline constexpr int kUsageExitCode = 2;

} // namespace cld
