#include "AppTestKit.h"
#include "CLauncherDlg.h"
#include "CSplashThread.h"
#include "CSuiteApp.h"
#include "LibraryBinding.h"
#include "LogCapture.h"
#include "Processes.h"
#include "SettingsRecord.h"
#include "SqliteFileLock.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "Unattended.h"

#include <QApplication>
#include <QMessageBox>
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
        // The media runtime step has run before; its own tests are elsewhere.
        SettingsRecord record;
        ASSERT_TRUE(record.setWmfRedist(1));
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

// Visible windows that stay above every other window, leaving out `except`.
std::vector<QWidget*> windowsOnTop(const QWidget* except = nullptr) {
    std::vector<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != except && w->isVisible() && (w->windowFlags() & Qt::WindowStaysOnTopHint))
            found.push_back(w);
    return found;
}

// Records every message together with what was on the screen when it came.
class ScreenAtMessage : public MessageService {
public:
    struct Seen {
        int stringId;
        bool splashUp;
        size_t windowsOnTop;
    };
    explicit ScreenAtMessage(std::shared_ptr<std::vector<Seen>> seen) : m_seen(std::move(seen)) {}
    MessageResult show(const Message& message) override {
        CSuiteApp* app = CSuiteApp::instance();
        m_seen->push_back({message.stringId, app && app->splash() && app->splash()->isRunning(),
                           windowsOnTop().size()});
        return MessageResult::Ok;
    }

private:
    std::shared_ptr<std::vector<Seen>> m_seen;
};

TEST_F(StartUp, UnusableRipperLibraryShowsMessage152WithTheSplashGoneAndLogsWhy) {
    WaitService::setInstance(std::make_unique<cldtest::QuickWait>(waits));
    // No library at all; a file that is not a library; a library without the export.
    fs::create_directories(home.file("other"));
    fs::copy_file(cldtest::binDir() / "libCLDRes.so", home.file("other") / "libcldrip.so");
    fs::create_directories(home.file("broken"));
    std::ofstream(home.file("broken") / "libcldrip.so", std::ios::binary) << "not a library";
    for (const fs::path& place : {folder(), home.file("broken"), home.file("other")}) {
        SCOPED_TRACE(place.string());
        LibraryBinding binding(place.string() + "/", "libcldrip.so", "GetClassObject");
        EXPECT_EQ(binding.entry(), nullptr);
        ASSERT_FALSE(binding.errorText().empty());
        auto seen = std::make_shared<std::vector<ScreenAtMessage::Seen>>();
        MessageService::setInstance(std::make_unique<ScreenAtMessage>(seen));
        cldtest::LogCapture log;
        LauncherSeen launcher;
        CSuiteApp app(optionsFor(programFolder(), &binding, &launcher));
        EXPECT_EQ(app.run(), 1);
        ASSERT_EQ(seen->size(), 1u);
        EXPECT_EQ((*seen)[0].stringId, 152);
        // The splash had started, and went before the message came.
        ASSERT_NE(app.splash(), nullptr);
        EXPECT_FALSE((*seen)[0].splashUp);
        EXPECT_EQ((*seen)[0].windowsOnTop, 0u);
        EXPECT_FALSE(launcher.shown);
        EXPECT_TRUE(waits->empty());
        // Standard error says which file and why.
        EXPECT_TRUE(log.has(cld::LogLevel::Error, place.string() + "/libcldrip.so")) << log.text();
        EXPECT_TRUE(log.has(cld::LogLevel::Error, binding.errorText())) << log.text();
    }
    WaitService::setInstance(nullptr);
}

