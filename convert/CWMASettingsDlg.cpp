#include "CWMASettingsDlg.h"

#include "ConvertIds.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "StringIds.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <QComboBox>

using namespace cld;

CWMASettingsDlg::CWMASettingsDlg(JobContext& context, cld::engine::JobSpec& params, QWidget* parent)
    : CCdSettingsDlg(context, params, kDialogId, 166, parent),
      m_encoder(createMediaEncoder(context)) {
    m_profiles = new QComboBox(this);
    setControlId(m_profiles, IDC_PROFILE_LIST);
    finishLayout("Windows Media Audio Profile:", m_profiles);
    fillProfileList(m_profiles, *m_encoder, this);
}

CWMASettingsDlg::~CWMASettingsDlg() = default;

std::unique_ptr<WmEncoderControl> CWMASettingsDlg::takeEncoder() {
    return std::move(m_encoder);
}

bool CWMASettingsDlg::choiceReady() {
    if (m_profiles->currentIndex() < 0) {
        // No audio profile to encode with: the profile list already said why.
        showStringMessage(this, IDS_NO_PROFILE, MessageIcon::Exclamation);
        return false;
    }
    return true;
}

void CWMASettingsDlg::storeChoice() {
    m_params.wmaProfileIndex = m_profiles->currentData().toInt();
}
