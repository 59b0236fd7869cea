#include "CVideoSettingsDlg.h"

#include "AppResources.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MessageService.h"
#include "PickerService.h"
#include "StringIds.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "WMException.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CVideoSettingsDlg::CVideoSettingsDlg(JobContext& context, QWidget* parent, int dialogId)
    : QDialog(parent), m_context(context), m_dialogId(dialogId) {
    setControlId(this, dialogId);
    setWindowTitle(AppResources::caption(dialogId));
    m_profiles = new QListWidget(this);
    setControlId(m_profiles, kProfileList);
}

QLineEdit* CVideoSettingsDlg::makeOutputEdit() {
    m_output = new QLineEdit(this);
    setControlId(m_output, kOutputEdit);
    return m_output;
}

QPushButton* CVideoSettingsDlg::makeOutputBrowse() {
    auto* browse = makeButton(m_dialogId, kOutputBrowse, QStringLiteral("..."), this);
    connect(browse, &QPushButton::clicked, this, &CVideoSettingsDlg::browseOutput);
    return browse;
}

void CVideoSettingsDlg::makeOkCancel() {
    m_ok = makeButton(m_dialogId, 1, QStringLiteral("O&K"), this);
    m_ok->setDefault(true);
    m_cancel = makeButton(m_dialogId, 2, QStringLiteral("&Cancel"), this);
    connect(m_ok, &QPushButton::clicked, this, &CVideoSettingsDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CVideoSettingsDlg::reject);
}

void CVideoSettingsDlg::finishLayout(QGridLayout* grid, int width, int height) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        makeLabel(m_dialogId, 0, QStringLiteral("Please select the encoding bitrate:"), this));
    layout->addWidget(m_profiles, 1);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(width, height);
}

void CVideoSettingsDlg::fillFromEncoder(const std::function<void(WmEncoderControl&)>& more) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        WmEncoderControl& encoder = sharedVideoEncoder(m_context);
        fillVideoProfiles(m_profiles, encoder);
        if (more)
            more(encoder);
    } catch (const WMException& e) {
        QApplication::restoreOverrideCursor();
        MessageService::text(errorText(e.GetCode()), MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    QApplication::restoreOverrideCursor();
}

void CVideoSettingsDlg::saveProfileIndex() {
    const int index = selectedProfileIndex(m_profiles);
    if (index >= 0)
        videoJobState().profileIndex = index;
}

void CVideoSettingsDlg::browseOutput() {
    saveProfileIndex();
    const QString path = PickerService::instance().saveFile(
        this, AppResources::string(IDS_OPEN_TITLE), wmvSaveFilter(), m_output->text());
    if (!path.isEmpty()) {
        m_output->setText(withWmvExtension(path));
        m_confirmedOutput = path == m_output->text() ? path : QString();
    }
}

bool CVideoSettingsDlg::takeOutput(const QString& input, bool inputRequired) {
    const QString output = m_output->text().trimmed();
    if (output.isEmpty()) {
        MessageService::message(204, MessageIcon::Exclamation, MessageButtons::Ok, this);
        return false;
    }
    if (inputRequired && input.isEmpty()) {
        MessageService::message(205, MessageIcon::Exclamation, MessageButtons::Ok, this);
        return false;
    }
    if (!mayReplaceOutput(output, input, m_confirmedOutput, this))
        return false;
    videoJobState().outputPath = output.toStdString();
    return true;
}

void CVideoSettingsDlg::finishAccept() {
    saveProfileIndex();
    QDialog::accept();
}
