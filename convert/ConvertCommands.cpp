#include "ConvertCommands.h"

#include "CDecode2WAVDlg.h"
#include "CEncoderProgressDlg.h"
#include "CFolder2MP3SettingsDlg.h"
#include "CFolder2WMASettingsDlg.h"
#include "CMP3EncoderProgressDlg.h"
#include "CMP3SettingsDlg.h"
#include "CWMASettingsDlg.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "WmEncoderControl.h"

namespace {

// A CD job reads the tracks the grabber chose, named as it left them.
cld::engine::JobSpec cdJob(const JobContext& context) {
    cld::engine::JobSpec job;
    job.mode = cld::engine::JobMode::CdEncode;
    job.disc = context.grabSelection;
    return job;
}

cld::engine::JobSpec fileJob(cld::engine::JobMode mode) {
    cld::engine::JobSpec job;
    job.mode = mode;
    return job;
}

} // namespace

void runFolderToMp3(JobContext& context, QWidget* launcher) {
    cld::engine::JobSpec params = fileJob(cld::engine::JobMode::FolderEncode);
    CFolder2MP3SettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CMP3EncoderProgressDlg progress(context, params, launcher);
    progress.exec();
}

void runFolderToWma(JobContext& context, QWidget* launcher) {
    cld::engine::JobSpec params = fileJob(cld::engine::JobMode::FolderEncode);
    CFolder2WMASettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CEncoderProgressDlg progress(context, params, settings.takeEncoder(), launcher);
    progress.exec();
}

void runMp3ToWav(JobContext& context, QWidget* launcher) {
    cld::engine::JobSpec params = fileJob(cld::engine::JobMode::FolderDecode);
    CDecode2WAVDlg settings(context, params, CDecode2WAVDlg::Source::Mp3, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CMP3EncoderProgressDlg progress(context, params, launcher);
    progress.exec();
}

void runWmaToWav(JobContext& context, QWidget* launcher) {
    cld::engine::JobSpec params = fileJob(cld::engine::JobMode::FolderDecode);
    CDecode2WAVDlg settings(context, params, CDecode2WAVDlg::Source::Wma, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CEncoderProgressDlg progress(context, params, nullptr, launcher);
    progress.exec();
}

void runCdToMp3Encoding(JobContext& context, QWidget* launcher) {
    cld::engine::JobSpec params = cdJob(context);
    CMP3SettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CMP3EncoderProgressDlg progress(context, params, launcher);
    progress.exec();
}

void runCdToWmaEncoding(JobContext& context, QWidget* launcher) {
    cld::engine::JobSpec params = cdJob(context);
    CWMASettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CEncoderProgressDlg progress(context, params, settings.takeEncoder(), launcher);
    progress.exec();
}
