#include "CAVI2WMVSettingsDlg.h"

#include "AppResources.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "MessageService.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"
#include "WMException.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace cld;

CAVI2WMVSettingsDlg::CAVI2WMVSettingsDlg(JobContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setControlId(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_profiles = new QListWidget(this);
    setControlId(m_profiles, kProfileList);
    m_input = new QLineEdit(this);
    setControlId(m_input, kInputEdit);
    m_output = new QLineEdit(this);
    setControlId(m_output, kOutputEdit);
    auto* inputBrowse = makeButton(kDialogId, kInputBrowse, QStringLiteral("..."), this);
    auto* outputBrowse = makeButton(kDialogId, kOutputBrowse, QStringLiteral("..."), this);
    auto* ok = makeButton(kDialogId, 1, QStringLiteral("O&K"), this);
    ok->setDefault(true);
    auto* cancel = makeButton(kDialogId, 2, QStringLiteral("&Cancel"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Input File:"), this), 0, 0);
    grid->addWidget(m_input, 0, 1);
    grid->addWidget(inputBrowse, 0, 2);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Output File:"), this), 1, 0);
    grid->addWidget(m_output, 1, 1);
    grid->addWidget(outputBrowse, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        makeLabel(kDialogId, 0, QStringLiteral("Please select the encoding bitrate:"), this));
    layout->addWidget(m_profiles, 1);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(460, 340);

    connect(inputBrowse, &QPushButton::clicked, this, &CAVI2WMVSettingsDlg::browseInput);
    connect(outputBrowse, &QPushButton::clicked, this, &CAVI2WMVSettingsDlg::browseOutput);
    connect(ok, &QPushButton::clicked, this, &CAVI2WMVSettingsDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CAVI2WMVSettingsDlg::reject);

    // Opened with a video file (a file manager's "Open with", the command line).
    if (!context.initialFiles.isEmpty()) {
        const QString path = context.initialFiles.front();
        m_input->setText(path);
        m_output->setText(QString::fromStdString(wmvOutputName(path.toStdString())));
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        fillVideoProfiles(m_profiles, sharedVideoEncoder(m_context));
    } catch (const WMException& e) {
        QApplication::restoreOverrideCursor();
        MessageService::text(QString::fromStdString(GetErrorText(e.GetCode())), MessageIcon::Error,
                             MessageButtons::Ok, this);
        return;
    }
    QApplication::restoreOverrideCursor();
}

void CAVI2WMVSettingsDlg::saveProfileIndex() {
    const int index = selectedProfileIndex(m_profiles);
    if (index >= 0)
        videoJobState().profileIndex = index;
}

void CAVI2WMVSettingsDlg::browseInput() {
    saveProfileIndex();
    const QString filter = QStringLiteral(
        "All known video formats (*.avi *.asf *.mpg *.mpeg);;Microsoft AVI (*.avi);;"
        "MPEG-1 Video (*.mpg);;MPEG-4 Video (*.mpeg);;Microsoft Video Stream (*.asf);;"
        "Windows Bitmap (*.bmp);;All Files (*)");
    const QString path = PickerService::instance().openFile(
        this, AppResources::string(IDS_OPEN_TITLE), filter,
        QString::fromStdString(m_context.settings.lastVideoInFolder()));
    if (path.isEmpty())
        return;
    m_context.settings.setLastVideoInFolder(QFileInfo(path).absolutePath().toStdString());
    m_input->setText(path);
    m_output->setText(QString::fromStdString(wmvOutputName(path.toStdString())));
}

void CAVI2WMVSettingsDlg::browseOutput() {
    saveProfileIndex();
    const QString path = PickerService::instance().saveFile(
        this, AppResources::string(IDS_OPEN_TITLE), wmvSaveFilter(), m_output->text());
    if (!path.isEmpty()) {
        m_output->setText(withWmvExtension(path));
        m_confirmedOutput = path == m_output->text() ? path : QString();
    }
}

void CAVI2WMVSettingsDlg::accept() {
    const QString output = m_output->text().trimmed();
    const QString input = m_input->text().trimmed();
    if (output.isEmpty()) {
        MessageService::message(204, MessageIcon::Exclamation, MessageButtons::Ok, this);
        return;
    }
    if (input.isEmpty()) {
        MessageService::message(205, MessageIcon::Exclamation, MessageButtons::Ok, this);
        return;
    }
    if (!mayReplaceOutput(output, input, m_confirmedOutput, this))
        return;
    VideoJobState& state = videoJobState();
    state.inputPath = input.toStdString();
    state.outputPath = output.toStdString();
    saveProfileIndex();
    QDialog::accept();
}
