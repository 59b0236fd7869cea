#include "CLauncherDlg.h"
#include "CSuiteApp.h"
#include "CommandLine.h"
#include "JobCommands.h"
#include "JobRegistry.h"
#include "MessageService.h"
#include "ProductIdentity.h"
#include "ProgramIdentity.h"
#include "Unattended.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// For unattended runs (CLD_AUTOMATION set to anything but "0"): every message goes to standard
// error and is answered with its safe choice (OK, Cancel or No), and the launcher closes as soon as
// it has appeared.
class EchoMessageService : public MessageService {
public:
    MessageResult show(const Message& message) override {
        std::fprintf(stderr, "CLD message %d (icon %d): %s\n", message.stringId,
                     static_cast<int>(message.icon), qPrintable(message.text));
        switch (message.buttons) {
        case MessageButtons::Ok:
            return MessageResult::Ok;
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel:
        case MessageButtons::ReplaceKeepBothCancel:
            return MessageResult::Cancel;
        case MessageButtons::YesNo:
            break;
        }
        return MessageResult::No;
    }
};

int usageError(int argc, char** argv, const std::string& program, const std::string& text) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program.c_str(),
                 text.c_str(), program.c_str());
    // Started from a file manager or a menu, nobody reads standard error.
    if (cld::usageErrorNeedsBox(cld::currentStartFacts(), std::getenv("DISPLAY"),
                                std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM")) &&
        !unattendedRequested(std::getenv("CLD_AUTOMATION")))
        cld::showUsageErrorBox(argc, argv, program + ": " + text);
    return cld::kUsageExitCode;
}

} // namespace

int main(int argc, char** argv) {
    // A peer that goes away (an X server, a CDDB server, an encoder child) must end only
    // that write with EPIPE, never the whole program.
    std::signal(SIGPIPE, SIG_IGN);
    // The command line is read before Qt starts, so that --help and --version work without a
    // display. Qt's own options are left for QApplication.
    const std::string program = cld::identity::kProgramName;
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const cld::CommandLine line = cld::parseCommandLine(args);
    switch (line.action) {
    case cld::CommandLine::Action::Help:
        std::fputs(cld::usageText(program).c_str(), stdout);
        return 0;
    case cld::CommandLine::Action::Version:
        std::fputs(cld::versionText().c_str(), stdout);
        return 0;
    case cld::CommandLine::Action::Error:
        return usageError(argc, argv, program, line.error);
    case cld::CommandLine::Action::Run:
        break;
    }
    if (line.job) {
        JobCommands commands;
        registerJobs(commands);
        if (!commands.has(line.job->controlId))
            return usageError(argc, argv, program,
                              std::string("the job ") + line.job->name +
                                  " is not available in this version of " +
                                  cld::identity::kProduct);
        if (const std::string missing = cld::firstMissingFile(line.files); !missing.empty())
            return usageError(argc, argv, program, "\"" + missing + "\": no such file or folder");
    }

    QApplication app(argc, argv);
    cld::setUpApplication(app);

    CSuiteApp::Options options;
    QStringList files;
    for (const std::string& file : line.files)
        files << QFileInfo(QString::fromLocal8Bit(file.c_str())).absoluteFilePath();
    const cld::CommandLineJob* job = line.job;
    const char* automation = std::getenv("CLD_AUTOMATION");
    if (job && jobRunRequested(automation)) {
        // A job run to its end unattended (for scripts and benchmarks): its first dialog is
        // confirmed as it stands once it is shown, every message is answered with its safe
        // choice, and the program ends when the job's dialog has closed.
        MessageService::setInstance(std::make_unique<EchoMessageService>());
        options.jobStart = true;
        const int controlId = job->controlId;
        options.onLauncherShown = [controlId, files](CLauncherDlg& launcher) {
            QTimer::singleShot(0, &launcher, [&launcher, controlId, files] {
                QTimer::singleShot(0, &launcher, [] {
                    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                    std::fprintf(stderr, "CLD job dialog %s after %.0f ms\n",
                                 dialog ? "shown" : "not shown", millisecondsSinceProcessStart());
                    if (dialog)
                        dialog->accept();
                });
                launcher.openJob(controlId, files);
                launcher.accept();
            });
        };
    } else if (unattendedRequested(automation)) {
        MessageService::setInstance(std::make_unique<EchoMessageService>());
        options.onLauncherShown = [job, files](CLauncherDlg& launcher) {
            std::fprintf(stderr, "CLD launcher shown at %d,%d\n", launcher.x(), launcher.y());
            // A job's dialogs wait for a user, so an unattended run only says which job the
            // command line reached.
            if (job)
                std::fprintf(stderr, "CLD job %s (control %d) with %lld file(s)\n", job->name,
                             job->controlId, static_cast<long long>(files.size()));
            QTimer::singleShot(0, &launcher, [&launcher] { launcher.accept(); });
        };
    } else if (job) {
        options.jobStart = true;
        const int controlId = job->controlId;
        options.onLauncherShown = [controlId, files](CLauncherDlg& launcher) {
            QTimer::singleShot(0, &launcher, [&launcher, controlId, files] {
                launcher.openJob(controlId, files);
            });
        };
    }
    CSuiteApp suite(std::move(options));
    return suite.run();
}
