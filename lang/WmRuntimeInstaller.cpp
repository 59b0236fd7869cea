#include "WmRuntimeInstaller.h"

#include "CRegistry.h"
#include "ChildProcess.h"
#include "Log.h"
#include "MessageService.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WaitService.h"

#include <QApplication>
#include <filesystem>
#include <mutex>

namespace cld {
namespace {

std::mutex g_hooksMutex;

// "Calderine needs to restart your computer ..."
constexpr int kRestartQuestion = 164;

std::string& rebootMarker() {
    static std::string path = WmRuntimeInstaller::kDefaultRebootMarker;
    return path;
}

// Asks the system to restart; the request may be refused (no privilege), and start-up
// ends either way.
bool systemRestart() {
    ChildProcess restart;
    std::string error;
    if (!restart.start("/usr/bin/systemctl", {"reboot"}, &error)) {
        logf(LogLevel::Error, "the restart request could not be made: %s", error.c_str());
        return false;
    }
    return true;
}

std::function<bool()>& restartRequest() {
    static std::function<bool()> request = systemRestart;
    return request;
}

class WaitCursor {
public:
    WaitCursor() {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()))
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            m_active = false;
    }
    ~WaitCursor() {
        if (m_active)
            QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_active = true;
};

std::string readProfileFolder(HKEY root) {
    CRegistry reg;
    std::string folder;
    if (reg.ConnectRoot(root) && reg.OpenKey(SettingsRecord::kMediaProfileFolderKeyPath, KEY_READ))
        reg.ReadString("", folder);
    return folder;
}

void reportExit(const char* installer, const ChildProcess& process) {
    if (process.exitCode() != 0)
        logf(LogLevel::Warning, "%s ended with exit code %d", installer, process.exitCode());
}

} // namespace

WmRuntimeInstaller::WmRuntimeInstaller(std::string programFolder)
    : m_programFolder(std::move(programFolder)) {
    if (!m_programFolder.empty() && m_programFolder.back() != '/')
        m_programFolder += '/';
}

std::string WmRuntimeInstaller::setRebootMarker(std::string path) {
    std::lock_guard lock(g_hooksMutex);
    std::swap(rebootMarker(), path);
    return path;
}

std::function<bool()> WmRuntimeInstaller::setRestartRequest(std::function<bool()> request) {
    std::lock_guard lock(g_hooksMutex);
    if (!request)
        request = systemRestart;
    std::swap(restartRequest(), request);
    return request;
}

bool WmRuntimeInstaller::RestartPending() const {
    std::string marker;
    {
        std::lock_guard lock(g_hooksMutex);
        marker = rebootMarker();
    }
    std::error_code ec;
    return std::filesystem::exists(marker, ec);
}

std::string WmRuntimeInstaller::mediaProfileFolder() {
    std::string folder = readProfileFolder(HKEY_CLASSES_ROOT);
    if (folder.size() <= 1)
        folder = readProfileFolder(HKEY_CURRENT_USER);
    return folder;
}

bool WmRuntimeInstaller::InstallWindowsMediaRuntime() {
    WaitCursor cursor;
    WaitService& wait = WaitService::instance();
    const std::vector<std::string> arguments = {kQuietArgument, kNoRestartArgument};

    // 1. The media format runtime.
    ChildProcess format;
    std::string error;
    if (!format.start(m_programFolder + kFormatInstaller, arguments, &error)) {
        logf(LogLevel::Error, "%s%s cannot be started: %s", m_programFolder.c_str(),
             kFormatInstaller, error.c_str());
        MessageService::message(IDS_WMFDIST_MISSING, MessageIcon::Exclamation);
        return MessageService::message(IDS_WMF_CONTINUE_ASK, MessageIcon::Question,
                                       MessageButtons::YesNo) == MessageResult::Yes;
    }
    // 2. Its main work is given a while; then a moment for it to settle.
    for (int waited = 0; !format.finished() && waited < kFirstInstallerWaitMs; waited += kPollMs)
        wait.waitAndPump(kPollMs);
    if (format.finished())
        reportExit(kFormatInstaller, format);
    wait.waitAndPump(kSettleMs);

    // 3. The encoder components.
    ChildProcess encoder;
    if (!encoder.start(m_programFolder + kEncoderInstaller, arguments, &error)) {
        logf(LogLevel::Error, "%s%s cannot be started: %s", m_programFolder.c_str(),
             kEncoderInstaller, error.c_str());
        MessageService::message(IDS_WMEDIST_MISSING, MessageIcon::Exclamation);
        return MessageService::message(IDS_WME_CONTINUE_ASK, MessageIcon::Question,
                                       MessageButtons::YesNo) == MessageResult::Yes;
    }
    // 4. Waited for until it ends; one that hangs is ended after half an hour.
    bool stopped = false;
    for (int waited = 0; !encoder.finished(); waited += kPollMs) {
        if (waited > kHangLimitMs) {
            encoder.terminate(kTerminatedExitCode);
            logf(LogLevel::Error, "%s did not end within %d minutes and was stopped",
                 kEncoderInstaller, kHangLimitMs / 60000);
            stopped = true;
            break;
        }
        wait.waitAndPump(kPollMs);
    }
    if (!stopped)
        reportExit(kEncoderInstaller, encoder);

    // 5. A restart the system waits for.
    if (RestartPending() && MessageService::message(kRestartQuestion, MessageIcon::Question,
                                                    MessageButtons::YesNo) == MessageResult::Yes) {
        std::function<bool()> request;
        {
            std::lock_guard lock(g_hooksMutex);
            request = restartRequest();
        }
        request();
        return false;
    }

    // 6. The two HI-FI profiles.
    copyProfiles();
    return true;
}

void WmRuntimeInstaller::copyProfiles() const {
    std::string folder = mediaProfileFolder();
    if (folder.size() <= 1) {
        log(LogLevel::Info, "no media profile folder is recorded; the profiles are not copied");
        return;
    }
    if (folder.back() != '/')
        folder += '/';
    for (const char* name : kProfileFiles) {
        std::error_code ec;
        std::filesystem::copy_file(m_programFolder + name, folder + name,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec)
            logf(LogLevel::Warning, "%s could not be copied to %s: %s", name, folder.c_str(),
                 ec.message().c_str());
    }
}

} // namespace cld
