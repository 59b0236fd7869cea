#include "CommandLine.h"

#include "ProductIdentity.h"
#include "ResourceIds.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <string_view>

namespace cld {

namespace {

const std::vector<CommandLineJob>& jobTable() {
    static const std::vector<CommandLineJob> table{
        {"cd-to-wav", IDC_CD2WAV, false, {}},
        {"cd-to-wma", IDC_CD2WMA, false, {}},
        {"cd-to-mp3", IDC_CD2MP3, false, {}},
        {"line-in-to-wma", IDC_MIC2WMA, false, {}},
        {"line-in-to-mp3", IDC_MIC2MP3, false, {}},
        {"wav-to-wma", IDC_FOLDER2WMA, true, {}},
        // A WAV file opened without a job goes to MP3, the more common of the two.
        // So do the other lossless and lossy audio files the MP3 encoder reads.
        {"wav-to-mp3",
         IDC_FOLDER2MP3,
         true,
         {".wav", ".flac", ".ogg", ".oga", ".opus", ".m4a", ".aac"}},
        {"wma-to-wav", IDC_WMA2WAV, true, {".wma"}},
        {"mp3-to-wav", IDC_MP32WAV, true, {".mp3"}},
        {"video-to-wmv", IDC_AVI2WMV, true, {".avi", ".mpg", ".mpeg"}},
        {"capture-to-wmv", IDC_CAPTURE2WMV, false, {}},
    };
    return table;
}

// Qt's own options that take a value (given as the next argument or after "=").
constexpr std::array<std::string_view, 16> kQtValueOptions{"platform",      "platformpluginpath",
                                                           "platformtheme", "plugin",
                                                           "qmljsdebugger", "qwindowgeometry",
                                                           "geometry",      "qwindowicon",
                                                           "icon",          "qwindowtitle",
                                                           "title",         "session",
                                                           "display",       "name",
                                                           "style",         "stylesheet"};
// Qt's own options that stand alone.
constexpr std::array<std::string_view, 6> kQtFlagOptions{"reverse", "widgetcount", "nograb",
                                                         "dograb",  "sync",        "testability"};

// The name of a Qt option without its dashes ("-style" and "--style" alike), or empty.
std::string_view qtOptionName(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-')
        return {};
    arg.remove_prefix(arg[1] == '-' ? 2 : 1);
    return arg;
}

bool isQtValueOption(std::string_view name) {
    return std::find(kQtValueOptions.begin(), kQtValueOptions.end(), name) != kQtValueOptions.end();
}

bool isQtValueOptionWithValue(std::string_view name) {
    const auto eq = name.find('=');
    return eq != std::string_view::npos && isQtValueOption(name.substr(0, eq));
}

bool isQtFlagOption(std::string_view name) {
    return std::find(kQtFlagOptions.begin(), kQtFlagOptions.end(), name) != kQtFlagOptions.end();
}

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

CommandLine failure(std::string text) {
    CommandLine line;
    line.action = CommandLine::Action::Error;
    line.error = std::move(text);
    return line;
}

std::string jobNames() {
    std::string names;
    for (const CommandLineJob& job : jobTable()) {
        if (!names.empty())
            names += ", ";
        names += job.name;
    }
    return names;
}

} // namespace

std::span<const CommandLineJob> commandLineJobs() {
    return jobTable();
}

const CommandLineJob* findCommandLineJob(const std::string& name) {
    for (const CommandLineJob& job : jobTable())
        if (name == job.name)
            return &job;
    return nullptr;
}

const CommandLineJob* jobForFile(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext.empty())
        return nullptr;
    for (const CommandLineJob& job : jobTable())
        for (const char* opens : job.opens)
            if (ext == opens)
                return &job;
    return nullptr;
}

CommandLine parseCommandLine(std::span<const std::string> args) {
    CommandLine line;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    bool jobGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            line.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h" || arg == "-?") {
            help = true;
        } else if (arg == "--version" || arg == "-v") {
            version = true;
        } else if (arg == "--job" || arg.rfind("--job=", 0) == 0) {
            std::string name;
            if (arg == "--job") {
                if (i + 1 >= args.size())
                    return failure("--job needs the name of a job (" + jobNames() + ")");
                name = args[++i];
            } else {
                name = arg.substr(6);
            }
            if (jobGiven)
                return failure("--job may be given only once");
            jobGiven = true;
            line.job = findCommandLineJob(name);
            if (!line.job)
                return failure("unknown job \"" + name + "\" (jobs: " + jobNames() + ")");
        } else if (const std::string_view qt = qtOptionName(arg); isQtValueOption(qt)) {
            // Qt reads the value itself; a missing one is Qt's to report.
            if (i + 1 < args.size())
                ++i;
        } else if (isQtFlagOption(qt) || isQtValueOptionWithValue(qt)) {
            // Qt's own.
        } else {
            return failure("unknown option \"" + arg + "\"");
        }
    }
    if (help) {
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (version) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    if (line.job) {
        if (!line.job->takesFiles && !line.files.empty())
            return failure(std::string("the job ") + line.job->name + " opens no files");
        return line;
    }
    // Files without a job: the first file's type chooses, and every file must suit it.
    for (const std::string& file : line.files) {
        const CommandLineJob* job = jobForFile(file);
        if (!job)
            return failure("no job opens \"" + file + "\"; name one with --job");
        if (line.job && job != line.job)
            return failure("\"" + file + "\" needs another job than \"" + line.files.front() +
                           "\"; open them one job at a time");
        line.job = job;
    }
    return line;
}

std::string firstMissingFile(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec))
            return file;
    }
    return {};
}

std::string usageText(const std::string& programName) {
    std::string text = "Usage: " + programName + " [--job NAME] [FILE...]\n" + //
                       "       " + programName + " --help | --version\n\n" + identity::kProduct +
                       " rips audio CDs and converts audio and video files.\n\n"
                       "Options:\n"
                       "  --job NAME    open the job NAME (with the FILEs, for a job that\n"
                       "                converts files) instead of the launcher alone\n"
                       "  --help        show this text and end\n"
                       "  --version     show the version and end\n\n"
                       "FILEs without --job open with the job their type calls for\n"
                       "(.wav/.flac/.ogg/.oga/.opus/.m4a/.aac: wav-to-mp3, .mp3: mp3-to-wav,\n"
                       ".wma: wma-to-wav, "
                       ".avi/.mpg/.mpeg: video-to-wmv).\n\n"
                       "Jobs:\n";
    for (const CommandLineJob& job : jobTable()) {
        text += "  ";
        text += job.name;
        text += job.takesFiles ? " FILE...\n" : "\n";
    }
    text += "\nQt's own options (-platform, -style, ...) are accepted too.\n";
    return text;
}

std::string versionText() {
    return std::string(identity::kProduct) + " " + identity::kDisplayVersion + "\n";
}

} // namespace cld
