// cld_screenshots PROGRAM_FOLDER OUTDIR
//
// Shows each window of the program's frame in turn and saves a picture of the whole
// screen for it: splash.png, launcher_audio.png, launcher_hover.png, launcher_focus.png,
// launcher_video.png, about.png, help.png; and the launcher window alone, as the software
// centre shows it (launcher.png, the metainfo's screenshot). Then every dialog of every job,
// in English and under the German library, each window alone: dialogs/en/NAME.png and
// dialogs/de/NAME.png (with launcher_audio.png and launcher_video.png in each language).
#include "AppResources.h"
#include "BuiltinResources.h"
#include "CAboutDlg.h"
#include "CHelpViewer.h"
#include "CImageButton.h"
#include "CLDResLibrary.h"
#include "CLauncherDlg.h"
#include "CSplashThread.h"
#include "DialogGallery.h"
#include "DialogPolish.h"
#include "GenreList.h"
#include "JobContext.h"
#include "LanguageResources.h"
#include "MessageService.h"
#include "ProgramResources.h"
#include "ResourceIds.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEnterEvent>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QWindow>
#include <cstdio>
#include <dlfcn.h>

namespace {

QString g_outDir;

class QuietMessages : public MessageService {
public:
    MessageResult show(const Message& message) override {
        std::fprintf(stderr, "message %d: %s\n", message.stringId, qPrintable(message.text));
        return message.buttons == MessageButtons::Ok ? MessageResult::Ok : MessageResult::Cancel;
    }
};

void settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(25);
    }
}

bool shoot(const QString& name) {
    settle();
    const QString file = QDir(g_outDir).filePath(name);
    // ImageMagick's import photographs the X screen as the user sees it, window shapes
    // included; without it the screen is grabbed through Qt.
    const QString import = QStandardPaths::findExecutable(QStringLiteral("import"));
    bool ok = false;
    if (!import.isEmpty())
        ok = QProcess::execute(import, {QStringLiteral("-window"), QStringLiteral("root"), file}) ==
             0;
    if (!ok && QGuiApplication::primaryScreen())
        ok = QGuiApplication::primaryScreen()->grabWindow(0).save(file);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(file));
    return ok;
}

// Saves a picture of one window, as the screen shows it.
bool shootWindow(QWidget* window, const QString& file) {
    settle();
    QDir().mkpath(QFileInfo(file).absolutePath());
    QPixmap shot;
    if (QScreen* screen = window->screen())
        shot = screen->grabWindow(window->winId());
    if (shot.isNull())
        shot = window->grab();
    const bool ok = shot.save(file);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(file));
    return ok;
}

// Every dialog in the current language, then the launcher's two panels.
bool shootDialogs(const QString& language, JobContext& jobs, CLauncherDlg& launcher) {
    bool ok = true;
    const QString folder = QDir(g_outDir).filePath(QStringLiteral("dialogs/") + language);
    for (const cld::DialogGallery::Entry& entry : cld::DialogGallery::entries()) {
        std::unique_ptr<QDialog> dialog = entry.make(jobs, nullptr);
        dialog->installEventFilter(new cld::HoldQueuedWork(dialog.get()));
        dialog->show();
        dialog->raise();
        ok &= shootWindow(dialog.get(),
                          folder + QLatin1Char('/') + entry.name + QStringLiteral(".png"));
        dialog->hide();
    }
    launcher.showAudioPanel();
    ok &= shootWindow(&launcher, folder + QStringLiteral("/launcher_audio.png"));
    launcher.showVideoPanel();
    ok &= shootWindow(&launcher, folder + QStringLiteral("/launcher_video.png"));
    launcher.showAudioPanel();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    cld::installDialogPolish(&app);
    if (argc != 3) {
        std::fprintf(stderr, "usage: cld_screenshots PROGRAM_FOLDER OUTDIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    g_outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(g_outDir);

    CLDResLibrary pictures;
    if (!pictures.load(folder))
        std::fprintf(stderr, "cld_screenshots: %s\n", qPrintable(pictures.errorText()));
    AppResources::setSource(std::make_unique<BuiltinResources>(&cldProgramResource, &pictures));

    // The pointer rests in a corner so that no button lights up by accident.
    QCursor::setPos(0, 0);
    bool ok = true;
    CSplashThread splash(folder);
    splash.SetImage(QString::fromLatin1(cld::kPngType), cld::IDPNG_SPLASH);
    splash.Start();
    ok &= shoot(QStringLiteral("splash.png"));

    SettingsRecord settings;
    GenreList genres;
    JobContext jobs{settings, genres};
    CLauncherDlg::Context context;
    context.helpFolder = folder;
    context.splash = &splash;
    context.jobContext = &jobs;
    // Show every job as available so the pictures are the ones a full build shows.
    for (const auto& entry : CLauncherDlg::buttonTable())
        context.commands.set(entry.id, [](JobContext&, QWidget*) {});
    CLauncherDlg launcher(std::move(context));
    launcher.show();
    ok &= shoot(QStringLiteral("launcher_audio.png"));

    CImageButton* hovered = launcher.button(cld::IDC_MIC2WMA);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(hovered, &enter);
    ok &= shoot(QStringLiteral("launcher_hover.png"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(hovered, &leave);

    // The launcher window alone, for the metainfo's screenshot.
    settle();
    const QString windowShot = QDir(g_outDir).filePath(QStringLiteral("launcher.png"));
    const bool savedWindow = launcher.grab().save(windowShot);
    std::printf("%s %s\n", savedWindow ? "saved" : "FAILED", qPrintable(windowShot));
    ok &= savedWindow;

    // The keyboard's focus ring on a job button.
    launcher.activateWindow();
    launcher.button(cld::IDC_CD2MP3)->setFocus(Qt::TabFocusReason);
    ok &= shoot(QStringLiteral("launcher_focus.png"));
    launcher.button(cld::IDC_CD2MP3)->clearFocus();

    launcher.showVideoPanel();
    ok &= shoot(QStringLiteral("launcher_video.png"));
    launcher.showAudioPanel();

    CAboutDlg about(&launcher);
    about.show();
    ok &= shoot(QStringLiteral("about.png"));
    about.hide();

    launcher.openHelp();
    ok &= shoot(QStringLiteral("help.png"));
    if (launcher.helpViewer())
        launcher.helpViewer()->hide();

    // The dialogs, in English and in German. Messages (a missing device, no profile) only
    // go to the terminal, so nothing waits for a click.
    MessageService::setInstance(std::make_unique<QuietMessages>());
    ok &= shootDialogs(QStringLiteral("en"), jobs, launcher);
    launcher.hide();
    void* german = dlopen(qPrintable(folder + QStringLiteral("/German/libCLD_German.so")),
                          RTLD_NOW | RTLD_LOCAL);
    if (german) {
        AppResources::setSource(std::make_unique<cld::LanguageResources>(
            german, std::make_unique<BuiltinResources>(&cldProgramResource, &pictures)));
        CLauncherDlg::Context germanContext;
        germanContext.helpFolder = folder;
        germanContext.jobContext = &jobs;
        for (const auto& entry : CLauncherDlg::buttonTable())
            germanContext.commands.set(entry.id, [](JobContext&, QWidget*) {});
        CLauncherDlg germanLauncher(std::move(germanContext));
        germanLauncher.show();
        ok &= shootDialogs(QStringLiteral("de"), jobs, germanLauncher);
    } else {
        std::fprintf(stderr, "cld_screenshots: no German library: %s\n", dlerror());
        ok = false;
    }
    AppResources::setSource(nullptr);
    return ok ? 0 : 1;
}
