#include "JobRegistry.h"

#include "CMIC2MP3SettingsDlg.h"
#include "CMP3AdvancedSettingsDlg.h"
#include "COptionsDlg.h"
#include "ConvertCommands.h"
#include "GrabCommands.h"
#include "JobCommands.h"
#include "JobContext.h"
#include "LanguageManager.h"
#include "Mp3Bitrates.h"
#include "RecordJobs.h"
#include "ResourceIds.h"
#include "SettingsRecord.h"
#include "VideoJobs.h"

namespace {

// The CD encoding jobs: the grabber picks and names the tracks, then the encoding job
// runs on that selection; nothing is encoded when the grabber is cancelled.
JobCommands::Command grabThen(void (*encode)(JobContext&, QWidget*)) {
    return [encode](JobContext& context, QWidget* launcher) {
        if (runCdGrabberForEncoding(context, launcher))
            encode(context, launcher);
    };
}

// The recorder's "Advanced Options": the conversion jobs' advanced MP3 dialog, opened on
// the bitrate the recorder's list shows; its minimum bitrate moves the recorder's slider.
std::optional<int> mp3AdvancedOptions(JobContext& context, QWidget* parent) {
    const int index = cld::openingListIndex(context.settings.lastMP3Bitrate());
    CMP3AdvancedSettingsDlg dlg(context.settings, cld::encodingBitrateOfEntry(index), index,
                                parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.minimumBitrate();
}

// The languages the options dialog offers: those found beside the program, or the
// built-in one alone when there is no language manager.
LanguageChoice installedLanguages(cld::LanguageManager* languages) {
    if (!languages)
        return COptionsDlg::builtinLanguages();
    LanguageChoice choice;
    for (const std::string& name : languages->displayNames())
        choice.names << QString::fromStdString(name);
    choice.current = languages->currentIndex();
    choice.select = [languages](int index) { languages->SelectLanguage(index); };
    return choice;
}

} // namespace

// The one place that names every job: each job folder offers one command, registered
// here under its launcher button's control id.
void registerJobs(JobCommands& commands, cld::LanguageManager* languages) {
    CMIC2MP3SettingsDlg::setAdvancedOptions(mp3AdvancedOptions);
    commands.set(cld::IDC_CD2WAV, runCdToWav);
    commands.set(cld::IDC_CD2WMA, grabThen(runCdToWmaEncoding));
    commands.set(cld::IDC_CD2MP3, grabThen(runCdToMp3Encoding));
    commands.set(cld::IDC_MIC2WMA, runWmaRecorder);
    commands.set(cld::IDC_MIC2MP3, runMp3Recorder);
    commands.set(cld::IDC_FOLDER2WMA, runFolderToWma);
    commands.set(cld::IDC_FOLDER2MP3, runFolderToMp3);
    commands.set(cld::IDC_WMA2WAV, runWmaToWav);
    commands.set(cld::IDC_MP32WAV, runMp3ToWav);
    commands.set(cld::IDC_AVI2WMV, runAviToWmv);
    commands.set(cld::IDC_CAPTURE2WMV, runCaptureToWmv);
    commands.set(cld::IDC_OPTIONS, [languages](JobContext& context, QWidget* launcher) {
        runOptionsCommand(context, launcher, installedLanguages(languages));
    });
}
