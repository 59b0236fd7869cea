// cld_screenshots PROGRAM_FOLDER OUTDIR
//
// Shows each window of the program's frame in turn and saves a picture of the whole
// screen for it: splash.png, launcher_audio.png, launcher_hover.png, launcher_focus.png,
// launcher_video.png, about.png, help.png; and the launcher window alone, as the software
// centre shows it (launcher.png, the metainfo's screenshot).
#include "AppResources.h"
#include "BuiltinResources.h"
#include "CAboutDlg.h"
#include "CImageButton.h"
#include "CLDResLibrary.h"
#include "CLauncherDlg.h"
#include "CSplashThread.h"
#include "GenreList.h"
#include "JobContext.h"
#include "ProgramResources.h"
#include "ResourceIds.h"
#include "SettingsRecord.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEnterEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>

namespace {

QString g_outDir;

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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
    AppResources::setSource(std::make_unique<BuiltinResources>(&CldProgramResource, &pictures));

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
    AppResources::setSource(nullptr);
    return ok ? 0 : 1;
}
