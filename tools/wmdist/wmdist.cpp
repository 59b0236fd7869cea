// A media runtime installer: checks the part of the media runtime it stands for, creates
// the user's media profile folder and records it where the program looks for it.
//
//   WMFDist.exe [/Q:A] [/R:N]     the format runtime (ASF reading and writing)
//   WMEDist.exe [/Q:A] [/R:N]     the encoder components
//
// /Q:A runs quietly (only errors are printed); /R:N is accepted (the installer never
// restarts the system). Exit codes: 0 done, 1 a component is missing, 2 bad arguments,
// 3 the profile folder could not be prepared or recorded.
#include "CRegistry.h"
#include "Log.h"
#include "RuntimeCheck.h"
#include "SettingsRecord.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <strings.h>

namespace {

constexpr cld::RuntimePart kPart = static_cast<cld::RuntimePart>(CLD_WMDIST_PART);
constexpr const char* kName = CLD_WMDIST_PART == 1 ? "WMFDist.exe" : "WMEDist.exe";

// The recorded folder, when there is a usable one.
std::string recordedFolder(HKEY root) {
    CRegistry reg;
    std::string folder;
    if (reg.ConnectRoot(root) && reg.OpenKey(SettingsRecord::kMediaProfileFolderKeyPath, KEY_READ))
        reg.ReadString("", folder);
    return folder;
}

bool record(HKEY root, const std::string& folder, std::string& why) {
    CRegistry reg;
    if (reg.ConnectRoot(root) && reg.CreateKey(SettingsRecord::kMediaProfileFolderKeyPath) &&
        reg.WriteString("", folder.c_str()))
        return true;
    why = reg.RootName().empty() ? std::to_string(reg.LastError())
                                 : reg.RootName() + " error " + std::to_string(reg.LastError());
    return false;
}

// Creates the folder and records it below HKEY_CLASSES_ROOT; where that store cannot be
// written (a user without rights to the machine's settings), below HKEY_CURRENT_USER.
bool prepareProfileFolder(bool quiet) {
    for (const HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}) {
        const std::string existing = recordedFolder(root);
        std::error_code ec;
        if (existing.size() > 1 && std::filesystem::is_directory(existing, ec)) {
            if (!quiet)
                std::printf("%s: media profile folder %s\n", kName, existing.c_str());
            return true;
        }
    }
    const std::string folder = cld::userProfileFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "%s: the media profile folder %s cannot be created: %s\n", kName,
                     folder.c_str(), ec.message().c_str());
        return false;
    }
    std::string why;
    if (!record(HKEY_CLASSES_ROOT, folder, why) && !record(HKEY_CURRENT_USER, folder, why)) {
        std::fprintf(stderr, "%s: the media profile folder %s cannot be recorded (%s)\n", kName,
                     folder.c_str(), why.c_str());
        return false;
    }
    if (!quiet)
        std::printf("%s: media profile folder %s\n", kName, folder.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // The registry store logs through the library log; errors go to standard error.
    cld::setLogLevel(cld::LogLevel::Warning);
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (strcasecmp(argv[i], "/Q:A") == 0) {
            quiet = true;
        } else if (strcasecmp(argv[i], "/R:N") == 0) {
            // This installer never restarts the system.
        } else {
            std::fprintf(stderr, "%s: unknown argument \"%s\"\nusage: %s [/Q:A] [/R:N]\n", kName,
                         argv[i], kName);
            return 2;
        }
    }
    const std::vector<std::string> missing = cld::missingComponents(kPart);
    for (const std::string& m : missing)
        std::fprintf(stderr, "%s: the media libraries lack the %s\n", kName, m.c_str());
    if (!prepareProfileFolder(quiet))
        return 3;
    if (!missing.empty())
        return 1;
    if (!quiet)
        std::printf("%s: the media runtime is present and usable\n", kName);
    return 0;
}
