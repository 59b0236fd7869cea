#include "CFreeDBListDlg.h"

#include "AppResources.h"
#include "CHyperLink.h"
#include "CddbSettings.h"
#include "ControlTag.h"
#include "FreeDBLookup.h"
#include "FreeDBText.h"
#include "GrabText.h"
#include "StringIds.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using cld::tagControl;

CFreeDBListDlg::CFreeDBListDlg(const SettingsRecord& settings, QWidget* parent, const Look& look)
    : QDialog(parent), m_lookup(std::make_unique<cld::FreeDBLookup>(settings)),
      m_dialogId(look.dialogId) {
    tagControl(this, look.dialogId);
    setWindowTitle(AppResources::caption(look.dialogId));

    m_list = tagControl(new QTreeWidget(this), look.listId);
    m_list->setHeaderLabels(look.headers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    cld::styleReportList(m_list);
    m_list->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 1; c < look.headers.size(); ++c)
        m_list->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    cld::sizeColumnsToHeaders(m_list);
    if (look.linkFirst)
        m_link = cld::makeFreeDBLink(this, look.dialogId, cddbServerFromSettings(settings));

    m_status = tagControl(new QLabel(this), look.statusId);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = tagControl(buttons->addButton(text(1, "O&K"), QDialogButtonBox::AcceptRole), 1);
    tagControl(buttons->addButton(text(2, "&Cancel"), QDialogButtonBox::RejectRole), 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFreeDBListDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFreeDBListDlg::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CFreeDBListDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text(-1, look.caption), this));
    layout->addWidget(m_list, 1);
    if (!m_link)
        m_link = cld::makeFreeDBLink(this, look.dialogId, cddbServerFromSettings(settings));
    layout->addWidget(m_link);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(look.width, 300);
}

CFreeDBListDlg::~CFreeDBListDlg() = default;

QString CFreeDBListDlg::text(int control, const char* english) const {
    return AppResources::controlText(m_dialogId, control, QString::fromUtf8(english));
}

void CFreeDBListDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        // The command runs once the window is up, so the user sees what is waited for.
        QTimer::singleShot(0, this, &CFreeDBListDlg::startCommand);
    }
}

void CFreeDBListDlg::setBusy(bool busy, const QString& server) {
    m_busy = busy;
    m_list->setEnabled(!busy);
    m_ok->setEnabled(!busy);
    m_status->setText(busy ? AppResources::string(cld::IDS_FREEDB_ASKING).arg(server) : QString());
}

int CFreeDBListDlg::selectedRow() const {
    QTreeWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? m_list->indexOfTopLevelItem(item) : -1;
}

void CFreeDBListDlg::reject() {
    if (m_busy) {
        // The command ends within milliseconds; the dialog closes when it has.
        m_cancelRequested = true;
        m_lookup->client().cancel();
        return;
    }
    QDialog::reject();
}
