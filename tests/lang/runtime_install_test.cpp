#include "AppTestKit.h"
#include "CLauncherDlg.h"
#include "CRegistry.h"
#include "CSuiteApp.h"
#include "ChildProcess.h"
#include "LibraryBinding.h"
#include "Processes.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "WaitService.h"
#include "WmRuntimeInstaller.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using cld::WmRuntimeInstaller;

namespace {

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Stands in for the step's waits. The step waits for its installers to end; so each wait
// here first holds until `ready` says that what the step waits for has happened (the fake
// installers that end by themselves have ended), then passes no time at all, so that half
// an hour of polling a hanging installer is over at once. It remembers every wait and
// whether the runtime wait window was up meanwhile.
class EventWait : public WaitService {
public:
    struct Log {
        std::vector<int> waits;
        bool waitWindowSeen = false;
        bool hung = false; // a wait's event never came
    };
    EventWait(std::shared_ptr<Log> log, std::function<bool()> ready)
        : m_log(std::move(log)), m_ready(std::move(ready)) {}
    void waitAndPump(int milliseconds) override {
        m_log->waits.push_back(milliseconds);
        note();
        if (!m_log->hung && !cldtest::waitUntil(m_ready)) {
            m_log->hung = true;
            ADD_FAILURE() << "an installer the step waits for never ended";
        }
        QCoreApplication::processEvents();
    }
    void pump() override {
        note();
        QCoreApplication::processEvents();
    }

private:
    void note() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->property("cld_id").toInt() == 175)
                m_log->waitWindowSeen = true;
    }
    std::shared_ptr<Log> m_log;
    std::function<bool()> m_ready;
};

// A program folder with the two profiles, a registry and a media profile folder of its own,
// no pending restart and a restart request that only counts.
class RuntimeStep : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder());
        fs::create_directories(profiles());
        for (const char* name : WmRuntimeInstaller::kProfileFiles)
            fs::copy_file(cldtest::binDir() / name, folder() / name);
        recordProfileFolder(profiles().string());
        m_oldMarker = WmRuntimeInstaller::setRebootMarker(home.file("reboot-required").string());
        m_oldRestart = WmRuntimeInstaller::setRestartRequest([this] {
            ++restarts;
            return true;
        });
        WaitService::setInstance(
            std::make_unique<EventWait>(waitLog, [this] { return stepMayGoOn(); }));
    }
    void TearDown() override {
        WaitService::setInstance(nullptr);
        // No installer outlives the test and writes into its removed folder.
        EXPECT_TRUE(cldtest::waitUntil([] { return cldtest::runningChildren().empty(); }));
        MessageService::setInstance(nullptr);
        WmRuntimeInstaller::setRebootMarker(m_oldMarker);
        WmRuntimeInstaller::setRestartRequest(m_oldRestart);
    }

    fs::path folder() const { return home.path() / "program"; }
    fs::path profiles() const { return home.path() / "profiles"; }
    fs::path installLog() const { return home.file("installers.log"); }
    // What the step's waits wait for: every installer it started has ended, except one that
    // the test made to hang, which must have got under way. (A child is known by its pid:
    // its command line may still be empty just after it was started.)
    bool stepMayGoOn() const {
        for (const pid_t pid : cldtest::runningChildren()) {
            if (pid != hangingPid() || !m_hangingStarted())
                return false;
        }
        return true;
    }
    pid_t hangingPid() const {
        const std::string text = m_hangingPidFile.empty() ? "" : readFile(m_hangingPidFile);
        return text.empty() ? -1 : static_cast<pid_t>(std::stoi(text));
    }
    // An installer that never ends by itself: it writes its pid to pidFile, and `started`
    // says when it is under way.
    void hangingInstaller(const char* name, const std::string& body, const fs::path& pidFile,
                          std::function<bool()> started) {
        fakeInstaller(name, body);
        m_hangingPidFile = pidFile;
        m_hangingStarted = std::move(started);
    }
    static void recordProfileFolder(const std::string& value) {
        CRegistry reg;
        ASSERT_TRUE(reg.ConnectRoot(HKEY_CLASSES_ROOT));
        ASSERT_TRUE(reg.CreateKey(SettingsRecord::kMediaProfileFolderKeyPath));
        ASSERT_TRUE(reg.WriteString("", value.c_str()));
    }
    void fakeInstaller(const char* name, const std::string& body = {}) {
        const fs::path file = folder() / name;
        std::ofstream(file) << "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '"
                            << installLog().string() << "'\n"
                            << body;
        fs::permissions(file, fs::perms::owner_all);
    }
    void fakeInstallers() {
        fakeInstaller(WmRuntimeInstaller::kFormatInstaller);
        fakeInstaller(WmRuntimeInstaller::kEncoderInstaller);
    }
    void answer(MessageResult result) {
        messages = std::make_shared<std::vector<Message>>();
        MessageService::setInstance(std::make_unique<cldtest::MessageLog>(messages, result));
    }
    std::vector<int> messageIds() const {
        std::vector<int> ids;
        for (const Message& m : *messages)
            ids.push_back(m.stringId);
        return ids;
    }
    bool profilesCopied() const {
        for (const char* name : WmRuntimeInstaller::kProfileFiles) {
            if (readFile(profiles() / name) != readFile(folder() / name))
                return false;
        }
        return true;
    }

    cldtest::ProgramResourcesScope resources;
    cldtest::TempDir home;
    cldtest::ScopedEnv homeEnv{"HOME", home.path().string()};
    cldtest::ScopedEnv odbcEnv{"ODBCINI", (home.path() / "odbc.ini").string()};
    cldtest::ScopedEnv dataEnv{"XDG_DATA_HOME", (home.path() / "data").string()};
    cldtest::ScopedEnv registry{"CLD_REGISTRY_DIR", (home.path() / "registry").string()};
    std::shared_ptr<EventWait::Log> waitLog = std::make_shared<EventWait::Log>();
    std::shared_ptr<std::vector<Message>> messages = std::make_shared<std::vector<Message>>();
    int restarts = 0;

