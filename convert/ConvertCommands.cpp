#include "ConvertCommands.h"

#include "CDecode2WAVDlg.h"
#include "CEncoderProgressDlg.h"
#include "CFolder2MP3SettingsDlg.h"
#include "CFolder2WMASettingsDlg.h"
#include "CMP3EncoderProgressDlg.h"
#include "CMP3SettingsDlg.h"
#include "CWMASettingsDlg.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "WmEncoderControl.h"

namespace {

JobParameters cdParameters(const JobContext& context) {
    JobParameters params;
    params.artist = context.grabSelection.artist;
    params.album = context.grabSelection.album;
    return params;
}

} // namespace

void runFolderToMp3(JobContext& context, QWidget* launcher) {
    JobParameters params;
    CFolder2MP3SettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CMP3EncoderProgressDlg progress(context, params, params.folderMode ? 2 : 3, launcher);
    progress.exec();
}

void runFolderToWma(JobContext& context, QWidget* launcher) {
    JobParameters params;
    CFolder2WMASettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CEncoderProgressDlg progress(context, params, params.folderMode ? 2 : 3, settings.takeEncoder(),
                                 launcher);
    progress.exec();
}

void runMp3ToWav(JobContext& context, QWidget* launcher) {
    JobParameters params;
    CDecode2WAVDlg settings(context, params, CDecode2WAVDlg::Source::Mp3, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CMP3EncoderProgressDlg progress(context, params, params.folderMode ? 4 : 5, launcher);
    progress.exec();
}

void runWmaToWav(JobContext& context, QWidget* launcher) {
    JobParameters params;
    CDecode2WAVDlg settings(context, params, CDecode2WAVDlg::Source::Wma, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CEncoderProgressDlg progress(context, params, params.folderMode ? 4 : 5, nullptr, launcher);
    progress.exec();
}

void runCdToMp3Encoding(JobContext& context, QWidget* launcher) {
    JobParameters params = cdParameters(context);
    CMP3SettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CMP3EncoderProgressDlg progress(context, params, 1, launcher);
    progress.exec();
}

void runCdToWmaEncoding(JobContext& context, QWidget* launcher) {
    JobParameters params = cdParameters(context);
    CWMASettingsDlg settings(context, params, launcher);
    if (settings.exec() != QDialog::Accepted)
        return;
    CEncoderProgressDlg progress(context, params, 1, settings.takeEncoder(), launcher);
    progress.exec();
}
