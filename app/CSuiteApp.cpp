#include "CSuiteApp.h"

#include "AppResources.h"
#include "BuiltinResources.h"
#include "CLauncherDlg.h"
#include "CSplashThread.h"
#include "CWMFRedistWaitDlg.h"
#include "JobRegistry.h"
#include "LanguageResources.h"
#include "LibraryBinding.h"
#include "Log.h"
#include "MessageService.h"
#include "ProductIdentity.h"
#include "ProgramResources.h"
#include "ResourceIds.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WaitService.h"
#include "WmRuntimeInstaller.h"
#include "cldrip/CDRipObject.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

CSuiteApp* g_app = nullptr;

// The pause between two tries to open a cache another program holds locked.
constexpr std::chrono::seconds kCacheRetryPause(2);

// Keeps the wait cursor up for the whole start-up and takes it down on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { release(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void release() {
        if (m_active) {
            QApplication::restoreOverrideCursor();
            m_active = false;
        }
    }

private:
    bool m_active = true;
};

} // namespace

struct CSuiteApp::CacheRetry {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
};

CSuiteApp::CSuiteApp() : CSuiteApp(Options{}) {}

CSuiteApp::CSuiteApp(Options options)
    : m_options(std::move(options)), m_settings(SettingsRecord::kDefaultAppName) {
    g_app = this;
    // The language manager finds the language libraries beside the program and the user's
    // choice before start-up runs.
    std::string folder = m_options.programFolder.isEmpty() ? LibraryBinding::programFolder()
                                                           : m_options.programFolder.toStdString();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    m_languages =
        std::make_unique<cld::LanguageManager>(folder, cld::identity::kProgramName, "English");
}

CSuiteApp::~CSuiteApp() {
    // Reverse order of what start-up built: the ripper object, the cache (disconnected
    // and compacted), then the resources.
    releaseRipObject();
    stopCacheRetry();
    if (m_cacheOpen)
        m_cache.close();
    m_splash.reset();
    AppResources::setSource(nullptr);
    if (g_app == this)
        g_app = nullptr;
}

CSuiteApp* CSuiteApp::instance() {
    return g_app;
}

void CSuiteApp::startupMessage(int stringId) {
    // The splash stays on top of every window: a message under it would never be seen,
    // and the program would seem to hang. It goes before any start-up message.
    if (m_splash)
        m_splash->Close();
    MessageService::message(stringId, MessageIcon::Error);
}

int CSuiteApp::run() {
    // 1. The wait cursor for the whole sequence.
    WaitCursor waitCursor;

    // 6 (needed first here: the picture library and the logo sit in the program folder).
    m_programFolder = m_options.programFolder.isEmpty()
                          ? QString::fromStdString(LibraryBinding::programFolder())
                          : m_options.programFolder;
    if (!m_programFolder.endsWith(QLatin1Char('/')))
        m_programFolder += QLatin1Char('/');
    m_settings.setProgramFolder(m_programFolder.toStdString());

    // 4. The chosen language: its library's texts and pictures, with the program's own
    // (and the picture library beside it) for anything it lacks. A missing picture library
    // only leaves buttons without pictures.
    m_cldRes.load(m_programFolder);
    auto builtin = std::make_unique<BuiltinResources>(&cldProgramResource, &m_cldRes);
    if (m_languages->LoadChosenLanguage())
        AppResources::setSource(std::make_unique<cld::LanguageResources>(
            m_languages->libraryHandle(), std::move(builtin)));
    else
        AppResources::setSource(std::move(builtin));

    // 7. The media runtime step, until it has succeeded once.
    m_settings.loadComponents();
    if (m_settings.wmfRedist() == 0 && !installMediaRuntime())
        return 1;

    // 8. The splash.
    m_splash = std::make_unique<CSplashThread>(m_programFolder);
    m_splash->SetImage(QString::fromLatin1(cld::kPngType), cld::IDPNG_SPLASH);
    if (!m_splash->Start())
        return 1;

    // 9. The ripper object.
    if (!createRipObject()) {
        waitCursor.release();
        startupMessage(cld::IDS_RIPPER_INIT_FAILED);
        return 1;
    }

    // 10. Let the splash be seen (a job started from the command line does not wait for it).
    if (!m_options.jobStart)
        WaitService::instance().waitAndPump(kSplashWaitMs);

    // 11. Settings and the genre list.
    m_settings.LoadSettings();
    m_genres.buildGenreList();

    // 12. The CD information cache; the program runs without it when it cannot be opened.
    const std::filesystem::path cacheFile =
        cdCacheFilePath(std::filesystem::path(m_programFolder.toStdString()));
    // A cache file another program holds locked is not waited for: the program starts
    // without it, says so once, and takes it over when a try in the background succeeds.
    m_cacheOpen = m_cache.open(kCdCacheDataSource, cacheFile.string(), kCdCacheDescription);
    const bool cacheLocked = !m_cacheOpen && m_cache.lockedAtOpen();
    if (cacheLocked) {
        cld::logf(cld::LogLevel::Warning,
                  "The CD information cache \"%s\" is locked by another program; the program "
                  "starts without it and opens it once it is free: %s",
                  cacheFile.string().c_str(), m_cache.lastError().c_str());
        startCacheRetry(cacheFile.string());
    }

    // 13. The drive settings for the options and grab dialogs.
    m_driveSettings = m_ripObject->GetDriveSettings();

    // 14. The launcher, modal, as the main window. It closes the splash itself. Every job
    // gets what it needs from the program through one context.
    m_jobContext = std::make_unique<JobContext>(m_settings, m_genres);
    m_jobContext->cache = m_cacheOpen ? &m_cache : nullptr;
    m_jobContext->ripObject = m_ripObject;
    m_jobContext->driveSettings = m_driveSettings;
    m_jobContext->programFolder = m_programFolder;
    registerJobs(m_commands, m_languages.get());
    CLauncherDlg::Context context;
    // Help comes from the chosen language's folder when it holds a help file, else from
    // the program's.
    const QString languageFolder = QString::fromStdString(m_languages->LanguageFolder());
    context.helpFolder =
        !languageFolder.isEmpty() && QFileInfo::exists(languageFolder + QStringLiteral("cld.chm"))
            ? languageFolder
            : m_programFolder;
    context.commands = m_commands;
    context.jobContext = m_jobContext.get();
    context.splash = m_splash.get();
    CLauncherDlg launcher(std::move(context));
    waitCursor.release();
    launcher.show();
    launcher.raise();
    launcher.activateWindow();
    // A damaged cache file was put aside and a new cache started: say so once, over the
    // launcher (the next start finds a good cache and says nothing).
    if (m_cacheOpen && !m_cache.damagedFileKeptAs().empty()) {
        const QString keptAs = QString::fromStdString(m_cache.damagedFileKeptAs());
        QTimer::singleShot(0, &launcher, [&launcher, keptAs] {
            MessageService::message(cld::IDS_CACHE_DAMAGED, MessageIcon::Exclamation,
                                    MessageButtons::Ok, &launcher, keptAs);
        });
    }
    if (cacheLocked) {
        const QString file = QString::fromStdString(cacheFile.string());
        QTimer::singleShot(0, &launcher, [&launcher, file] {
            MessageService::message(cld::IDS_CACHE_LOCKED, MessageIcon::Exclamation,
                                    MessageButtons::Ok, &launcher, file);
        });
    }
    if (m_options.onLauncherShown)
        m_options.onLauncherShown(launcher);
    launcher.exec();
    stopCacheRetry();

    // 15. The launcher is gone: the program ends.
    return 0;
}

