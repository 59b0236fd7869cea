#include "FreeDBText.h"

#include "AppResources.h"
#include "CHyperLink.h"
#include "CddbServer.h"
#include "CddbSettings.h"
#include "ControlTag.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace cld {

namespace {

bool isFreeDBServiceHost(const std::string& host) {
    const QString h = QString::fromStdString(host).toLower();
    const QString domain = QLatin1String(kFreeDBDomain);
    return h == domain || h.endsWith(QLatin1Char('.') + domain);
}

} // namespace

void showFreeDBServer(CHyperLink* link, int dialogId, const CddbServer& server) {
    // The translated text names the service's domain; another server takes its place.
    QString text = AppResources::controlText(
        dialogId, 1144, QStringLiteral("CD Database Provided by ") + QLatin1String(kFreeDBDomain));
    QUrl url(QStringLiteral("https://") + QLatin1String(kFreeDBDomain));
    if (!isFreeDBServiceHost(server.host)) {
        const QString name = QString::fromStdString(cddbServerName(server));
        text.replace(QLatin1String(kFreeDBDomain), name);
        url = QUrl(QStringLiteral("http://") + name + QLatin1Char('/'));
    }
    link->setText(text);
    link->setUrl(url);
}

CHyperLink* makeFreeDBLink(QWidget* parent, int dialogId, const CddbServer& server) {
    auto* link = tagControl(new CHyperLink(parent), 1144);
    showFreeDBServer(link, dialogId, server);
    return link;
}

void styleReportList(QTreeWidget* list) {
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setMouseTracking(true);
    // Grid lines; a styled item no longer takes the selection's colours by itself, so a
    // selected row is given the platform's highlight and highlighted text.
    list->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid #d4d4d4; "
                                       "border-bottom: 1px solid #d4d4d4; }"
                                       "QTreeView::item:selected { "
                                       "background-color: palette(highlight); "
                                       "color: palette(highlighted-text); }"));
}

void sizeColumnsToHeaders(QTreeWidget* list) {
    const QFontMetrics metrics = list->header()->fontMetrics();
    for (int c = 0; c < list->columnCount(); ++c)
        list->setColumnWidth(c, metrics.horizontalAdvance(list->headerItem()->text(c)) + 16);
}

} // namespace cld
