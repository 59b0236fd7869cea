#include "CFreeDBQueryDlg.h"

#include "AppResources.h"
#include "BackgroundCall.h"
#include "CHyperLink.h"
#include "ControlTag.h"
#include "FreeDBLookup.h"
#include "FreeDBText.h"
#include "GrabText.h"
#include "MessageService.h"
#include "WaitCursor.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using cld::tagControl;

namespace {

QString text(int control, const char* english) {
    return AppResources::controlText(CFreeDBQueryDlg::kDialogId, control,
                                     QString::fromUtf8(english));
}

QString fromUtf8(const std::string& bytes) {
    return QString::fromStdString(cld::utf8Text(bytes));
}

} // namespace

QStringList CFreeDBQueryDlg::columnHeaders() {
    return {QStringLiteral("           Artist           "),
            QStringLiteral("            Title            "), QStringLiteral("   Category   "),
            QStringLiteral("   Disc ID   ")};
}

CFreeDBQueryDlg::CFreeDBQueryDlg(const SettingsRecord& settings, Disc disc, QWidget* parent)
    : QDialog(parent), m_lookup(std::make_unique<cld::FreeDBLookup>(settings)),
      m_disc(std::move(disc)) {
    tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_list = tagControl(new QTreeWidget(this), kList);
    m_list->setHeaderLabels(columnHeaders());
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    cld::styleReportList(m_list);
    m_list->headerItem()->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 1; c < 4; ++c)
        m_list->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    cld::sizeColumnsToHeaders(m_list);
    m_link = cld::makeFreeDBLink(this, kDialogId);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok =
        tagControl(buttons->addButton(text(1, "O&K"), QDialogButtonBox::AcceptRole), 1);
    QPushButton* cancel =
        tagControl(buttons->addButton(text(2, "&Cancel"), QDialogButtonBox::RejectRole), 2);
    (void)ok;
    (void)cancel;
    connect(buttons, &QDialogButtonBox::accepted, this, &CFreeDBQueryDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CFreeDBQueryDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text(-1, "FreeDB Query Results:"), this));
    layout->addWidget(m_list, 1);
    layout->addWidget(m_link);
    layout->addWidget(buttons);
    resize(620, 300);
}

CFreeDBQueryDlg::~CFreeDBQueryDlg() = default;

void CFreeDBQueryDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_queryStarted) {
        m_queryStarted = true;
        // The query runs once the window is up, so the user sees what is waited for.
        QTimer::singleShot(0, this, &CFreeDBQueryDlg::runQuery);
    }
}

void CFreeDBQueryDlg::runQuery() {
    std::vector<MsfTime> toc;
    if (!cld::tocFromStartTexts(m_disc.startTexts, m_disc.discSeconds, toc) ||
        m_disc.startTexts.empty()) {
        m_queryDone = true;
        MessageService::message(142, MessageIcon::None, MessageButtons::Ok, this);
        reject();
        return;
    }
    cld::FreeDBLookup::QueryResult outcome;
    std::vector<CddbMatch> matches;
    {
        const cld::WaitCursor wait(this);
        cld::FreeDBLookup* lookup = m_lookup.get();
        const std::uint32_t discId = m_disc.discId;
        outcome = cld::callInBackground(
            [lookup, discId, &toc, &matches] { return lookup->query(discId, toc, matches); },
            WaitService::instance());
    }
    m_queryDone = true;
    if (outcome == cld::FreeDBLookup::QueryResult::Failed) {
        showFailure(145);
        reject();
        return;
    }
    if (outcome == cld::FreeDBLookup::QueryResult::NoMatch) {
        MessageService::message(147, MessageIcon::None, MessageButtons::Ok, this);
        return;
    }
    m_matches = std::move(matches);
    for (const CddbMatch& match : m_matches) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, fromUtf8(match.artist));
        item->setText(1, fromUtf8(match.title));
        item->setText(2, fromUtf8(match.category));
        item->setText(3, QString::fromStdString(cld::discIdText(match.discId)));
        item->setTextAlignment(0, Qt::AlignLeft | Qt::AlignVCenter);
        for (int c = 1; c < 4; ++c)
            item->setTextAlignment(c, Qt::AlignCenter);
    }
}

void CFreeDBQueryDlg::accept() {
    QTreeWidgetItem* item = m_list->currentItem();
    const int row = item && item->isSelected() ? m_list->indexOfTopLevelItem(item) : -1;
    if (row < 0 || row >= static_cast<int>(m_matches.size())) {
        MessageService::message(148, MessageIcon::None, MessageButtons::Ok, this);
        return;
    }
    const CddbMatch& match = m_matches[static_cast<std::size_t>(row)];
    XmcdEntry entry;
    bool ok = false;
    {
        const cld::WaitCursor wait(this);
        cld::FreeDBLookup* lookup = m_lookup.get();
        const std::uint32_t discId = match.discId;
        const std::string category = match.category;
        ok = cld::callInBackground(
            [lookup, discId, category, &entry] { return lookup->read(discId, category, entry); },
            WaitService::instance());
    }
    if (!ok) {
        showFailure(149);
        return;
    }
    m_result = Result{};
    m_result.artist = cld::utf8Text(entry.artist);
    m_result.album = cld::utf8Text(entry.title);
    m_result.category = cld::utf8Text(match.category);
    for (const std::string& title : entry.trackTitles)
        m_result.titles.push_back(cld::utf8Text(title));
    QDialog::accept();
}

void CFreeDBQueryDlg::showFailure(int stringId) {
    // The table's text, then what went wrong as the client and the server put it (an
    // unknown e-mail address, no such entry, a proxy that wants a password ...).
    Message message;
    message.stringId = stringId;
    message.text = AppResources::string(stringId);
    const std::string& detail = m_lookup->lastErrorMessage();
    if (!detail.empty())
        message.text += QStringLiteral("\n\n") + QString::fromStdString(detail);
    message.icon = MessageIcon::Error;
    message.parent = this;
    MessageService::instance().show(message);
}