// Watches for a message box coming up and notes, at that moment, the windows that stay
// above it; then answers the box.
class BoxWatcher : public QObject {
public:
    QString text;
    bool splashUp = true;
    std::vector<QWidget*> above;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show && text.isEmpty()) {
            text = box->text();
            CSuiteApp* app = CSuiteApp::instance();
            splashUp = app && app->splash() && app->splash()->isRunning();
            above = windowsOnTop(box);
            QTimer::singleShot(0, box, [box] { box->accept(); });
        }
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(StartUp, TheStartUpMessageBoxComesUpWithNothingAboveIt) {
    WaitService::setInstance(std::make_unique<cldtest::QuickWait>(waits));
    MessageService::setInstance(nullptr); // the real message box
    LibraryBinding binding(folder().string() + "/", "libcldrip.so", "GetClassObject");
    BoxWatcher watcher;
    qApp->installEventFilter(&watcher);
    cldtest::LogCapture log;
    LauncherSeen launcher;
    CSuiteApp app(optionsFor(programFolder(), &binding, &launcher));
    EXPECT_EQ(app.run(), 1);
    qApp->removeEventFilter(&watcher);
    EXPECT_EQ(watcher.text, QStringLiteral("Error: Cannot initialize cldrip.dll !"));
    EXPECT_FALSE(watcher.splashUp);
    EXPECT_TRUE(watcher.above.empty());
    EXPECT_FALSE(launcher.shown);
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

// Another program holds the cache file locked: the launcher comes without waiting for it,
// the user is told once, and the cache is taken into use once the other program let go.
TEST_F(StartUp, ALockedCacheIsSaidOnceAndTakenIntoUseWhenFree) {
    WaitService::setInstance(std::make_unique<cldtest::QuickWait>(waits));
    LibraryBinding binding(cldtest::binDir().string() + "/", "libcldrip.so", "GetClassObject");
    ASSERT_NE(binding.entry(), nullptr) << binding.errorText();
    {
        // An earlier start made the cache.
        LauncherSeen first;
        CSuiteApp app(optionsFor(programFolder(), &binding, &first));
        ASSERT_EQ(app.run(), 0);
        ASSERT_TRUE(app.cacheOpen());
    }
    const fs::path cacheFile = folder() / "CDDBCache.mdb";
    auto lock = std::make_unique<cldtest::SqliteFileLock>(cacheFile.string());
    ASSERT_TRUE(lock->held());

    bool shown = false;
    bool openWhileLocked = true;
    std::size_t messagesWhileLocked = 0;
    bool timedOut = false;
    CSuiteApp::Options options;
    options.programFolder = programFolder();
    options.ripperBinding = &binding;
    options.onLauncherShown = [&](CLauncherDlg& launcher) {
        shown = launcher.isVisible();
        auto* poll = new QTimer(&launcher);
        const auto giveUp = std::chrono::steady_clock::now() + cldtest::kHangLimit;
        // giveUp is taken by value: this function returns long before the timer ends.
        QObject::connect(poll, &QTimer::timeout, &launcher, [&, poll, giveUp] {
            CSuiteApp* app = CSuiteApp::instance();
            if (lock && !messages.messages().empty()) {
                // The user has been told; now the other program lets go.
                openWhileLocked = app->cacheOpen();
                messagesWhileLocked = messages.messages().size();
                lock.reset();
            } else if (!lock && app->cacheOpen()) {
                poll->stop();
                launcher.accept();
            } else if (std::chrono::steady_clock::now() > giveUp) {
                timedOut = true;
                poll->stop();
                launcher.accept();
            }
        });
        poll->start(20);
    };
    CSuiteApp app(std::move(options));
    EXPECT_EQ(app.run(), 0);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(openWhileLocked);
    EXPECT_EQ(messagesWhileLocked, 1u);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].stringId, cld::IDS_CACHE_LOCKED);
    EXPECT_TRUE(messages.messages()[0].text.contains(QString::fromStdString(cacheFile.string())))
        << messages.messages()[0].text.toStdString();
    EXPECT_TRUE(app.cacheOpen()) << app.cache().lastError();
    // The cache was only waited for, never taken for a damaged one.
    EXPECT_TRUE(app.cache().damagedFileKeptAs().empty());
    WaitService::setInstance(nullptr);
}

