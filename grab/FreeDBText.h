#pragma once

#include <QString>

class CHyperLink;
class QTreeWidget;
class QWidget;

namespace cld {

// The domain of the FreeDB service the program asks, as the link and message 145 name it.
inline constexpr const char* kFreeDBDomain = "gnudb.org";

// The "CD Database Provided by" link of both FreeDB dialogs (control 1144).
CHyperLink* makeFreeDBLink(QWidget* parent, int dialogId);
// A report-view list as the FreeDB dialogs and the grabber show them: grid lines, hot
// tracking, full-row selection.
void styleReportList(QTreeWidget* list);
// Sizes every column of the list to its header text.
void sizeColumnsToHeaders(QTreeWidget* list);

} // namespace cld