private:
    std::string m_oldMarker;
    std::function<bool()> m_oldRestart;
    fs::path m_hangingPidFile;
    std::function<bool()> m_hangingStarted;
};

TEST_F(RuntimeStep, BothInstallersRunQuietlyInOrderAndTheProfilesAreCopied) {
    fakeInstallers();
    // An older copy of a profile is replaced.
    std::ofstream(profiles() / WmRuntimeInstaller::kProfileFiles[0]) << "old";
    answer(MessageResult::No);
    WmRuntimeInstaller installer(folder().string() + "/");
    ASSERT_TRUE(installer.InstallWindowsMediaRuntime());
    EXPECT_TRUE(messages->empty());
    EXPECT_EQ(readFile(installLog()), "WMFDist.exe /Q:A /R:N\nWMEDist.exe /Q:A /R:N\n");
    EXPECT_TRUE(profilesCopied());
    EXPECT_EQ(restarts, 0);
    // The first installer is given at most 10 s in steps, then 1 s.
    const std::vector<int>& w = waitLog->waits;
    const auto settle = std::find(w.begin(), w.end(), WmRuntimeInstaller::kSettleMs);
    ASSERT_NE(settle, w.end());
    EXPECT_LE(std::distance(w.begin(), settle), 40);
    EXPECT_TRUE(std::all_of(w.begin(), settle, [](int ms) { return ms == 250; }));
}

