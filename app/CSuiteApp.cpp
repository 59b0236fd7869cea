#include "CSuiteApp.h"

#include "AppResources.h"
#include "BuiltinResources.h"
#include "CLauncherDlg.h"
#include "CSplashThread.h"
#include "JobRegistry.h"
#include "LibraryBinding.h"
#include "MessageService.h"
#include "ProgramResources.h"
#include "ResourceIds.h"
#include "WaitService.h"
#include "cldrip/CDRipObject.h"

#include <QApplication>
#include <QDir>

namespace {

CSuiteApp* g_app = nullptr;

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

CSuiteApp::CSuiteApp() : CSuiteApp(Options{}) {}

CSuiteApp::CSuiteApp(Options options)
    : m_options(std::move(options)), m_settings(SettingsRecord::kDefaultAppName) {
    g_app = this;
}

CSuiteApp::~CSuiteApp() {
    // Reverse order of what start-up built: the ripper object, the cache (disconnected
    // and compacted), then the resources.
    releaseRipObject();
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

    // 4. The built-in language: the program's own strings and pictures, and the picture
    // library beside it. A missing picture library only leaves buttons without pictures.
    m_cldRes.load(m_programFolder);
    AppResources::setSource(std::make_unique<BuiltinResources>(&CldProgramResource, &m_cldRes));

    // 7. The media runtime step runs only while "Components"/"WMFRedist" is 0; the
    // runtime here is the system's own media libraries, so there is nothing to install.
    m_settings.LoadComponents();

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

    // 10. Let the splash be seen.
    WaitService::instance().waitAndPump(kSplashWaitMs);

    // 11. Settings and the genre list.
    m_settings.LoadSettings();
    m_genres.buildGenreList();

    // 12. The CD information cache; the program runs without it when it cannot be opened.
    const std::filesystem::path cacheFile =
        cdCacheFilePath(std::filesystem::path(m_programFolder.toStdString()));
    m_cacheOpen = m_cache.open(kCdCacheDataSource, cacheFile.string(), kCdCacheDescription);

    // 13. The drive settings for the options and grab dialogs.
    m_driveSettings = m_ripObject->GetDriveSettings();

    // 14. The launcher, modal, as the main window. It closes the splash itself. Every job
    // gets what it needs from the program through one context.
    m_jobContext = std::make_unique<JobContext>(m_settings, m_genres);
    m_jobContext->cache = m_cacheOpen ? &m_cache : nullptr;
    m_jobContext->ripObject = m_ripObject;
    m_jobContext->driveSettings = m_driveSettings;
    m_jobContext->programFolder = m_programFolder;
    registerJobs(m_commands);
    CLauncherDlg::Context context;
    context.helpFolder = m_programFolder;
    context.commands = m_commands;
    context.jobContext = m_jobContext.get();
    context.splash = m_splash.get();
    CLauncherDlg launcher(std::move(context));
    waitCursor.release();
    launcher.show();
    launcher.raise();
    launcher.activateWindow();
    if (m_options.onLauncherShown)
        m_options.onLauncherShown(launcher);
    launcher.exec();

    // 15. The launcher is gone: the program ends.
    return 0;
}
