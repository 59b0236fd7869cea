#include "CFolder2WMASettingsDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringTable.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <QComboBox>
#include <QLineEdit>

using namespace cld;

CFolder2WMASettingsDlg::CFolder2WMASettingsDlg(JobContext& context, JobParameters& params,
                                               QWidget* parent)
    : CFolderFileDlg(context, params, kDialogId, "Encode &Folder", "Encode Fi&le", parent),
      m_encoder(createMediaEncoder(context)) {
    setWindowTitle(AppResources::caption(kDialogId));
    m_profiles = new QComboBox(this);
    setControlId(m_profiles, IDC_PROFILE_LIST);
    finishLayout(m_profiles);
    fillProfileList(m_profiles, *m_encoder, this);
    takeOpenedFiles("WMAFiles", ".wma");
}

CFolder2WMASettingsDlg::~CFolder2WMASettingsDlg() = default;

std::unique_ptr<WmEncoderControl> CFolder2WMASettingsDlg::takeEncoder() {
    return std::move(m_encoder);
}

void CFolder2WMASettingsDlg::browseInput() {
    const std::string start = m_context.settings.lastWAVInFolder();
    std::string chosen;
    if (isFolderMode()) {
        chosen = pickFolder(175, start);
    } else {
        chosen = m_context.pickers()
                     .openFile(this, AppResources::string(IDS_OPEN_TITLE),
                               QStringLiteral("All known audio formats (*.wav *.mp3)"),
                               QString::fromStdString(start))
                     .toStdString();
    }
    if (chosen.empty())
        return;
    m_context.settings.setLastWAVInFolder(chosen);
    setInputAndPropose(chosen, "WMAFiles", ".wma");
}

void CFolder2WMASettingsDlg::browseOutput() {
    if (isFolderMode()) {
        const std::string folder = pickFolder(174, m_context.settings.lastWMAOutFolder());
        if (folder.empty())
            return;
        m_context.settings.setLastWMAOutFolder(folder);
        m_output->setText(QString::fromStdString(folder));
        return;
    }
    const QString file = m_context.pickers().saveFile(
        this, AppResources::string(IDS_OPEN_TITLE),
        QStringLiteral("Windows Media Audio File(s) (*.wma)"), m_output->text());
    if (!file.isEmpty())
        setPickedOutput(file);
}

bool CFolder2WMASettingsDlg::acceptChoice() {
    if (m_profiles->currentIndex() < 0) {
        showStringMessage(this, IDS_NO_PROFILE, MessageIcon::Exclamation);
        return false;
    }
    m_params.wmaProfileIndex = m_profiles->currentData().toInt();
    return true;
}
