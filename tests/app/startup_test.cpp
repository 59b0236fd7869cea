#include "AppTestKit.h"
#include "CLauncherDlg.h"
#include "CSplashThread.h"
#include "CSuiteApp.h"
#include "LibraryBinding.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// A program folder of its own for each test: the cache and the logo are looked for there,
// and the picture library and help file are linked in from the build.
class StartUp : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(folder());
        for (const char* f : {"libCLDRes.so", "cld.chm"})
            fs::create_symlink(cldtest::binDir() / f, folder() / f);
    }
    fs::path folder() const { return home.path() / "program"; }
    QString programFolder() const { return QString::fromStdString(folder().string() + "/"); }

    cldtest::TempDir home;
    cldtest::ScopedEnv homeEnv{"HOME", home.path().string()};
    cldtest::ScopedEnv odbcEnv{"ODBCINI", (home.path() / "odbc.ini").string()};
    cldtest::ScopedEnv dataEnv{"XDG_DATA_HOME", (home.path() / "data").string()};
    cldtest::ScopedEnv registry{"CLD_REGISTRY_DIR", (home.path() / "registry").string()};
    cldtest::MessageScope messages;
    std::shared_ptr<std::vector<int>> waits = std::make_shared<std::vector<int>>();
};

struct LauncherSeen {
    bool shown = false;
    bool splashRunning = true;
    QPoint corner;
};

CSuiteApp::Options optionsFor(const QString& folder, LibraryBinding* binding, LauncherSeen* seen) {
    CSuiteApp::Options options;
    options.programFolder = folder;
    options.ripperBinding = binding;
    options.onLauncherShown = [seen](CLauncherDlg& launcher) {
        seen->shown = launcher.isVisible();
        seen->corner = launcher.pos();
        if (CSuiteApp* app = CSuiteApp::instance())
            seen->splashRunning = app->splash() && app->splash()->isRunning();
        QTimer::singleShot(0, &launcher, [&launcher] { launcher.accept(); });
    };
    return options;
}

TEST_F(StartUp, MissingRipperLibraryShowsMessage152AfterTheSplashAndEnds) {
    WaitService::setInstance(std::make_unique<cldtest::QuickWait>(waits));
    LibraryBinding binding(folder().string() + "/", "libcldrip.so", "GetClassObject");
    EXPECT_EQ(binding.entry(), nullptr);
    EXPECT_FALSE(binding.errorText().empty());
    LauncherSeen seen;
    CSuiteApp app(optionsFor(programFolder(), &binding, &seen));
    EXPECT_EQ(app.run(), 1);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].stringId, 152);
    EXPECT_EQ(messages.messages()[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.messages()[0].text, QStringLiteral("Error: Cannot initialize cldrip.dll !"));
    EXPECT_FALSE(seen.shown);
    // The splash was up when the message came.
    ASSERT_NE(app.splash(), nullptr);
    EXPECT_TRUE(app.splash()->isRunning());
    EXPECT_TRUE(waits->empty());
    WaitService::setInstance(nullptr);
}

TEST_F(StartUp, WithTheRipperTheLauncherAppearsAndClosesTheSplash) {
    WaitService::setInstance(std::make_unique<cldtest::QuickWait>(waits));
    LibraryBinding binding(cldtest::binDir().string() + "/", "libcldrip.so", "GetClassObject");
    ASSERT_NE(binding.entry(), nullptr) << binding.errorText();
    LauncherSeen seen;
    {
        CSuiteApp app(optionsFor(programFolder(), &binding, &seen));
        EXPECT_EQ(app.run(), 0);
        EXPECT_TRUE(seen.shown);
        EXPECT_FALSE(seen.splashRunning);
        EXPECT_TRUE(messages.messages().empty());
        EXPECT_EQ(*waits, std::vector<int>{1200});
        EXPECT_NE(app.ripObject(), nullptr);
        EXPECT_NE(app.driveSettings(), nullptr);
        EXPECT_EQ(app.genres().genreCount(), 145);
        EXPECT_TRUE(app.cacheOpen()) << app.cache().lastError();
        EXPECT_EQ(app.settings().proxyPort(), 8080);
        EXPECT_EQ(app.settings().programFolder(), programFolder().toStdString());
    }
    EXPECT_TRUE(fs::exists(folder() / "CDDBCache.mdb"));
    WaitService::setInstance(nullptr);
}

