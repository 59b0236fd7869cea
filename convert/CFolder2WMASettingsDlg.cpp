#include "CFolder2WMASettingsDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <QComboBox>
#include <QLineEdit>

using namespace cld;

namespace {

CFolderEncodeDlg::Format wmaFormat() {
    CFolderEncodeDlg::Format format;
    format.inputFilter = "All known audio formats (*.wav *.mp3)";
    format.outputFilter = "Windows Media Audio File(s) (*.wma)";
    format.outputFolderTitle = 174;
    format.subFolder = "WMAFiles";
    format.extension = ".wma";
    return format;
}

} // namespace

CFolder2WMASettingsDlg::CFolder2WMASettingsDlg(JobContext& context, cld::engine::JobSpec& params,
                                               QWidget* parent)
    : CFolderEncodeDlg(context, params, kDialogId, wmaFormat(), parent),
      m_encoder(createMediaEncoder(context)) {
    m_profiles = new QComboBox(this);
    setControlId(m_profiles, IDC_PROFILE_LIST);
    finishLayout(m_profiles, "Windows Media Audio &Profile:");
    fillProfileList(m_profiles, *m_encoder, this);
    takeOpenedFormatFiles();
}

CFolder2WMASettingsDlg::~CFolder2WMASettingsDlg() = default;

std::unique_ptr<WmEncoderControl> CFolder2WMASettingsDlg::takeEncoder() {
    return std::move(m_encoder);
}

bool CFolder2WMASettingsDlg::acceptChoice() {
    if (m_profiles->currentIndex() < 0) {
        showStringMessage(this, IDS_NO_PROFILE, MessageIcon::Exclamation);
        return false;
    }
    m_params.wmaProfileIndex = m_profiles->currentData().toInt();
    return true;
}
