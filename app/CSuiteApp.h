#pragma once

#include "CLDResLibrary.h"
#include "CdCacheDatabase.h"
#include "GenreList.h"
#include "JobCommands.h"
#include "JobContext.h"
#include "LanguageManager.h"
#include "SettingsRecord.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class CDRipDriveSettings;
class CDRipObject;
class CLauncherDlg;
class CSplashThread;
class LibraryBinding;

// The application object: runs the start-up sequence, shows the launcher until it is
// closed, and holds what the whole program shares (settings, genre list, CD cache, the
// ripper object and its drive settings) for the life of the process.
class CSuiteApp {
public:
    struct Options {
        // Folder of the program (with "/"); empty means the running program's own.
        QString programFolder;
        // The ripper library's binding; null means the process-wide one.
        LibraryBinding* ripperBinding = nullptr;
        // Called with the launcher once it is shown, before its modal loop runs (tests).
        std::function<void(CLauncherDlg&)> onLauncherShown;
        // A start for a job named on the command line: the splash is not held on screen,
        // the job's first dialog comes as soon as the program is ready.
        bool jobStart = false;
    };

    CSuiteApp();
    explicit CSuiteApp(Options options);
    ~CSuiteApp();
    CSuiteApp(const CSuiteApp&) = delete;
    CSuiteApp& operator=(const CSuiteApp&) = delete;

    // Runs the start-up sequence and the launcher; returns the process exit code: 0 after
    // the launcher closed, 1 when start-up could not complete.
    int run();

    // The one application object while it exists.
    static CSuiteApp* instance();

    SettingsRecord& settings() { return m_settings; }
    const GenreList& genres() const { return m_genres; }
    CdCacheDatabase& cache() { return m_cache; }
    bool cacheOpen() const { return m_cacheOpen; }
    const QString& programFolder() const { return m_programFolder; }
    // The ripper library's grab object and its drive-settings interface (or null).
    CDRipObject* ripObject() const { return m_ripObject; }
    CDRipDriveSettings* driveSettings() const { return m_driveSettings; }
    JobCommands& commands() { return m_commands; }
    CSplashThread* splash() const { return m_splash.get(); }
    // The installed languages and the user's choice (the options dialog lists and changes
    // it; a new choice takes effect at the next start).
    cld::LanguageManager& languages() { return *m_languages; }

    // How long the splash stays up before the settings are loaded.
    static constexpr int kSplashWaitMs = 1200;

private:
    bool createRipObject();
    // Shows a start-up error message (error icon), after the splash has gone.
    void startupMessage(int stringId);
    void releaseRipObject();

    // Runs the media runtime step while it has not succeeded once; false ends start-up.
    bool installMediaRuntime();
    // Tries to open the cache in a thread of its own until it is free (or the program
    // ends); the user-interface thread takes it over once it is open.
    void startCacheRetry(const std::string& cacheFile);
    void stopCacheRetry();
    void takeOverCache();

    Options m_options;
    SettingsRecord m_settings;
    QString m_programFolder;
    std::unique_ptr<cld::LanguageManager> m_languages;
    CLDResLibrary m_cldRes;
    std::unique_ptr<CSplashThread> m_splash;
    CdCacheDatabase m_cache;
    bool m_cacheOpen = false;
    struct CacheRetry;
    std::unique_ptr<CacheRetry> m_cacheRetry;
    std::unique_ptr<QObject> m_cacheContext;
    GenreList m_genres;
    JobCommands m_commands;
    CDRipObject* m_ripObject = nullptr;
    CDRipDriveSettings* m_driveSettings = nullptr;
    std::unique_ptr<JobContext> m_jobContext;
};
