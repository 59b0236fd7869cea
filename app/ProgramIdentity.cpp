#include "ProgramIdentity.h"

#include "DialogPolish.h"
#include "ProductIdentity.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <fcntl.h>
#include <unistd.h>

namespace cld {

void setUpApplication(QApplication& app) {
    QApplication::setApplicationName(QString::fromUtf8(identity::kProgramName));
    QGuiApplication::setDesktopFileName(QString::fromUtf8(identity::kDesktopId));
    installDialogPolish(&app);
}

StartFacts currentStartFacts() {
    StartFacts facts;
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (::isatty(fd) == 1)
            facts.anyStandardStreamIsTerminal = true;
    // Opening /dev/tty succeeds exactly when the process has a controlling terminal.
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) {
        facts.hasControllingTerminal = true;
        ::close(tty);
    }
    return facts;
}

bool usageErrorNeedsBox(const StartFacts& start, const char* display, const char* waylandDisplay,
                        const char* qpaPlatform) {
    if (start.anyStandardStreamIsTerminal || start.hasControllingTerminal)
        return false;
    const auto set = [](const char* value) { return value && *value; };
    // Only the desktop's own platforms put a window before a user; any other (offscreen,
    // minimal, a misspelt one) could not show the box or could not even start.
    if (set(qpaPlatform)) {
        const std::string platform = qpaPlatform;
        if (platform == "xcb")
            return set(display);
        if (platform.rfind("wayland", 0) == 0)
            return set(waylandDisplay);
        return false;
    }
    return set(display) || set(waylandDisplay);
}

void showUsageErrorBox(int argc, char** argv, const std::string& text) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(identity::kProgramName));
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(identity::kProduct),
                    QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok);
    box.exec();
}

} // namespace cld