TEST_F(RuntimeStep, AMissingFirstInstallerAsksWhetherToGoOnWithoutWmaAndWmv) {
    fakeInstaller(WmRuntimeInstaller::kEncoderInstaller);
    for (const MessageResult choice : {MessageResult::Yes, MessageResult::No}) {
        answer(choice);
        WmRuntimeInstaller installer(folder().string());
        EXPECT_EQ(installer.InstallWindowsMediaRuntime(), choice == MessageResult::Yes);
        EXPECT_EQ(messageIds(),
                  (std::vector<int>{cld::IDS_WMFDIST_MISSING, cld::IDS_WMF_CONTINUE_ASK}));
        EXPECT_EQ((*messages)[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ((*messages)[0].text,
                  QStringLiteral("Error: Can't find WMFDist.exe in the folder where Calderine "
                                 "was installed."));
        EXPECT_EQ((*messages)[1].icon, MessageIcon::Question);
        EXPECT_EQ((*messages)[1].buttons, MessageButtons::YesNo);
        EXPECT_EQ((*messages)[1].text,
                  QStringLiteral("Windows Media Audio and Video encoding will not work.\nDo you "
                                 "want to start Calderine without WMA and WMV Support?"));
    }
    // Nothing else ran, nothing was copied.
    EXPECT_FALSE(fs::exists(installLog()));
    EXPECT_FALSE(fs::exists(profiles() / WmRuntimeInstaller::kProfileFiles[0]));
}

TEST_F(RuntimeStep, AMissingOrUnusableSecondInstallerAsksWhetherToGoOnWithoutWma) {
    fakeInstaller(WmRuntimeInstaller::kFormatInstaller);
    // Present but not a program the system can start.
    std::ofstream(folder() / WmRuntimeInstaller::kEncoderInstaller) << "MZ not a program";
    for (const MessageResult choice : {MessageResult::Yes, MessageResult::No}) {
        answer(choice);
        WmRuntimeInstaller installer(folder().string());
        EXPECT_EQ(installer.InstallWindowsMediaRuntime(), choice == MessageResult::Yes);
        EXPECT_EQ(messageIds(),
                  (std::vector<int>{cld::IDS_WMEDIST_MISSING, cld::IDS_WME_CONTINUE_ASK}));
        EXPECT_EQ((*messages)[1].text,
                  QStringLiteral("Windows Media Audio encoding will not work.\nDo you want to "
                                 "start Calderine without WMA Support?"));
    }
    EXPECT_EQ(readFile(installLog()), "WMFDist.exe /Q:A /R:N\nWMFDist.exe /Q:A /R:N\n");
}

TEST_F(RuntimeStep, AHangingSecondInstallerIsEndedAfterHalfAnHourOfWaiting) {
    fakeInstaller(WmRuntimeInstaller::kFormatInstaller);
    const fs::path pidFile = home.file("pid"), childFile = home.file("child");
    // Each file appears whole, the pid's first.
    hangingInstaller(WmRuntimeInstaller::kEncoderInstaller,
                     "echo $$ > '" + pidFile.string() + ".new'\nmv '" + pidFile.string() +
                         ".new' '" + pidFile.string() + "'\nsleep 1000 &\necho $! > '" +
                         childFile.string() + ".new'\nmv '" + childFile.string() + ".new' '" +
                         childFile.string() + "'\nwait\n",
                     pidFile, [childFile] { return fs::exists(childFile); });
    answer(MessageResult::No);
    WmRuntimeInstaller installer(folder().string());
    ASSERT_TRUE(installer.InstallWindowsMediaRuntime());
    EXPECT_TRUE(messages->empty());
    EXPECT_TRUE(profilesCopied());
    // Polled in 250 ms steps until more than 1,800,000 ms had passed.
    const std::vector<int>& w = waitLog->waits;
    const auto settle = std::find(w.begin(), w.end(), WmRuntimeInstaller::kSettleMs);
    ASSERT_NE(settle, w.end());
    EXPECT_EQ(std::count(settle + 1, w.end(), 250), 7201);
    EXPECT_EQ(std::distance(settle + 1, w.end()), 7201);
    // The installer and what it started are gone.
    const pid_t pid = std::stoi(readFile(pidFile));
    const pid_t child = std::stoi(readFile(childFile));
    EXPECT_FALSE(cldtest::processRunning(pid));
    EXPECT_TRUE(cldtest::waitUntil([child] { return !cldtest::processRunning(child); }));
}

TEST_F(RuntimeStep, APendingRestartIsOfferedAndNoStillCopiesTheProfiles) {
    fakeInstallers();
    std::ofstream(home.file("reboot-required")) << "*** System restart required ***\n";
    answer(MessageResult::No);
    {
        WmRuntimeInstaller installer(folder().string());
        EXPECT_TRUE(installer.RestartPending());
        ASSERT_TRUE(installer.InstallWindowsMediaRuntime());
    }
    ASSERT_EQ(messageIds(), std::vector<int>{164});
    EXPECT_EQ((*messages)[0].icon, MessageIcon::Question);
    EXPECT_EQ((*messages)[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(profilesCopied());

    fs::remove_all(profiles());
    fs::create_directories(profiles());
    answer(MessageResult::Yes);
    WmRuntimeInstaller installer(folder().string());
    EXPECT_FALSE(installer.InstallWindowsMediaRuntime());
    EXPECT_EQ(messageIds(), std::vector<int>{164});
    EXPECT_EQ(restarts, 1);
    EXPECT_FALSE(fs::exists(profiles() / WmRuntimeInstaller::kProfileFiles[0]));
}

TEST_F(RuntimeStep, AProfileFolderOfOneCharacterOrNoneCopiesNothing) {
    fakeInstallers();
    // "x" would name a folder below the current one.
    fs::create_directories(home.file("x"));
    const fs::path previous = fs::current_path();
    fs::current_path(home.path());
    recordProfileFolder("x");
    answer(MessageResult::No);
    EXPECT_TRUE(WmRuntimeInstaller(folder().string()).InstallWindowsMediaRuntime());
    EXPECT_TRUE(fs::is_empty(home.file("x")));
    fs::current_path(previous);
    CRegistry reg;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_CLASSES_ROOT));
    ASSERT_TRUE(reg.DeleteKeyTree("Software\\Microsoft"));
    EXPECT_EQ(WmRuntimeInstaller::mediaProfileFolder(), "");
    EXPECT_TRUE(WmRuntimeInstaller(folder().string()).InstallWindowsMediaRuntime());
    EXPECT_TRUE(messages->empty());
    EXPECT_TRUE(fs::is_empty(profiles()));
}

TEST_F(RuntimeStep, TheShippedInstallersCheckTheMediaLibrariesAndPrepareTheProfileFolder) {
    CRegistry reg;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_CLASSES_ROOT));
    ASSERT_TRUE(reg.DeleteKeyTree("Software\\Microsoft"));
    for (const char* name :
         {WmRuntimeInstaller::kFormatInstaller, WmRuntimeInstaller::kEncoderInstaller}) {
        fs::copy_file(cldtest::binDir() / name, folder() / name);
        // Quiet and successful; an argument it does not know changes nothing.
        cld::ChildProcess bad;
        ASSERT_TRUE(bad.start((folder() / name).string(), {"/Q:A", "/Z"}));
        ASSERT_TRUE(cldtest::waitUntil([&bad] { return bad.finished(); }));
        EXPECT_EQ(bad.exitCode(), 2) << name;
    }
    EXPECT_FALSE(fs::exists(home.path() / "data"));
    answer(MessageResult::No);
    ASSERT_TRUE(WmRuntimeInstaller(folder().string()).InstallWindowsMediaRuntime());
    EXPECT_TRUE(messages->empty());
    const fs::path userProfiles = home.path() / "data" / "Quorvane" / "Profiles";
    EXPECT_EQ(WmRuntimeInstaller::mediaProfileFolder(), userProfiles.string());
    for (const char* name : WmRuntimeInstaller::kProfileFiles)
        EXPECT_EQ(readFile(userProfiles / name), readFile(folder() / name)) << name;
}