TEST(Unattended, OnlyANonEmptyValueOtherThanZeroAsksForIt) {
    EXPECT_FALSE(unattendedRequested(nullptr));
    EXPECT_FALSE(unattendedRequested(""));
    EXPECT_FALSE(unattendedRequested("0"));
    EXPECT_TRUE(unattendedRequested("1"));
    EXPECT_TRUE(unattendedRequested("yes"));
    EXPECT_TRUE(unattendedRequested("00"));
    EXPECT_TRUE(unattendedRequested(" "));
    // Only "run" runs a job to its end; any other value stays at the launcher.
    EXPECT_TRUE(jobRunRequested("run"));
    for (const char* value : {static_cast<const char*>(nullptr), "", "1", "Run", "run "})
        EXPECT_FALSE(jobRunRequested(value)) << (value ? value : "(unset)");
    const double sinceStart = millisecondsSinceProcessStart();
    EXPECT_GT(sinceStart, 0);
    // The test program has run for less than a day.
    EXPECT_LT(sinceStart, 86400e3);
}

// The real program, started as a user would, answering its messages on standard error.
class ProgramRun : public StartUp {
protected:
    void SetUp() override {
        fs::create_directories(folder());
        // A first start: the media runtime installers run too.
        for (const char* f : {"CLD", "libCLDRes.so", "cld.chm", "WMFDist.exe", "WMEDist.exe"})
            fs::copy_file(cldtest::binDir() / f, folder() / f);
    }
    void addRipper() {
        fs::copy_file(cldtest::binDir() / "libcldrip.so", folder() / "libcldrip.so");
    }

