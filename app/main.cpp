#include "CLauncherDlg.h"
#include "CSuiteApp.h"
#include "MessageService.h"
#include "ProductIdentity.h"
#include "Unattended.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

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
            return MessageResult::Cancel;
        case MessageButtons::YesNo:
            break;
        }
        return MessageResult::No;
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(cld::identity::kProgramName));
    QApplication::setApplicationDisplayName(QString::fromUtf8(cld::identity::kProduct));

    // The program reads no command-line arguments.
    CSuiteApp::Options options;
    if (unattendedRequested(std::getenv("CLD_AUTOMATION"))) {
        MessageService::setInstance(std::make_unique<EchoMessageService>());
        options.onLauncherShown = [](CLauncherDlg& launcher) {
            std::fprintf(stderr, "CLD launcher shown at %d,%d\n", launcher.x(), launcher.y());
            QTimer::singleShot(0, &launcher, [&launcher] { launcher.accept(); });
        };
    }
    CSuiteApp suite(std::move(options));
    return suite.run();
}
