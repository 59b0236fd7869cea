#include "CFreeDBServersDlg.h"

#include "AppResources.h"
#include "BackgroundCall.h"
#include "CddbSettings.h"
#include "FreeDBLookup.h"
#include "FreeDBText.h"
#include "GrabText.h"
#include "MessageService.h"
#include "StringIds.h"

#include <QApplication>
#include <QTreeWidget>
#include <cerrno>

namespace {

// A failure that says the server could not be reached at all: its name could not be
// looked up, or there is no route to it.
bool unreachable(int error) {
    return error == kCddbHostNotFound || error == ENETUNREACH || error == EHOSTUNREACH ||
           error == ENETDOWN;
}

CFreeDBListDlg::Look serversLook() {
    CFreeDBListDlg::Look look;
    look.dialogId = CFreeDBServersDlg::kDialogId;
    look.listId = CFreeDBServersDlg::kList;
    look.statusId = CFreeDBServersDlg::kStatus;
    look.headers = CFreeDBServersDlg::columnHeaders();
    look.caption = "FreeDB Servers:";
    look.width = 460;
    look.linkFirst = false;
    return look;
}

} // namespace

QStringList CFreeDBServersDlg::columnHeaders() {
    return {QStringLiteral("   Server Address   "), QStringLiteral("   Location   ")};
}

CFreeDBServersDlg::CFreeDBServersDlg(const SettingsRecord& settings, QWidget* parent,
                                     std::string listHost, const std::string& email)
    : CFreeDBListDlg(settings, parent, serversLook()),
      m_listHost(listHost.empty() ? std::string(kDefaultCddbHost) : std::move(listHost)) {
    // The list comes from this server, which need not be the one the settings name.
    cld::showFreeDBServer(m_link, kDialogId, cddbServerFor(m_listHost));
    if (!email.empty())
        m_lookup->client().setEmail(email);
}

CFreeDBServersDlg::~CFreeDBServersDlg() = default;

void CFreeDBServersDlg::startCommand() {
    std::vector<CddbServer> servers;
    bool ok = false;
    {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        setBusy(true, QString::fromStdString(cddbServerName(cddbServerFor(m_listHost))));
        cld::FreeDBLookup* lookup = m_lookup.get();
        const std::string host = m_listHost;
        ok =
            cld::callInBackground([lookup, host, &servers] { return lookup->sites(host, servers); },
                                  WaitService::instance());
        setBusy(false);
        QApplication::restoreOverrideCursor();
    }
    m_listDone = true;
    if (cancelRequested() || m_lookup->cancelled()) {
        QDialog::reject();
        return;
    }
    if (!ok) {
        const QString server = QString::fromStdString(m_lookup->serverName());
        Message message;
        if (unreachable(m_lookup->lastError())) {
            // Offline: no server is busy, the network (or the name's look-up) is missing.
            message.stringId = cld::IDS_FREEDB_UNREACHABLE;
            message.text = AppResources::string(cld::IDS_FREEDB_UNREACHABLE).arg(server);
        } else {
            // The table names the public service; the server asked may be another one.
            message.stringId = 145;
            message.text = AppResources::string(145);
            message.text.replace(QLatin1String(cld::kFreeDBDomain), server);
        }
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

void CFreeDBServersDlg::accept() {
    if (busy())
        return;
    const int row = selectedRow();
    if (row >= 0 && row < static_cast<int>(m_servers.size()))
        m_chosen = m_servers[static_cast<std::size_t>(row)].host;
    QDialog::accept();
}
