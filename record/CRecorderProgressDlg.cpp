#include "CRecorderProgressDlg.h"

#include "AppResources.h"
#include "RecorderLogic.h"
#include "RecorderSession.h"
#include "RecorderUi.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QWindowStateChangeEvent>

CRecorderProgressDlg::CRecorderProgressDlg(int dialogId, QWidget* launcher)
    : QDialog(launcher), m_dialogId(dialogId), m_launcher(launcher) {
    cld::tagControl(this, dialogId);
    setWindowTitle(AppResources::caption(dialogId));
}

QLabel* CRecorderProgressDlg::valueLabel(int id, bool selectable) {
    auto* l = new QLabel(this);
    cld::tagControl(l, id);
    if (selectable)
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QPushButton* CRecorderProgressDlg::commandButton(int id, const char* english) {
    auto* b = new QPushButton(cld::controlText(m_dialogId, id, english), this);
    cld::tagControl(b, id);
    b->setAutoDefault(false);
    return b;
}

void CRecorderProgressDlg::addRow(QGridLayout* grid, int& row, int id, const char* caption,
                                  QLabel* value) {
    grid->addWidget(new QLabel(cld::controlText(m_dialogId, -id, caption), this), row, 0);
    grid->addWidget(value, row++, 1);
}

void CRecorderProgressDlg::showDiskSpace(QLabel* total, QLabel* free) {
    const auto space = cld::queryDiskSpace(cld::RecorderSession::Instance().folder);
    if (!space)
        return;
    total->setText(QString::fromStdString(cld::gigabyteText(space->totalMiB)));
    free->setText(QString::fromStdString(cld::gigabyteText(space->freeMiB)));
}

void CRecorderProgressDlg::reject() {
    onExit();
}

void CRecorderProgressDlg::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && m_launcher) {
        if (windowState() & Qt::WindowMinimized)
            m_launcher->showMinimized();
        else if (static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized)
            m_launcher->showNormal();
    }
    QDialog::changeEvent(event);
}