TEST(ChildProcess, StartFailuresSayWhyAndExitCodesAreKept) {
    cldtest::TempDir dir;
    cld::ChildProcess missing;
    std::string error;
    EXPECT_FALSE(missing.start(dir.file("none").string(), {}, &error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_TRUE(missing.finished());
    cld::ChildProcess exits;
    ASSERT_TRUE(exits.start("/bin/sh", {"-c", "exit 7"}));
    ASSERT_TRUE(cldtest::waitUntil([&exits] { return exits.finished(); }));
    EXPECT_EQ(exits.exitCode(), 7);
    cld::ChildProcess sleeper;
    ASSERT_TRUE(sleeper.start("/bin/sleep", {"100"}));
    EXPECT_FALSE(sleeper.finished());
    const pid_t pid = sleeper.pid();
    sleeper.terminate(42);
    EXPECT_TRUE(sleeper.finished());
    EXPECT_EQ(sleeper.exitCode(), 42);
    EXPECT_FALSE(cldtest::processRunning(pid));
}

// The step as start-up runs it: only while "WMFRedist" is 0, with the wait window up.
class FirstStart : public RuntimeStep {
protected:
    int start(bool* launcherShown = nullptr) {
        LibraryBinding binding(cldtest::binDir().string() + "/", "libcldrip.so", "GetClassObject");
        CSuiteApp::Options options;
        options.programFolder = QString::fromStdString(folder().string());
        options.ripperBinding = &binding;
        options.onLauncherShown = [launcherShown](CLauncherDlg& launcher) {
            if (launcherShown)
                *launcherShown = true;
            QTimer::singleShot(0, &launcher, [&launcher] { launcher.accept(); });
        };
        CSuiteApp app(std::move(options));
        return app.run();
    }
    static int wmfRedist() {
        SettingsRecord record;
        record.loadComponents();
        return record.wmfRedist();
    }
};

TEST_F(FirstStart, RunsOnceAndNeverAgainAfterSuccess) {
    fakeInstallers();
    answer(MessageResult::No);
    EXPECT_EQ(wmfRedist(), 0);
    EXPECT_EQ(start(), 0);
    EXPECT_TRUE(messages->empty());
    EXPECT_TRUE(waitLog->waitWindowSeen);
    EXPECT_EQ(wmfRedist(), 1);
    EXPECT_EQ(readFile(installLog()), "WMFDist.exe /Q:A /R:N\nWMEDist.exe /Q:A /R:N\n");
    EXPECT_TRUE(profilesCopied());
    waitLog->waitWindowSeen = false;
    EXPECT_EQ(start(), 0);
    EXPECT_FALSE(waitLog->waitWindowSeen);
    EXPECT_EQ(readFile(installLog()), "WMFDist.exe /Q:A /R:N\nWMEDist.exe /Q:A /R:N\n");
}

TEST_F(FirstStart, WithoutTheFirstInstallerNoEndsAndAsksAgainYesGoesOnForGood) {
    fakeInstaller(WmRuntimeInstaller::kEncoderInstaller);
    answer(MessageResult::No);
    bool shown = false;
    EXPECT_EQ(start(&shown), 1);
    EXPECT_FALSE(shown);
    EXPECT_EQ(messageIds().size(), 2u);
    EXPECT_EQ(wmfRedist(), 0);
    // No wait window is left behind.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible() && w->property("cld_id").toInt() == 175);

    answer(MessageResult::Yes);
    EXPECT_EQ(start(&shown), 0);
    EXPECT_TRUE(shown);
    EXPECT_EQ(messageIds(),
              (std::vector<int>{cld::IDS_WMFDIST_MISSING, cld::IDS_WMF_CONTINUE_ASK}));
    EXPECT_EQ(wmfRedist(), 1);

    answer(MessageResult::No);
    EXPECT_EQ(start(), 0);
    EXPECT_TRUE(messages->empty());
}

TEST_F(FirstStart, AnAcceptedRestartEndsStartUpAndTheStepRunsAgainNextTime) {
    fakeInstallers();
    std::ofstream(home.file("reboot-required")) << "\n";
    answer(MessageResult::Yes);
    bool shown = false;
    EXPECT_EQ(start(&shown), 1);
    EXPECT_FALSE(shown);
    EXPECT_EQ(restarts, 1);
    EXPECT_EQ(wmfRedist(), 0);
}

} // namespace
