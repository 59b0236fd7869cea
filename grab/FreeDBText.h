#pragma once

#include <QString>

class CHyperLink;
class QTreeWidget;
struct CddbServer;
class QWidget;

namespace cld {

// The domain of the FreeDB service the program asks, as the link and message 145 name it.
inline constexpr const char* kFreeDBDomain = "gnudb.org";

// The "CD Database Provided by" link of both FreeDB dialogs (control 1144), naming the
// server the dialog asks: the FreeDB service's own domain for its hosts, otherwise the
// server ("host" or "host:port"), linked to its start page.
CHyperLink* makeFreeDBLink(QWidget* parent, int dialogId, const CddbServer& server);
// Points an existing link at another server, as makeFreeDBLink names it.
void showFreeDBServer(CHyperLink* link, int dialogId, const CddbServer& server);
// A report-view list as the FreeDB dialogs and the grabber show them: grid lines, hot
// tracking, full-row selection.
void styleReportList(QTreeWidget* list);
// Sizes every column of the list to its header text.
void sizeColumnsToHeaders(QTreeWidget* list);

} // namespace cld
