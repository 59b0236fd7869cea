#include "CDecode2WAVDlg.h"

#include "AppResources.h"
#include "ConvertPaths.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QLineEdit>

using namespace cld;

CDecode2WAVDlg::CDecode2WAVDlg(JobContext& context, cld::engine::JobSpec& params, Source source,
                               QWidget* parent)
    : CFolderFileDlg(context, params, kDialogId, "Decode &Folder", "Decode Fi&le", parent),
      m_source(source) {
    setWindowTitle(AppResources::caption(kDialogId) + (source == Source::Wma
                                                           ? QStringLiteral("Decode WMA to WAV")
                                                           : QStringLiteral("Decode MP3 to WAV")));
    finishLayout(nullptr);
    // Remembered paths that name files rather than folders are not offered.
    const std::string lastIn = context.settings.lastWMAOutFolder();
    const std::string lastOut = context.settings.lastWAVOutFolder();
    if (!lastIn.empty() && !hasExtension(lastIn, ".wma"))
        m_input->setText(QString::fromStdString(withTrailingSlash(lastIn)));
    if (!lastOut.empty() && !hasExtension(lastOut, ".wav"))
        m_output->setText(QString::fromStdString(withTrailingSlash(lastOut) + "WAVFiles"));
    takeOpenedFiles("WAVFiles", ".wav");
}

void CDecode2WAVDlg::browseInput() {
    const bool wma = m_source == Source::Wma;
    std::string chosen;
    if (isFolderMode()) {
        const std::string start =
            wma ? m_context.settings.lastWMAOutFolder() : m_context.settings.lastMP3OutFolder();
        chosen = pickFolder(wma ? 188 : 192, start);
        if (chosen.empty())
            return;
        if (wma)
            m_context.settings.setLastWMAOutFolder(chosen);
        else
            m_context.settings.setLastMP3OutFolder(chosen);
    } else {
        chosen = m_context.pickers()
                     .openFile(this, AppResources::string(IDS_OPEN_TITLE),
                               wma ? QStringLiteral("Windows Media Audio File(s) (*.wma)")
                                   : QStringLiteral("MPEG Audio Layer-3 File(s) (*.mp3)"),
                               m_input->text())
                     .toStdString();
        if (chosen.empty())
            return;
    }
    setInputAndPropose(chosen, "WAVFiles", ".wav");
}

void CDecode2WAVDlg::browseOutput() {
    if (!isFolderMode()) {
        // A single file decodes to a file: the save dialog names it.
        const QString file = m_context.pickers().saveFile(
            this, AppResources::string(IDS_OPEN_TITLE),
            QStringLiteral("Windows PCM Wave File(s) (*.wav)"), m_output->text());
        if (!file.isEmpty())
            setPickedOutput(file);
        return;
    }
    const std::string folder = pickFolder(189, m_context.settings.lastWAVOutFolder());
    if (folder.empty())
        return;
    m_context.settings.setLastWAVOutFolder(folder);
    m_output->setText(QString::fromStdString(folder));
}

std::vector<std::string> CDecode2WAVDlg::folderInputs(const std::string& folder) const {
    return filesWithExtension(folder, m_source == Source::Wma ? ".wma" : ".mp3");
}
