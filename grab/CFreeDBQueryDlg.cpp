#include "CFreeDBQueryDlg.h"

#include "AppResources.h"
#include "BackgroundCall.h"
#include "CHyperLink.h"
#include "CddbClient.h"
#include "CddbSettings.h"
#include "ControlTag.h"
#include "FreeDBLookup.h"
#include "FreeDBText.h"
#include "GrabText.h"
#include "MessageService.h"
#include "SettingsRecord.h"
#include "StringIds.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdlib>

using cld::tagControl;

namespace {

QString text(int control, const char* english) {
    return AppResources::controlText(CFreeDBQueryDlg::kDialogId, control,
                                     QString::fromUtf8(english));
}

QString fromUtf8(const std::string& bytes) {
    return QString::fromStdString(cld::utf8Text(bytes));
}

// Set when the user would rather not give an e-mail address: not asked again in this run.
bool s_emailDeclined = false;

// The address the user types, or empty when they would rather not give one.
std::string askEmailAddress(QWidget* parent) {
    QDialog question(parent);
    tagControl(&question, CFreeDBQueryDlg::kEmailDialogId);
    question.setWindowTitle(AppResources::string(cld::IDS_FREEDB_EMAIL_TITLE));
    auto* label = new QLabel(AppResources::string(cld::IDS_FREEDB_EMAIL_QUESTION), &question);
    label->setWordWrap(true);
    auto* edit = tagControl(new QLineEdit(&question), CFreeDBQueryDlg::kEmailEdit);
    edit->setPlaceholderText(QStringLiteral("name@example.org"));
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(&question);
    tagControl(buttons->addButton(text(1, "O&K"), QDialogButtonBox::AcceptRole), 1);
    tagControl(buttons->addButton(text(2, "&Cancel"), QDialogButtonBox::RejectRole), 2);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &question, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &question, &QDialog::reject);
    auto* layout = new QVBoxLayout(&question);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    question.setMinimumWidth(420);
    while (question.exec() == QDialog::Accepted) {
        const std::string address = edit->text().trimmed().toStdString();
        if (address.empty())
            return {};
        if (CddbClient::validEmail(address))
            return address;
        MessageService::message(cld::IDS_BAD_EMAIL, MessageIcon::Exclamation, MessageButtons::Ok,
                                &question);
    }
    return {};
}

// The busy cursor (an arrow with a wait sign: the window still takes clicks) while it lives.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

CFreeDBListDlg::Look queryLook() {
    CFreeDBListDlg::Look look;
    look.dialogId = CFreeDBQueryDlg::kDialogId;
    look.listId = CFreeDBQueryDlg::kList;
    look.statusId = CFreeDBQueryDlg::kStatus;
    look.headers = CFreeDBQueryDlg::columnHeaders();
    look.caption = "FreeDB Query Results:";
    look.width = 620;
    look.linkFirst = true;
    return look;
}

} // namespace

void CFreeDBQueryDlg::forgetDeclinedEmail() {
    s_emailDeclined = false;
}

QStringList CFreeDBQueryDlg::columnHeaders() {
    return {QStringLiteral("           Artist           "),
            QStringLiteral("            Title            "), QStringLiteral("   Category   "),
            QStringLiteral("   Disc ID   ")};
}

CFreeDBQueryDlg::CFreeDBQueryDlg(SettingsRecord& settings, Disc disc, QWidget* parent)
    : CFreeDBListDlg(settings, parent, queryLook()), m_settings(settings), m_disc(std::move(disc)) {
}

CFreeDBQueryDlg::~CFreeDBQueryDlg() = default;

void CFreeDBQueryDlg::startCommand() {
    std::vector<MsfTime> toc;
    if (!cld::tocFromStartTexts(m_disc.startTexts, m_disc.discSeconds, toc) ||
        m_disc.startTexts.empty()) {
        m_queryDone = true;
        MessageService::message(142, MessageIcon::None, MessageButtons::Ok, this);
        reject();
        return;
    }
    askForEmail();
    cld::FreeDBLookup::QueryResult outcome;
    std::vector<CddbMatch> matches;
    {
        const BusyCursor cursor;
        setQueryBusy(true);
        cld::FreeDBLookup* lookup = m_lookup.get();
        const std::uint32_t discId = m_disc.discId;
        outcome = cld::callInBackground(
            [lookup, discId, &toc, &matches] { return lookup->query(discId, toc, matches); },
            WaitService::instance());
        setQueryBusy(false);
    }
    m_queryDone = true;
    if (cancelRequested() || m_lookup->cancelled()) {
        QDialog::reject();
        return;
    }
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
    // A single match is the one OK reads.
    if (m_matches.size() == 1) {
        m_list->setCurrentItem(m_list->topLevelItem(0));
        m_list->topLevelItem(0)->setSelected(true);
    }
}

void CFreeDBQueryDlg::askForEmail() {
    const char* fromEnvironment = std::getenv(kCddbEmailVariable);
    if (!m_settings.freeDBEmail().empty() || (fromEnvironment && *fromEnvironment) ||
        s_emailDeclined)
        return;
    const std::string address = askEmailAddress(this);
    if (address.empty()) {
        // The anonymous identity the client already has is sent.
        s_emailDeclined = true;
        return;
    }
    m_settings.setFreeDBEmail(address);
    m_lookup->client().setEmail(address);
}

void CFreeDBQueryDlg::setQueryBusy(bool busy) {
    setBusy(busy, QString::fromStdString(m_lookup->serverName()));
}

void CFreeDBQueryDlg::accept() {
    if (busy())
        return;
    const int row = selectedRow();
    if (row < 0 || row >= static_cast<int>(m_matches.size())) {
        MessageService::message(148, MessageIcon::None, MessageButtons::Ok, this);
        return;
    }
    const CddbMatch& match = m_matches[static_cast<std::size_t>(row)];
    XmcdEntry entry;
    bool ok = false;
    {
        const BusyCursor cursor;
        setQueryBusy(true);
        cld::FreeDBLookup* lookup = m_lookup.get();
        const std::uint32_t discId = match.discId;
        const std::string category = match.category;
        ok = cld::callInBackground(
            [lookup, discId, category, &entry] { return lookup->read(discId, category, entry); },
            WaitService::instance());
        setQueryBusy(false);
    }
    if (cancelRequested() || (!ok && m_lookup->cancelled())) {
        QDialog::reject();
        return;
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
    // The table names the public service; the server asked may be another one.
    message.text.replace(QLatin1String(cld::kFreeDBDomain),
                         QString::fromStdString(m_lookup->serverName()));
    const std::string& detail = m_lookup->lastErrorMessage();
    if (!detail.empty())
        message.text += QStringLiteral("\n\n") + QString::fromStdString(detail);
    message.icon = MessageIcon::Error;
    message.parent = this;
    MessageService::instance().show(message);
}
