#include "JobRegistry.h"

#include "COptionsDlg.h"
#include "CSuiteApp.h"
#include "GrabCommands.h"
#include "JobCommands.h"
#include "RecordJobs.h"
#include "VideoJobs.h"

namespace {

// The languages the options dialog offers: those the application found beside the program
// (the built-in one alone when there is no application object).
LanguageChoice installedLanguages() {
    CSuiteApp* app = CSuiteApp::instance();
    if (!app)
        return COptionsDlg::builtinLanguages();
    cld::LanguageManager& languages = app->languages();
    LanguageChoice choice;
    for (const std::string& name : languages.displayNames())
        choice.names << QString::fromStdString(name);
    choice.current = languages.currentIndex();
    choice.select = [&languages](int index) { languages.SelectLanguage(index); };
    return choice;
}

} // namespace

// The one place that names every job: each job folder offers one command, registered
// here under its launcher button's control id.
void registerJobs(JobCommands& commands) {
    commands.set(1005, runCdToWav);
    commands.set(57671, [](JobContext& context, QWidget* launcher) {
        runOptionsCommand(context, launcher, installedLanguages());
    });
    commands.set(1006, RunWmaRecorder);
    commands.set(1007, RunMp3Recorder);
    commands.set(1012, runAVI2WMVJob);
    commands.set(1013, runCapture2WMVJob);
}
