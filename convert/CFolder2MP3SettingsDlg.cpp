#include "CFolder2MP3SettingsDlg.h"

#include "AppResources.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "Mp3BitratePanel.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringTable.h"

#include <QLineEdit>

CFolder2MP3SettingsDlg::CFolder2MP3SettingsDlg(JobContext& context, JobParameters& params,
                                               QWidget* parent)
    : CFolderFileDlg(context, params, kDialogId, "Encode &Folder", "Encode Fi&le", parent) {
    setWindowTitle(AppResources::caption(kDialogId));
    m_panel = new Mp3BitratePanel(context.settings, kDialogId, this);
    finishLayout(m_panel);
    takeOpenedFiles("MP3Files", ".mp3");
}

void CFolder2MP3SettingsDlg::browseInput() {
    const std::string start = m_context.settings.lastWAVInFolder();
    std::string chosen;
    if (isFolderMode()) {
        chosen = pickFolder(175, start);
    } else {
        chosen = m_context.pickers()
                     .openFile(this, AppResources::string(cld::IDS_OPEN_TITLE),
                               QStringLiteral("Windows PCM Wave File(s) (*.wav)"),
                               QString::fromStdString(start))
                     .toStdString();
    }
    if (chosen.empty())
        return;
    m_context.settings.setLastWAVInFolder(chosen);
    setInputAndPropose(chosen, "MP3Files", ".mp3");
}

void CFolder2MP3SettingsDlg::browseOutput() {
    if (isFolderMode()) {
        const std::string folder = pickFolder(182, m_context.settings.lastWMAOutFolder());
        if (folder.empty())
            return;
        m_context.settings.setLastWMAOutFolder(folder);
        m_output->setText(QString::fromStdString(folder));
        return;
    }
    const QString file = m_context.pickers().saveFile(
        this, AppResources::string(cld::IDS_OPEN_TITLE),
        QStringLiteral("MPEG Audio Layer-3 (*.mp3)"), m_output->text());
    if (!file.isEmpty())
        setPickedOutput(file);
}

bool CFolder2MP3SettingsDlg::acceptChoice() {
    m_params.encodingBitrate = m_panel->encodingBitrate();
    m_panel->storeChoice();
    return true;
}
