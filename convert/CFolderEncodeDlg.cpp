#include "CFolderEncodeDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "JobContext.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QLineEdit>

CFolderEncodeDlg::CFolderEncodeDlg(JobContext& context, cld::engine::JobSpec& params, int dialogId,
                                   const Format& format, QWidget* parent)
    : CFolderFileDlg(context, params, dialogId, "Encode &Folder", "Encode Fi&le", parent),
      m_format(format) {
    setWindowTitle(AppResources::caption(dialogId));
}

void CFolderEncodeDlg::takeOpenedFormatFiles() {
    takeOpenedFiles(m_format.subFolder, m_format.extension);
}

void CFolderEncodeDlg::browseInput() {
    const std::string start = m_context.settings.lastWAVInFolder();
    std::string chosen;
    if (isFolderMode()) {
        chosen = pickFolder(175, start);
    } else {
        // The format's own filter stays first; the other readable formats are one choice
        // away.
        const std::string filter = cld::audioInputFilter(
            m_format.inputFilter, AppResources::string(cld::IDS_AUDIO_FILES).toStdString());
        chosen = m_context.pickers()
                     .openFile(this, AppResources::string(cld::IDS_OPEN_TITLE),
                               QString::fromStdString(filter), QString::fromStdString(start))
                     .toStdString();
    }
    if (chosen.empty())
        return;
    m_context.settings.setLastWAVInFolder(chosen);
    setInputAndPropose(chosen, m_format.subFolder, m_format.extension);
}

void CFolderEncodeDlg::browseOutput() {
    if (isFolderMode()) {
        const std::string folder =
            pickFolder(m_format.outputFolderTitle, m_context.settings.lastWMAOutFolder());
        if (folder.empty())
            return;
        m_context.settings.setLastWMAOutFolder(folder);
        m_output->setText(QString::fromStdString(folder));
        return;
    }
    const QString file =
        m_context.pickers().saveFile(this, AppResources::string(cld::IDS_OPEN_TITLE),
                                     QString::fromUtf8(m_format.outputFilter), m_output->text());
    if (!file.isEmpty())
        setPickedOutput(file);
}

std::vector<std::string> CFolderEncodeDlg::folderInputs(const std::string& folder) const {
    return cld::audioFilesIn(folder);
}
