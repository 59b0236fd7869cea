#include "CWMFRedistWaitDlg.h"

#include "AppResources.h"

#include <QLabel>
#include <QVBoxLayout>

namespace cld {
namespace {

// A doubled ampersand in a resource text stands for one.
QString shown(const QString& text) {
    QString t = text;
    return t.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

} // namespace

CWMFRedistWaitDlg::CWMFRedistWaitDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setProperty("cld_id", kDialogId);
    setWindowTitle(shown(AppResources::caption(kDialogId)));
    // Nothing to press: the window goes when the installation is over.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    m_headline = new QLabel(
        shown(AppResources::controlText(kDialogId, kHeadlineId,
                                        QStringLiteral("Installing Windows Media Audio && Video "
                                                       "files..."))),
        this);
    m_headline->setObjectName(QString::number(kHeadlineId));
    m_headline->setProperty("cld_id", kHeadlineId);
    QFont bold = m_headline->font();
    bold.setBold(true);
    m_headline->setFont(bold);
    m_pleaseWait = new QLabel(
        shown(AppResources::controlText(kDialogId, kPleaseWaitId,
                                        QStringLiteral("Please wait, this process can take up to "
                                                       "1 minute."))),
        this);
    m_pleaseWait->setObjectName(QString::number(kPleaseWaitId));
    m_pleaseWait->setProperty("cld_id", kPleaseWaitId);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(m_headline);
    layout->addSpacing(8);
    layout->addWidget(m_pleaseWait);
    setModal(false);
}

} // namespace cld
