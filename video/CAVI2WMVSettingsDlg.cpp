#include "CAVI2WMVSettingsDlg.h"

#include "AppResources.h"
#include "JobContext.h"
#include "PickerService.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "VideoRules.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace cld;

CAVI2WMVSettingsDlg::CAVI2WMVSettingsDlg(JobContext& context, QWidget* parent)
    : CVideoSettingsDlg(context, parent, kDialogId) {
    m_input = new QLineEdit(this);
    setControlId(m_input, kInputEdit);
    makeOutputEdit();
    auto* inputBrowse = makeButton(kDialogId, kInputBrowse, QStringLiteral("..."), this);
    auto* outputBrowse = makeOutputBrowse();
    makeOkCancel();

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Input File:"), this), 0, 0);
    grid->addWidget(m_input, 0, 1);
    grid->addWidget(inputBrowse, 0, 2);
    grid->addWidget(makeLabel(kDialogId, 0, QStringLiteral("&Output File:"), this), 1, 0);
    grid->addWidget(m_output, 1, 1);
    grid->addWidget(outputBrowse, 1, 2);
    finishLayout(grid, 460, 340);

    connect(inputBrowse, &QPushButton::clicked, this, &CAVI2WMVSettingsDlg::browseInput);

    // Opened with a video file (a file manager's "Open with", the command line).
    if (!context.initialFiles.isEmpty()) {
        const QString path = context.initialFiles.front();
        m_input->setText(path);
        m_output->setText(QString::fromStdString(wmvOutputName(path.toStdString())));
    }

    fillFromEncoder();
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

void CAVI2WMVSettingsDlg::accept() {
    const QString input = m_input->text().trimmed();
    if (!takeOutput(input, true))
        return;
    videoJobState().inputPath = input.toStdString();
    finishAccept();
}
