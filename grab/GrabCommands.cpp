#include "GrabCommands.h"

#include "CCDGrabDlg.h"
#include "JobContext.h"
#include "MessageService.h"

namespace {

bool runGrabber(JobContext& context, QWidget* launcher, bool wavTarget) {
    if (!context.ripObject) {
        // Without the ripper library there is no drive to list.
        MessageService::message(152, MessageIcon::Error, MessageButtons::Ok, launcher);
        return false;
    }
    CCDGrabDlg dialog(context, wavTarget, launcher);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace

void runCdToWav(JobContext& context, QWidget* launcher) {
    runGrabber(context, launcher, true);
}

bool runCdGrabberForEncoding(JobContext& context, QWidget* launcher) {
    return runGrabber(context, launcher, false);
}