bool CSuiteApp::installMediaRuntime() {
    cld::CWMFRedistWaitDlg wait;
    wait.show();
    WaitService::instance().pump();
    cld::WmRuntimeInstaller installer(m_programFolder.toStdString());
    if (!installer.InstallWindowsMediaRuntime())
        return false;
    m_settings.setWmfRedist(1);
    return true;
}

void CSuiteApp::startCacheRetry(const std::string& cacheFile) {
    m_cacheRetry = std::make_unique<CacheRetry>();
    CacheRetry* retry = m_cacheRetry.get();
    // Calls posted to it go with it: none reaches an application object that has gone.
    m_cacheContext = std::make_unique<QObject>();
    QObject* context = m_cacheContext.get();
    retry->thread = std::thread([this, retry, cacheFile, context] {
        for (;;) {
            {
                std::unique_lock lock(retry->mutex);
                if (retry->wake.wait_for(lock, kCacheRetryPause, [retry] { return retry->stop; }))
                    return;
            }
            // Only this thread uses the cache until the user-interface thread took it over.
            if (m_cache.open(kCdCacheDataSource, cacheFile, kCdCacheDescription))
                break;
            if (!m_cache.lockedAtOpen()) {
                cld::logf(cld::LogLevel::Warning,
                          "The CD information cache cannot be opened; the program goes on "
                          "without it: %s",
                          m_cache.lastError().c_str());
                return;
            }
        }
        // The context lives until this thread was joined.
        QMetaObject::invokeMethod(
            context, [this] { takeOverCache(); }, Qt::QueuedConnection);
    });
}

void CSuiteApp::takeOverCache() {
    // The retry thread has ended its work with the cache open; it only has to be joined.
    stopCacheRetry();
    if (!m_cacheOpen)
        return;
    if (m_jobContext)
        m_jobContext->cache = &m_cache;
    cld::logf(cld::LogLevel::Info, "The CD information cache is free again and in use.");
}

void CSuiteApp::stopCacheRetry() {
    if (!m_cacheRetry)
        return;
    {
        std::lock_guard lock(m_cacheRetry->mutex);
        m_cacheRetry->stop = true;
    }
    m_cacheRetry->wake.notify_all();
    if (m_cacheRetry->thread.joinable())
        m_cacheRetry->thread.join();
    m_cacheRetry.reset();
    // A cache the thread opened belongs to the program from now on (and is closed at its
    // end), whether or not its call to take it over has come.
    if (!m_cacheOpen && m_cache.isConnected())
        m_cacheOpen = true;
}
