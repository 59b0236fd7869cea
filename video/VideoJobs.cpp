#include "VideoJobs.h"

#include "CAVI2WMVProgressDlg.h"
#include "CAVI2WMVSettingsDlg.h"
#include "CCapture2WMVProgressDlg.h"
#include "CCapture2WMVSettingsDlg.h"

void runAviToWmv(JobContext& context, QWidget* launcher) {
    CAVI2WMVSettingsDlg settings(context, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CAVI2WMVProgressDlg progress(context, launcher);
    progress.exec();
}

void runCaptureToWmv(JobContext& context, QWidget* launcher) {
    CCapture2WMVSettingsDlg settings(context, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CCapture2WMVProgressDlg progress(context, launcher);
    progress.exec();
}