    QProcess* start(const QString& platform = QStringLiteral("offscreen"),
                    const QStringList& args = {}, const QString& automation = QStringLiteral("1")) {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CLD_AUTOMATION"), automation);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        p->setProcessEnvironment(env);
        p->start(QString::fromStdString((folder() / "CLD").string()), args);
        m_processes.emplace_back(p);
        return p;
    }
    static QString finish(QProcess* p) {
        EXPECT_TRUE(p->waitForFinished(cldtest::kHangLimitMs));
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
    // The library's path and the loader's reason, which the message does not give.
    EXPECT_TRUE(err.contains(QString::fromStdString((folder() / "libcldrip.so").string()) +
                             QStringLiteral(": cannot open shared object file")))
        << err.toStdString();
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

TEST_F(ProgramRun, OnA640By480ScreenTheLauncherStaysOnTheScreen) {
    addRipper();
    const fs::path config = home.file("screen.json");
    std::ofstream(config) << R"({"screens":[{"name":"s","x":0,"y":0,"width":640,"height":480,)"
                             R"("logicalDpi":96,"logicalBpp":32,"dpr":1}]})";
    QProcess* p =
        start(QStringLiteral("offscreen:configfile=") + QString::fromStdString(config.string()));
    const QString err = finish(p);
    EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CLD launcher shown at 0,0"))) << err.toStdString();
}

TEST_F(ProgramRun, BrokenCacheFileIsKeptAsideAndSaidOnce) {
    addRipper();
    std::ofstream(folder() / "CDDBCache.mdb") << "this is not a database";
    QProcess* p = start();
    const QString err = finish(p);
    EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CLD launcher shown"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CLD message 990"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CDDBCache.mdb.damaged-"))) << err.toStdString();
    // The damaged file is still there under its new name, and the next start is quiet.
    bool keptAside = false;
    for (const auto& entry : fs::directory_iterator(folder()))
        keptAside =
            keptAside || entry.path().filename().string().rfind("CDDBCache.mdb.damaged-", 0) == 0;
    EXPECT_TRUE(keptAside);
    QProcess* again = start();
    const QString err2 = finish(again);
    EXPECT_EQ(again->exitCode(), 0) << err2.toStdString();
    EXPECT_FALSE(err2.contains(QStringLiteral("CLD message"))) << err2.toStdString();
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

// The command line, read before any window or library: usage and version on standard
// output, a line that cannot be followed on standard error with exit code 2.
TEST_F(ProgramRun, CommandLineAnswersAndRefusesBeforeStarting) {
    struct Case {
        QStringList args;
        int exitCode;
        QString out;
        QString err;
    };
    const QString mp3 = QString::fromStdString(home.file("song.mp3").string());
    std::ofstream(home.file("song.mp3")) << "not really";
    const std::vector<Case> cases{
        {{QStringLiteral("--help")}, 0, QStringLiteral("Usage: CLD [--job NAME] [FILE...]"), {}},
        {{QStringLiteral("--version")}, 0, QStringLiteral("Calderine 2002 4.05a\n"), {}},
        {{QStringLiteral("--bogus")},
         2,
         {},
         QStringLiteral("CLD: unknown option \"--bogus\"\nTry 'CLD --help'")},
        {{QStringLiteral("--job"), QStringLiteral("mp3-to-flac")},
         2,
         {},
         QStringLiteral("unknown job \"mp3-to-flac\"")},
        {{QStringLiteral("notes.txt")}, 2, {}, QStringLiteral("no job opens \"notes.txt\"")},
        // A job that exists, with a file that does not: refused before anything starts.
        {{QStringLiteral("--job"), QStringLiteral("mp3-to-wav"), mp3 + QStringLiteral(".gone")},
         2,
         {},
         QStringLiteral(".gone\": no such file or folder")},
    };
    for (const Case& c : cases) {
        // No display at all: none is needed to answer.
        QProcess* p = start(QStringLiteral("no-such-platform"), c.args);
        ASSERT_TRUE(p->waitForFinished(cldtest::kHangLimitMs));
        const QString out = QString::fromLocal8Bit(p->readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p->readAllStandardError());
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit) << c.args.join(' ').toStdString();
        EXPECT_EQ(p->exitCode(), c.exitCode) << c.args.join(' ').toStdString() << err.toStdString();
        EXPECT_TRUE(out.contains(c.out)) << out.toStdString();
        EXPECT_TRUE(err.contains(c.err)) << err.toStdString();
        if (c.exitCode == 0)
            EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        else
            EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    }
}

TEST_F(ProgramRun, AJobRunUnattendedToItsEndWritesItsFileAndEnds) {
    addRipper();
    // Half a second of a tone, made by lame, decoded by the MP3 -> WAV job as it stands.
    const fs::path wav = home.file("tone.wav");
    const fs::path mp3 = home.file("tone.mp3");
    ASSERT_EQ(std::system(("ffmpeg -loglevel error -f lavfi -i sine=d=0.5 -ac 2 -ar 44100 '" +
                           wav.string() + "' && lame --quiet '" + wav.string() + "' '" +
                           mp3.string() + "'")
                              .c_str()),
              0);
    fs::remove(wav);
    QProcess* p = start(QStringLiteral("offscreen"),
                        {QStringLiteral("--job"), QStringLiteral("mp3-to-wav"),
                         QString::fromStdString(mp3.string())},
                        QStringLiteral("run"));
    const QString err = finish(p);
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CLD job dialog shown after "))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Process completed."))) << err.toStdString();
    ASSERT_TRUE(fs::exists(wav)) << err.toStdString();
    // Half a second of sound, as a WAV file: far more than a header.
    EXPECT_GT(fs::file_size(wav), 80000u);
}

TEST_F(ProgramRun, QtsOwnOptionsDoNotDisturbTheProgram) {
    addRipper();
    QProcess* p =
        start(QStringLiteral("xcb"), {QStringLiteral("-platform"), QStringLiteral("offscreen"),
                                      QStringLiteral("-reverse")});
    const QString err = finish(p);
    EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("CLD launcher shown"))) << err.toStdString();
}

} // namespace
