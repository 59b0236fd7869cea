#include "CMP3SettingsDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "Mp3BitratePanel.h"
#include "PickerService.h"
#include "SettingsRecord.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CMP3SettingsDlg::CMP3SettingsDlg(JobContext& context, JobParameters& params, QWidget* parent)
    : QDialog(parent), m_context(context), m_params(params) {
    setControlId(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));
    m_panel = new Mp3BitratePanel(context.settings, kDialogId, this);
    m_output = makeEdit(this, IDC_OUTPUT);
    auto* browse = makeButton(this, kDialogId, IDC_OUTPUT_BROWSE, "...");
    auto* ok = makeButton(this, kDialogId, IDC_OK, "OK");
    ok->setDefault(true);
    auto* cancel = makeButton(this, kDialogId, IDC_CANCEL, "Cancel");
    connect(browse, &QPushButton::clicked, this, &CMP3SettingsDlg::browseOutput);
    connect(ok, &QPushButton::clicked, this, &CMP3SettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CMP3SettingsDlg::reject);

    auto* out = new QHBoxLayout;
    out->addWidget(m_output, 1);
    out->addWidget(browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_panel);
    layout->addWidget(makeStatic(this, "Output Folder:"));
    layout->addLayout(out);
    layout->addLayout(buttons);

    m_output->setText(QString::fromStdString(
        cdOutputFolder(context.settings.lastWMAOutFolder(), params.artist, params.album)));
}

void CMP3SettingsDlg::browseOutput() {
    const QString folder = PickerService::folder(
        this, 165, QString::fromStdString(m_context.settings.lastWMAOutFolder()));
    if (folder.isEmpty()) {
        showStringMessage(this, 124, MessageIcon::Error);
        return;
    }
    m_context.settings.setLastWMAOutFolder(folder.toStdString());
    m_output->setText(QString::fromStdString(
        cdOutputFolder(folder.toStdString(), m_params.artist, m_params.album)));
}

void CMP3SettingsDlg::accept() {
    const std::string output = m_output->text().trimmed().toStdString();
    if (output.empty()) {
        showStringMessage(this, 157, MessageIcon::Exclamation);
        return;
    }
    if (!createOneFolder(output)) {
        showStringMessage(this, 124, MessageIcon::Error);
        return;
    }
    m_params.outputPath = withTrailingSlash(output);
    m_params.encodingBitrate = m_panel->encodingBitrate();
    m_panel->storeChoice();
    QDialog::accept();
}
