#include "FreeDBText.h"

#include "AppResources.h"
#include "CHyperLink.h"
#include "ControlTag.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace cld {

CHyperLink* makeFreeDBLink(QWidget* parent, int dialogId) {
    const QString text = AppResources::controlText(
        dialogId, 1144, QStringLiteral("CD Database Provided by ") + QLatin1String(kFreeDBDomain));
    auto* link = new CHyperLink(
        text, QUrl(QStringLiteral("https://") + QLatin1String(kFreeDBDomain)), parent);
    return tagControl(link, 1144);
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
