#include "CAVI2WMVProgressDlg.h"

#include "MediaDuration.h"
#include "StringIds.h"
#include "StringTable.h"
#include "VideoDialogKit.h"
#include "VideoJobState.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"

using namespace cld;

namespace {

CVideoProgressDlg::Look aviLook() {
    CVideoProgressDlg::Look look;
    look.dialogId = CAVI2WMVProgressDlg::kDialogId;
    look.inputCaption = QStringLiteral("Input File:");
    look.inputText = QString::fromStdString(videoJobState().inputPath);
    look.timeCaption = QStringLiteral("Encoded content time:");
    look.buttonText = QStringLiteral("&Cancel");
    look.withProgress = true;
    look.height = 360;
    look.pollMs = 200;
    return look;
}

std::string inputUrl() {
    return "FILE://" + videoJobState().inputPath;
}

} // namespace

CAVI2WMVProgressDlg::CAVI2WMVProgressDlg(JobContext& context, QWidget* parent)
    : CVideoProgressDlg(context, parent, aviLook()) {}

void CAVI2WMVProgressDlg::prepareRun() {
    m_duration = getMediaDuration(inputUrl());
    encoder().PrepareForFile();
}

void CAVI2WMVProgressDlg::addSources(WmSourceGroup& group) {
    const std::string input = inputUrl();
    group.SetInput(input);
    group.AddVideoSource(input, &m_preview, &m_postview);
}

// An input that ended before its declared length is converted as far as it goes; the user
// is told instead of seeing a clean "Process completed.".
bool CAVI2WMVProgressDlg::toldIncompleteEnd() {
    const auto& report = encoder().GetLastRunReport();
    if (!report.inputEndedEarly)
        return false;
    const QString read = QString::number(report.readSeconds, 'f', 1);
    if (report.declaredSeconds > 0)
        showMessage(IDS_VIDEO_INPUT_ENDED_EARLY, MessageIcon::Exclamation, this, read,
                    QString::number(report.declaredSeconds, 'f', 1));
    else
        showMessage(IDS_VIDEO_INPUT_DAMAGED, MessageIcon::Exclamation, this, read);
    return true;
}

// A write failure is told with the file's name and the system's reason.
int CAVI2WMVProgressDlg::writeFailureText(uint32_t code) const {
    const bool systemReason = (code & 0xFFFF0000u) == 0x80070000u || code == wmerr::kWriteFailed;
    return systemReason ? IDS_VIDEO_WRITE_FAILED : 0;
}
