#include "CWMASettingsDlg.h"

#include "AppResources.h"
#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "DialogKit.h"
#include "JobContext.h"
#include "JobParameters.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "WmEncoderControl.h"
#include "WmaProfiles.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CWMASettingsDlg::CWMASettingsDlg(JobContext& context, JobParameters& params, QWidget* parent)
    : QDialog(parent), m_context(context), m_params(params),
      m_encoder(createMediaEncoder(context)) {
    setControlId(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));
    m_profiles = new QComboBox(this);
    setControlId(m_profiles, IDC_PROFILE_LIST);
    m_output = makeEdit(this, IDC_OUTPUT);
    auto* browse = makeButton(this, kDialogId, IDC_OUTPUT_BROWSE, "...");
    auto* ok = makeButton(this, kDialogId, IDC_OK, "OK");
    ok->setDefault(true);
    auto* cancel = makeButton(this, kDialogId, IDC_CANCEL, "Cancel");
    connect(browse, &QPushButton::clicked, this, &CWMASettingsDlg::browseOutput);
    connect(ok, &QPushButton::clicked, this, &CWMASettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CWMASettingsDlg::reject);

    auto* out = new QHBoxLayout;
    out->addWidget(m_output, 1);
    out->addWidget(browse);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeStatic(this, "Windows Media Audio Profile:"));
    layout->addWidget(m_profiles);
    layout->addWidget(makeStatic(this, "Output Folder:"));
    layout->addLayout(out);
    layout->addLayout(buttons);

    fillProfileList(m_profiles, *m_encoder, this);
    m_output->setText(QString::fromStdString(
        cdOutputFolder(context.settings.lastWMAOutFolder(), params.artist, params.album)));
}

CWMASettingsDlg::~CWMASettingsDlg() = default;

std::unique_ptr<WmEncoderControl> CWMASettingsDlg::takeEncoder() {
    return std::move(m_encoder);
}

void CWMASettingsDlg::browseOutput() {
    const QString folder = PickerService::folder(
        this, 166, QString::fromStdString(m_context.settings.lastWMAOutFolder()));
    if (folder.isEmpty()) {
        showStringMessage(this, 124, MessageIcon::Error);
        return;
    }
    m_context.settings.setLastWMAOutFolder(folder.toStdString());
    m_output->setText(QString::fromStdString(
        cdOutputFolder(folder.toStdString(), m_params.artist, m_params.album)));
}

void CWMASettingsDlg::accept() {
    const std::string output = m_output->text().trimmed().toStdString();
    if (output.empty()) {
        showStringMessage(this, 157, MessageIcon::Exclamation);
        return;
    }
    if (m_profiles->currentIndex() < 0) {
        // No audio profile to encode with: the profile list already said why.
        showStringMessage(this, IDS_NO_PROFILE, MessageIcon::Exclamation);
        return;
    }
    if (!createOneFolder(output)) {
        showStringMessage(this, 124, MessageIcon::Error);
        return;
    }
    m_params.outputPath = withTrailingSlash(output);
    m_params.wmaProfileIndex = m_profiles->currentData().toInt();
    QDialog::accept();
}
