#include "CCdSettingsDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "PickerService.h"
#include "SettingsRecord.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CCdSettingsDlg::CCdSettingsDlg(JobContext& context, cld::engine::JobSpec& params, int dialogId,
                               int folderTitle, QWidget* parent)
    : QDialog(parent), m_context(context), m_params(params), m_dialogId(dialogId),
      m_folderTitle(folderTitle) {
    setControlId(this, dialogId);
    setWindowTitle(AppResources::caption(dialogId));
}

void CCdSettingsDlg::finishLayout(const char* caption, QWidget* choice) {
    m_output = makeEdit(this, IDC_OUTPUT);
    auto* browse = makeButton(this, m_dialogId, IDC_OUTPUT_BROWSE, "...");
    auto* ok = makeButton(this, m_dialogId, IDC_OK, "OK");
    ok->setDefault(true);
    auto* cancel = makeButton(this, m_dialogId, IDC_CANCEL, "Cancel");
    connect(browse, &QPushButton::clicked, this, &CCdSettingsDlg::browseOutput);
    connect(ok, &QPushButton::clicked, this, &CCdSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CCdSettingsDlg::reject);

    auto* out = new QHBoxLayout;
    out->addWidget(m_output, 1);
    out->addWidget(browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    if (caption)
        layout->addWidget(makeStatic(this, caption));
    layout->addWidget(choice);
    layout->addWidget(makeStatic(this, "Output Folder:"));
    layout->addLayout(out);
    layout->addLayout(buttons);
    m_output->setText(QString::fromStdString(cdOutputFolder(
        m_context.settings.lastWMAOutFolder(), m_params.disc.artist, m_params.disc.album)));
}

void CCdSettingsDlg::browseOutput() {
    const QString folder = PickerService::folder(
        this, m_folderTitle, QString::fromStdString(m_context.settings.lastWMAOutFolder()));
    if (folder.isEmpty()) {
        showStringMessage(this, 124, MessageIcon::Error);
        return;
    }
    m_context.settings.setLastWMAOutFolder(folder.toStdString());
    m_output->setText(QString::fromStdString(
        cdOutputFolder(folder.toStdString(), m_params.disc.artist, m_params.disc.album)));
}

void CCdSettingsDlg::accept() {
    const std::string output = m_output->text().trimmed().toStdString();
    if (output.empty()) {
        showStringMessage(this, 157, MessageIcon::Exclamation);
        return;
    }
    if (!choiceReady())
        return;
    if (!createOneFolder(output)) {
        showStringMessage(this, 124, MessageIcon::Error);
        return;
    }
    m_params.outputPath = withTrailingSlash(output);
    storeChoice();
    QDialog::accept();
}
