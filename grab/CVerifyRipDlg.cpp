#include "CVerifyRipDlg.h"

#include "AppResources.h"
#include "ControlTag.h"
#include "ExistingRip.h"
#include "JobContext.h"
#include "PickerService.h"
#include "RipLog.h"
#include "StringIds.h"
#include "Verify.h"
#include "WaitService.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <chrono>
#include <future>

namespace {

QString local(int id, const char* english) {
    const QString text = AppResources::string(id);
    return text.isEmpty() ? QString::fromUtf8(english) : text;
}

} // namespace

std::string verifyReportText(const cld::engine::RipCheck& check) {
    using Status = cld::engine::CheckedTrack::Status;
    std::string out;
    for (const cld::engine::CheckedTrack& t : check.tracks) {
        out += "Track " + std::string(t.number < 10 ? "0" : "") + std::to_string(t.number) + "  " +
               t.file + "\n";
        if (t.status != Status::Ok) {
            out += "  " + t.error + "\n";
            continue;
        }
        if (t.hasVerdict)
            out += "  AccurateRip: " + accurip::verdictText(t.arVerdict) + "\n";
        if (t.hasCtdb)
            out += "  CTDB: " + accurip::ctdbTrackText(t.ctdb) + "\n";
    }
    out += "\nAccurateRip: " + accurip::summaryText(check.arSummary, check.arDetail) + "\n";
    const std::string ctdb = accurip::ctdbSummaryText(check.ctdb);
    if (!ctdb.empty())
        out += "CTDB: " + ctdb + "\n";
    out += "Verified: " +
           (check.verifiedBy.empty() ? std::string("no") : "yes, by " + check.verifiedBy) + "\n";
    return out;
}

QString CVerifyRipDlg::openButtonText() {
    return local(cld::IDS_VERIFY_RIP_OPEN, "Verif&y a rip...");
}

CVerifyRipDlg::CVerifyRipDlg(JobContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    cld::tagControl(this, kDialogId);
    setWindowTitle(local(cld::IDS_VERIFY_RIP_TITLE, "Verify a Rip"));
    m_cue = cld::tagControl(new QLineEdit(this), kCueSheet);
    auto* browse = cld::tagControl(
        new QPushButton(local(cld::IDS_VERIFY_RIP_BROWSE, "&Browse..."), this), kBrowse);
    m_verifyButton = cld::tagControl(
        new QPushButton(local(cld::IDS_VERIFY_RIP_VERIFY, "&Verify"), this), kVerify);
    m_report = cld::tagControl(new QPlainTextEdit(this), kReport);
    m_report->setReadOnly(true);
    m_report->setMinimumSize(520, 260);
    auto* close =
        cld::tagControl(new QPushButton(local(cld::IDS_VERIFY_RIP_CLOSE, "Close"), this), 2);
    m_verifyButton->setDefault(true);

    auto* label = new QLabel(local(cld::IDS_VERIFY_RIP_CUE_LABEL, "&Cue sheet of the rip:"), this);
    label->setBuddy(m_cue);
    auto* row = new QHBoxLayout;
    row->addWidget(m_cue, 1);
    row->addWidget(browse);
    row->addWidget(m_verifyButton);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addWidget(m_report, 1);
    layout->addLayout(buttons);

    connect(browse, &QPushButton::clicked, this, [this] {
        const QString file =
            m_context.pickers().openFile(this, local(cld::IDS_VERIFY_RIP_TITLE, "Verify a Rip"),
                                         local(cld::IDS_VERIFY_RIP_FILTER, "Cue sheets (*.cue)"),
                                         QFileInfo(m_cue->text()).absolutePath());
        if (!file.isEmpty())
            m_cue->setText(file);
    });
    connect(m_verifyButton, &QPushButton::clicked, this, [this] { verify(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

QString CVerifyRipDlg::report() const {
    return m_report->toPlainText();
}

void CVerifyRipDlg::verify() {
    const std::string cue = m_cue->text().trimmed().toStdString();
    if (cue.empty())
        return;
    cld::engine::VerifyEnv env = cld::engine::verifyEnv(m_context.settings, nullptr, nullptr);
    m_verifyButton->setEnabled(false);
    m_report->setPlainText(local(cld::IDS_VERIFY_RIP_WORKING, "Verifying..."));
    // The files are decoded and the databases asked on a thread of its own while the
    // window keeps answering.
    auto work = std::async(std::launch::async, [cue, env]() -> std::string {
        cld::engine::RipSheet sheet;
        std::string why;
        if (!cld::engine::readRipSheet(cue, sheet, why))
            return why;
        return verifyReportText(cld::engine::checkRip(sheet, env));
    });
    while (work.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        m_context.waits().waitAndPump(20);
    m_report->setPlainText(QString::fromStdString(work.get()));
    m_verifyButton->setEnabled(true);
}
