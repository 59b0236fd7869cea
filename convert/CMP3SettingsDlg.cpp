#include "CMP3SettingsDlg.h"

#include "JobContext.h"
#include "JobSpec.h"
#include "Mp3BitratePanel.h"

CMP3SettingsDlg::CMP3SettingsDlg(JobContext& context, cld::engine::JobSpec& params, QWidget* parent)
    : CCdSettingsDlg(context, params, kDialogId, 165, parent) {
    m_panel = new Mp3BitratePanel(context.settings, kDialogId, this);
    finishLayout(nullptr, m_panel);
}

void CMP3SettingsDlg::storeChoice() {
    m_params.encodingBitrate = m_panel->encodingBitrate();
    m_panel->storeChoice();
}