TEST_F(StartUp, UnavailableCacheDoesNotStopTheLauncher) {
    WaitService::setInstance(std::make_unique<cldtest::QuickWait>(waits));
    // Something that is not a database stands where the cache file would be.
    fs::create_directories(folder() / "CDDBCache.mdb" / "x");
    LibraryBinding binding(cldtest::binDir().string() + "/", "libcldrip.so", "GetClassObject");
    LauncherSeen seen;
    CSuiteApp app(optionsFor(programFolder(), &binding, &seen));
    EXPECT_EQ(app.run(), 0);
    EXPECT_TRUE(seen.shown);
    EXPECT_FALSE(app.cacheOpen());
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_TRUE(fs::is_directory(folder() / "CDDBCache.mdb" / "x"));
    WaitService::setInstance(nullptr);
}

// The real program, started as a user would, answering its messages on standard error.
class ProgramRun : public StartUp {
protected:
    void SetUp() override {
        fs::create_directories(folder());
        for (const char* f : {"CLD", "libCLDRes.so", "cld.chm"})
            fs::copy_file(cldtest::binDir() / f, folder() / f);
    }
    void addRipper() {
        fs::copy_file(cldtest::binDir() / "libcldrip.so", folder() / "libcldrip.so");
    }

    QProcess* start(const QString& platform = QStringLiteral("offscreen")) {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CLD_AUTOMATION"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString((folder() / "CLD").string()), {});
        m_processes.emplace_back(p);
        return p;
    }
    static QString finish(QProcess* p) {
        EXPECT_TRUE(p->waitForFinished(60000));
        return QString::fromLocal8Bit(p->readAllStandardError());
    }

    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(ProgramRun, WithoutTheRipperLibraryItShowsMessage152AndEnds) {
    QProcess* p = start();
    const QString err = finish(p);
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 1);
    EXPECT_TRUE(err.contains(
        QStringLiteral("CLD message 152 (icon 1): Error: Cannot initialize cldrip.dll !")))
        << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("launcher shown")));
}

TEST_F(ProgramRun, OnA1024By768ScreenTheLauncherSitsAt109And136) {
    addRipper();
    const fs::path config = home.file("screen.json");
    std::ofstream(config) << R"({"screens":[{"name":"s","x":0,"y":0,"width":1024,"height":768,)"
                             R"("logicalDpi":96,"logicalBpp":32,"dpr":1}]})";
    QProcess* p =
        start(QStringLiteral("offscreen:configfile=") + QString::fromStdString(config.string()));
    const QString err = finish(p);
    EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CLD launcher shown at 109,136"))) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("CLD message")));
}

TEST_F(ProgramRun, BrokenCacheFileStillGivesTheLauncher) {
    addRipper();
    std::ofstream(folder() / "CDDBCache.mdb") << "this is not a database";
    QProcess* p = start();
    const QString err = finish(p);
    EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CLD launcher shown"))) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("CLD message")));
}

TEST_F(ProgramRun, ASecondCopyStartsNormally) {
    addRipper();
    QProcess* first = start();
    ASSERT_TRUE(first->waitForStarted());
    QProcess* second = start();
    const QString err1 = finish(first);
    const QString err2 = finish(second);
    EXPECT_EQ(first->exitCode(), 0) << err1.toStdString();
    EXPECT_EQ(second->exitCode(), 0) << err2.toStdString();
    EXPECT_TRUE(err1.contains(QStringLiteral("CLD launcher shown")));
    EXPECT_TRUE(err2.contains(QStringLiteral("CLD launcher shown")));
}

} // namespace
