#include "CFolder2MP3SettingsDlg.h"

#include "JobContext.h"
#include "JobSpec.h"
#include "Mp3BitratePanel.h"

namespace {

CFolderEncodeDlg::Format mp3Format() {
    CFolderEncodeDlg::Format format;
    format.inputFilter = "Windows PCM Wave File(s) (*.wav)";
    format.outputFilter = "MPEG Audio Layer-3 (*.mp3)";
    format.outputFolderTitle = 182;
    format.subFolder = "MP3Files";
    format.extension = ".mp3";
    return format;
}

} // namespace

CFolder2MP3SettingsDlg::CFolder2MP3SettingsDlg(JobContext& context, cld::engine::JobSpec& params,
                                               QWidget* parent)
    : CFolderEncodeDlg(context, params, kDialogId, mp3Format(), parent) {
    m_panel = new Mp3BitratePanel(context.settings, kDialogId, this);
    finishLayout(m_panel);
    takeOpenedFormatFiles();
}

bool CFolder2MP3SettingsDlg::acceptChoice() {
    m_params.encodingBitrate = m_panel->encodingBitrate();
    m_panel->storeChoice();
    return true;
}
