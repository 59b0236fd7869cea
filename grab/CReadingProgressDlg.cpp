#include "CReadingProgressDlg.h"

#include "AppResources.h"
#include "CProgressBar.h"
#include "ControlTag.h"
#include "WaitService.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

using cld::tagControl;

namespace {

QString text(int control, const char* english) {
    return AppResources::controlText(CReadingProgressDlg::kDialogId, control,
                                     QString::fromUtf8(english));
}

} // namespace

CReadingProgressDlg::CReadingProgressDlg() : QDialog(nullptr, Qt::Dialog) {
    tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));
    // Shown over a disabled owner, so it must not wait for that owner's input.
    setWindowModality(Qt::ApplicationModal);

    m_track = tagControl(new QLabel(text(kTrackText, "xx"), this), kTrackText);
    m_jitter = tagControl(new QLabel(text(kJitterText, "..."), this), kJitterText);
    m_status = tagControl(new QLabel(text(kStatusText, "Reading..."), this), kStatusText);
    m_trackBar = tagControl(new CProgressBar(this), kTrackBar);
    m_overallBar = tagControl(new CProgressBar(this), kOverallBar);
    m_peakBar = tagControl(new CProgressBar(this), kPeakBar);
    m_abort = tagControl(new QPushButton(text(kAbort, "&Abort"), this), kAbort);
    m_abort->setAutoDefault(false);
    connect(m_abort, &QPushButton::clicked, this, [this] { m_aborted = true; });

    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(m_track, row++, 0, 1, 2);
    grid->addWidget(new QLabel(text(-1, "Current Track Progress..."), this), row++, 0, 1, 2);
    grid->addWidget(m_trackBar, row++, 0, 1, 2);
    grid->addWidget(new QLabel(text(-1, "Overall Progress..."), this), row++, 0, 1, 2);
    grid->addWidget(m_overallBar, row++, 0, 1, 2);
    grid->addWidget(new QLabel(text(-1, "Peak Value:"), this), row, 0);
    grid->addWidget(m_peakBar, row++, 1);
    grid->addWidget(new QLabel(text(-1, "Jitter Errors Corrected:"), this), row, 0);
    grid->addWidget(m_jitter, row++, 1);
    grid->addWidget(new QLabel(text(-1, "Status:"), this), row, 0);
    grid->addWidget(m_status, row++, 1);
    grid->addWidget(m_abort, row, 1, Qt::AlignRight);
    setMinimumWidth(420);
}

CReadingProgressDlg::~CReadingProgressDlg() {
    enableOwner();
}

bool CReadingProgressDlg::OpenProgress(QWidget* owner) {
    m_aborted = false;
    QWidget* window = owner ? owner->window() : nullptr;
    if (window && window->isEnabled()) {
        window->setEnabled(false);
        m_disabledWindow = window;
    }
    show();
    if (!isVisible()) {
        enableOwner();
        return false;
    }
    if (window) {
        const QRect area = window->frameGeometry();
        move(area.center() - rect().center());
    }
    raise();
    m_open = true;
    return true;
}

void CReadingProgressDlg::SetTrackText(const QString& text) {
    m_track->setText(text);
}

void CReadingProgressDlg::SetJitterText(const QString& text) {
    m_jitter->setText(text);
}

CProgressBar* CReadingProgressDlg::bar(int id) const {
    switch (id) {
    case kTrackBar:
        return m_trackBar;
    case kOverallBar:
        return m_overallBar;
    case kPeakBar:
        return m_peakBar;
    default:
        return nullptr;
    }
}

bool CReadingProgressDlg::WasAborted() {
    WaitService::instance().pump();
    const bool aborted = m_aborted;
    m_aborted = false;
    return aborted;
}

void CReadingProgressDlg::CloseProgress() {
    WaitService::instance().waitAndPump(100);
    enableOwner();
    hide();
    m_open = false;
}

void CReadingProgressDlg::reject() {
    // Escape and the window's close button count as Abort; the owner decides.
    m_aborted = true;
}

void CReadingProgressDlg::closeEvent(QCloseEvent* event) {
    m_aborted = true;
    event->ignore();
}

void CReadingProgressDlg::enableOwner() {
    if (m_disabledWindow)
        m_disabledWindow->setEnabled(true);
    m_disabledWindow.clear();
}
