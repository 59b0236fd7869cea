#include "CFreeDBServersDlg.h"

#include "AppResources.h"
#include "BackgroundCall.h"
#include "CHyperLink.h"
#include "CddbSettings.h"
#include "ControlTag.h"
#include "FreeDBLookup.h"
#include "FreeDBText.h"
#include "GrabText.h"
#include "MessageService.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using cld::tagControl;

namespace {

// "Asking %1..."
constexpr int kAskingStringId = 2303;

QString text(int control, const char* english) {
    return AppResources::controlText(CFreeDBServersDlg::kDialogId, control,
                                     QString::fromUtf8(english));
}

} // namespace

QStringList CFreeDBServersDlg::columnHeaders() {
    return {QStringLiteral("   Server Address   "), QStringLiteral("   Location   ")};
}

CFreeDBServersDlg::CFreeDBServersDlg(const SettingsRecord& settings, QWidget* parent,
                                     std::string listHost, const std::string& email)
    : QDialog(parent), m_lookup(std::make_unique<cld::FreeDBLookup>(settings)),
      m_listHost(listHost.empty() ? std::string(kDefaultCddbHost) : std::move(listHost)) {
    if (!email.empty())
        m_lookup->client().setEmail(email);
    tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_list = tagControl(new QTreeWidget(this), kList);
    m_list->setHeaderLabels(columnHeaders());
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    cld::styleReportList(m_list);
    m_list->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    m_list->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    cld::sizeColumnsToHeaders(m_list);

    m_status = tagControl(new QLabel(this), kStatus);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = tagControl(buttons->addButton(text(1, "O&K"), QDialogButtonBox::AcceptRole), 1);
    tagControl(buttons->addButton(text(2, "&Cancel"), QDialogButtonBox::RejectRole), 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFreeDBServersDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFreeDBServersDlg::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CFreeDBServersDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text(-1, "FreeDB Servers:"), this));
    layout->addWidget(m_list, 1);
    layout->addWidget(cld::makeFreeDBLink(this, kDialogId));
    layout->addWidget(m_status);
    layout->addWidget(buttons);
    resize(460, 300);
}

CFreeDBServersDlg::~CFreeDBServersDlg() = default;

void CFreeDBServersDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_listStarted) {
        m_listStarted = true;
        QTimer::singleShot(0, this, &CFreeDBServersDlg::runList);
    }
}

void CFreeDBServersDlg::runList() {
    std::vector<CddbServer> servers;
    bool ok = false;
    {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_busy = true;
        m_list->setEnabled(false);
        m_ok->setEnabled(false);
        m_status->setText(
            AppResources::string(kAskingStringId)
                .arg(QString::fromStdString(cddbServerName(cddbServerFor(m_listHost)))));
        cld::FreeDBLookup* lookup = m_lookup.get();
        const std::string host = m_listHost;
        ok =
            cld::callInBackground([lookup, host, &servers] { return lookup->sites(host, servers); },
                                  WaitService::instance());
        m_busy = false;
        m_list->setEnabled(true);
        m_ok->setEnabled(true);
        m_status->clear();
        QApplication::restoreOverrideCursor();
    }
    m_listDone = true;
    if (m_cancelRequested || m_lookup->cancelled()) {
        QDialog::reject();
        return;
    }
    if (!ok) {
        // The table names the public service; the server asked may be another one.
        Message message;
        message.stringId = 145;
        message.text = AppResources::string(145);
        message.text.replace(QLatin1String(cld::kFreeDBDomain),
                             QString::fromStdString(m_lookup->serverName()));
        message.icon = MessageIcon::None;
        message.parent = this;
        MessageService::instance().show(message);
        return;
    }
    m_servers = std::move(servers);
    for (const CddbServer& server : m_servers) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, QString::fromStdString(cld::utf8Text(server.host)));
        item->setText(1, QString::fromStdString(cld::utf8Text(server.description)));
        item->setTextAlignment(1, Qt::AlignCenter);
    }
}

void CFreeDBServersDlg::reject() {
    if (m_busy) {
        m_cancelRequested = true;
        m_lookup->client().cancel();
        return;
    }
    QDialog::reject();
}

void CFreeDBServersDlg::accept() {
    if (m_busy)
        return;
    QTreeWidgetItem* item = m_list->currentItem();
    const int row = item && item->isSelected() ? m_list->indexOfTopLevelItem(item) : -1;
    if (row >= 0 && row < static_cast<int>(m_servers.size()))
        m_chosen = m_servers[static_cast<std::size_t>(row)].host;
    QDialog::accept();
}
