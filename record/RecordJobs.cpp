#include "RecordJobs.h"

#include "CMIC2MP3ProgressDlg.h"
#include "CMIC2MP3SettingsDlg.h"
#include "CMIC2WMAProgressDlg.h"
#include "CMIC2WMASettingsDlg.h"
#include "Mp3RecorderEngine.h"
#include "WmaRecorderEncoder.h"

void runMp3Recorder(JobContext& context, QWidget* launcher) {
    CMIC2MP3SettingsDlg settings(context, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CMIC2MP3ProgressDlg recorder(context, cld::Mp3RecorderEngine::Instance(),
                                 settings.chosenDevice(), settings.chosenDeviceName(), launcher);
    recorder.exec();
}

void runWmaRecorder(JobContext& context, QWidget* launcher) {
    CMIC2WMASettingsDlg settings(context, launcher);
    if (settings.exec() != QDialog::Accepted) {
        cld::WmaRecorderEncoder::Release();
        return;
    }
    CMIC2WMAProgressDlg recorder(context, settings.chosenDeviceUrl(), launcher);
    recorder.exec();
}
