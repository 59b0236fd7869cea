#pragma once

#include <functional>
#include <string>

namespace cld {

// The media runtime step of the first start: runs the two runtime installers beside the
// program quietly, offers a restart when the system waits for one, and copies the two
// HI-FI audio profiles into the user's media profile folder.
class WmRuntimeInstaller {
public:
    static constexpr const char* kFormatInstaller = "WMFDist.exe";
    static constexpr const char* kEncoderInstaller = "WMEDist.exe";
    // Quiet mode, and no restart by the installer itself.
    static constexpr const char* kQuietArgument = "/Q:A";
    static constexpr const char* kNoRestartArgument = "/R:N";
    static constexpr const char* kProfileFiles[2] = {
        "Audio for HI-FI CD-quality (160 Kbps stereo).prx",
        "Audio for HI-FI Studio-maximum quality (192 Kbps stereo).prx",
    };
    // The longest wait for the first installer, and the pause after it.
    static constexpr int kFirstInstallerWaitMs = 10000;
    static constexpr int kSettleMs = 1000;
    // The second installer is polled in these steps and ended after this much waiting.
    static constexpr int kPollMs = 250;
    static constexpr int kHangLimitMs = 1800000;
    // The exit code a hanging installer is ended with.
    static constexpr int kTerminatedExitCode = static_cast<int>(0x80004005u);
    // The system's marker of a pending restart.
    static constexpr const char* kDefaultRebootMarker = "/var/run/reboot-required";

    // programFolder holds the installers and the two profiles; it ends in "/".
    explicit WmRuntimeInstaller(std::string programFolder);

    // True: start-up goes on; false: start-up ends (the user declined to go on without
    // the runtime, or a restart was requested).
    bool InstallWindowsMediaRuntime();
    // True when the system waits for a restart to finish an installation.
    bool RestartPending() const;

    // The media profile folder the installers recorded: the unnamed value of
    // "\Software\Microsoft\Windows Media Tools\Encoder\ProfileMgr\Directory" below
    // HKEY_CLASSES_ROOT, else the same key below HKEY_CURRENT_USER. Empty when neither
    // holds one.
    static std::string mediaProfileFolder();

    // Replace where the pending-restart marker is looked for, and what a restart request
    // does (the standard one asks the system to restart). Each returns the previous one.
    static std::string setRebootMarker(std::string path);
    static std::function<bool()> setRestartRequest(std::function<bool()> request);

private:
    void copyProfiles() const;

    std::string m_programFolder;
};

} // namespace cld
