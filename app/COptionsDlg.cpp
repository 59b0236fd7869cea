#include "COptionsDlg.h"

#include "AppResources.h"
#include "CFreeDBServersDlg.h"
#include "CddbClient.h"
#include "CddbSettings.h"
#include "ControlTag.h"
#include "JobContext.h"
#include "Log.h"
#include "MbHttp.h"
#include "MessageService.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "VerifiedRip.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/NameText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

using cld::tagControl;

namespace {

// The read offset box for the drive the CD jobs use, when there is a drive.
void addReadOffsetOfDrive(COptionsDlg& dialog, JobContext& context) {
    if (!context.driveSettings || context.driveSettings->GetDriveCount() <= 0)
        return;
    const int index = std::max(0, context.grabSelection.driveIndex);
    NameText* name = nullptr;
    if (context.driveSettings->GetDriveName(&name, index) != 0 || !name)
        return;
    const std::string drive = QString::fromUtf8(name->text()).trimmed().toStdString();
    NameText::Release(name);
    JobContext* ctx = &context;
    dialog.addReadOffset(drive, context.settings.readOffsetFor(drive),
                         [ctx, index](int& offset, int& confidence, std::string& why) {
                             const cld::OffsetDetection d =
                                 cld::detectReadOffset(*ctx, index, QDir::tempPath().toStdString());
                             offset = d.offset;
                             confidence = d.confidence;
                             why = d.why;
                             return d.found;
                         });
}

QString text(int control, const char* english) {
    return AppResources::controlText(COptionsDlg::kDialogId, control, QString::fromUtf8(english));
}

} // namespace

LanguageChoice COptionsDlg::builtinLanguages() {
    LanguageChoice choice;
    choice.names = {QStringLiteral("English")};
    choice.current = 0;
    return choice;
}

COptionsDlg::COptionsDlg(const SettingsRecord& settings, LanguageChoice languages, QWidget* parent,
                         std::string serverListHost)
    : QDialog(parent), m_settings(settings), m_languages(std::move(languages)),
      m_serverListHost(std::move(serverListHost)), m_freeDBServer(settings.freeDBServer()),
      m_useProxy(settings.useProxy()), m_proxyServer(settings.proxyServer()),
      m_proxyPort(settings.proxyPort()), m_freeDBEmail(settings.freeDBEmail()),
      m_discNameSource(settings.discNameSource()),
      m_musicBrainzServer(settings.musicBrainzServer()),
      m_coverArtServer(settings.coverArtServer()) {
    tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_server =
        tagControl(new QLineEdit(QString::fromStdString(m_freeDBServer), this), kFreeDBServer);
    m_server->setPlaceholderText(QStringLiteral("host, host:port or http://host:port/path"));
    auto* browse = tagControl(new QPushButton(text(kBrowseServers, "&Browse Servers..."), this),
                              kBrowseServers);
    browse->setAutoDefault(false);
    m_proxy = tagControl(new QCheckBox(text(kUseProxy, "&Proxy Server"), this), kUseProxy);
    m_proxy->setChecked(m_useProxy == 1);
    m_proxyHost =
        tagControl(new QLineEdit(QString::fromStdString(m_proxyServer), this), kProxyServer);
    m_port = tagControl(new QLineEdit(QString::number(m_proxyPort), this), kProxyPort);
    m_port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_port));
    m_port->setAlignment(Qt::AlignRight);
    m_port->setMaximumWidth(70);
    m_proxyHost->setEnabled(m_useProxy == 1);
    m_port->setEnabled(m_useProxy == 1);
    m_email = tagControl(new QLineEdit(QString::fromStdString(m_freeDBEmail), this), kFreeDBEmail);
    m_email->setPlaceholderText(QStringLiteral("name@example.org"));

    m_language = tagControl(new QComboBox(this), kLanguage);
    m_language->addItems(m_languages.names);
    if (m_languages.current >= 0 && m_languages.current < m_language->count())
        m_language->setCurrentIndex(m_languages.current);

    auto* group = new QGroupBox(text(-1, " Internet FreeDB Settings "), this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(text(-1, "FreeDB Server:"), group), 0, 0);
    grid->addWidget(m_server, 0, 1, 1, 3);
    grid->addWidget(browse, 0, 4);
    grid->addWidget(m_proxy, 1, 0, 1, 5);
    grid->addWidget(new QLabel(text(-1, "Server:"), group), 2, 0);
    grid->addWidget(m_proxyHost, 2, 1);
    grid->addWidget(new QLabel(text(-1, "Port:"), group), 2, 2);
    grid->addWidget(m_port, 2, 3);
    grid->addWidget(new QLabel(text(-1, "E-mail:"), group), 3, 0);
    grid->addWidget(m_email, 3, 1, 1, 4);
    grid->setColumnStretch(1, 1);

    // Disc names and covers from MusicBrainz, beside FreeDB.
    m_nameSource = tagControl(new QComboBox(this), kNameSource);
    m_nameSource->addItem(text(-1, "MusicBrainz, then FreeDB"));
    m_nameSource->addItem(text(-1, "MusicBrainz only"));
    m_nameSource->addItem(text(-1, "FreeDB only"));
    m_nameSource->setCurrentIndex(std::clamp(m_discNameSource, 0, 2));
    m_mbServer = tagControl(new QLineEdit(QString::fromStdString(m_musicBrainzServer), this),
                            kMusicBrainzServer);
    m_mbServer->setPlaceholderText(QString::fromUtf8(SettingsRecord::kDefaultMusicBrainzServer));
    m_coverServer =
        tagControl(new QLineEdit(QString::fromStdString(m_coverArtServer), this), kCoverArtServer);
    m_coverServer->setPlaceholderText(QString::fromUtf8(SettingsRecord::kDefaultCoverArtServer));
    auto* names = new QGroupBox(text(-1, " Disc Names and Covers "), this);
    auto* namesGrid = new QGridLayout(names);
    namesGrid->addWidget(new QLabel(text(-1, "Ask:"), names), 0, 0);
    namesGrid->addWidget(m_nameSource, 0, 1);
    namesGrid->addWidget(new QLabel(text(-1, "MusicBrainz Server:"), names), 1, 0);
    namesGrid->addWidget(m_mbServer, 1, 1);
    namesGrid->addWidget(new QLabel(text(-1, "Cover Server:"), names), 2, 0);
    namesGrid->addWidget(m_coverServer, 2, 1);
    namesGrid->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(this);
    tagControl(buttons->addButton(text(1, "O&K"), QDialogButtonBox::AcceptRole), 1);
    tagControl(buttons->addButton(text(2, "&Cancel"), QDialogButtonBox::RejectRole), 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(names);
    layout->addWidget(new QLabel(text(-1, "Select Language:"), this));
    layout->addWidget(m_language);
    layout->addWidget(buttons);
    setMinimumWidth(440);

    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_proxy, &QCheckBox::toggled, this, &COptionsDlg::proxyToggled);
    connect(browse, &QPushButton::clicked, this, &COptionsDlg::browseServers);
    connect(m_language, &QComboBox::currentIndexChanged, this, &COptionsDlg::languageChanged);
}

void COptionsDlg::proxyToggled(bool on) {
    m_proxyHost->setEnabled(on);
    m_port->setEnabled(on);
}

void COptionsDlg::browseServers() {
    // The list comes from the server in the field (a mirror of one's own answers with its
    // own list), greeted with the address in the field when it is one.
    const std::string listHost =
        m_serverListHost.empty() ? m_server->text().trimmed().toStdString() : m_serverListHost;
    const std::string email = m_email->text().trimmed().toStdString();
    CFreeDBServersDlg servers(m_settings, this, listHost,
                              CddbClient::validEmail(email) ? email : std::string());
    if (servers.exec() != QDialog::Accepted || servers.chosenHost().empty())
        return;
    m_freeDBServer = servers.chosenHost();
    m_server->setText(QString::fromStdString(m_freeDBServer));
}

void COptionsDlg::languageChanged(int index) {
    (void)index;
    MessageService::message(216, MessageIcon::Information, MessageButtons::Ok, this);
}

void COptionsDlg::addReadOffset(const std::string& drive, int offset, OffsetDetector detect) {
    if (m_readOffsetEdit)
        return;
    m_readOffsetDrive = drive;
    m_readOffset = offset;
    m_detect = std::move(detect);
    auto* group = new QGroupBox(QString::fromStdString(" " + drive + " "), this);
    auto* grid = new QGridLayout(group);
    auto* help = new QLabel(AppResources::string(cld::IDS_READ_OFFSET_HELP), group);
    help->setWordWrap(true);
    m_readOffsetEdit = tagControl(new QLineEdit(QString::number(offset), group), kReadOffset);
    m_readOffsetEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("-?[0-9]{0,6}")), m_readOffsetEdit));
    m_readOffsetEdit->setAlignment(Qt::AlignRight);
    m_readOffsetEdit->setMaximumWidth(90);
    auto* detectButton = tagControl(
        new QPushButton(AppResources::string(cld::IDS_DETECT_OFFSET), group), kDetectOffset);
    detectButton->setAutoDefault(false);
    detectButton->setEnabled(static_cast<bool>(m_detect));
    grid->addWidget(help, 0, 0, 1, 3);
    grid->addWidget(new QLabel(AppResources::string(cld::IDS_READ_OFFSET_LABEL), group), 1, 0);
    grid->addWidget(m_readOffsetEdit, 1, 1);
    grid->addWidget(detectButton, 1, 2);
    grid->setColumnStretch(2, 1);
    if (auto* box = qobject_cast<QVBoxLayout*>(layout()))
        box->insertWidget(box->count() - 1, group);
    connect(detectButton, &QPushButton::clicked, this, &COptionsDlg::detectOffset);
}

void COptionsDlg::detectOffset() {
    if (!m_detect)
        return;
    int offset = 0, confidence = 0;
    std::string why;
    setEnabled(false);
    const bool found = m_detect(offset, confidence, why);
    setEnabled(true);
    if (!found) {
        MessageService::message(cld::IDS_OFFSET_NOT_FOUND, MessageIcon::Exclamation,
                                MessageButtons::Ok, this, QString::fromStdString(why));
        return;
    }
    m_readOffsetEdit->setText(QString::number(offset));
    MessageService::message(cld::IDS_OFFSET_FOUND, MessageIcon::Information, MessageButtons::Ok,
                            this, QString::number(offset));
}

void COptionsDlg::accept() {
    if (m_readOffsetEdit) {
        bool offsetOk = false;
        const int offset = m_readOffsetEdit->text().toInt(&offsetOk);
        if (!offsetOk || offset < -SettingsRecord::kMaxReadOffset ||
            offset > SettingsRecord::kMaxReadOffset) {
            MessageService::message(cld::IDS_BAD_OFFSET, MessageIcon::Error, MessageButtons::Ok,
                                    this);
            m_readOffsetEdit->setFocus();
            return;
        }
        m_readOffset = offset;
    }
    bool ok = false;
    const int port = m_port->text().toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        MessageService::message(cld::IDS_BAD_PROXY_PORT, MessageIcon::Error, MessageButtons::Ok,
                                this);
        m_port->setFocus();
        return;
    }
    CddbServer server;
    if (!parseCddbServer(m_server->text().toStdString(), server)) {
        MessageService::message(cld::IDS_BAD_FREEDB_SERVER, MessageIcon::Error, MessageButtons::Ok,
                                this);
        m_server->setFocus();
        return;
    }
    const std::string email = m_email->text().trimmed().toStdString();
    if (!email.empty() && !CddbClient::validEmail(email)) {
        MessageService::message(cld::IDS_BAD_EMAIL, MessageIcon::Error, MessageButtons::Ok, this);
        m_email->setFocus();
        return;
    }
    // Empty means the public server; anything else must be an http server.
    cld::mb::HttpUrl url;
    for (QLineEdit* field : {m_mbServer, m_coverServer}) {
        const std::string typed = field->text().trimmed().toStdString();
        if (!typed.empty() && !cld::mb::parseHttpUrl(typed, url)) {
            MessageService::message(cld::IDS_BAD_MUSICBRAINZ_SERVER, MessageIcon::Error,
                                    MessageButtons::Ok, this);
            field->setFocus();
            return;
        }
    }
    const int language = m_language->currentIndex();
    if (m_languages.select && language >= 0 && language != m_languages.current)
        m_languages.select(language);
    m_freeDBServer = m_server->text().trimmed().toStdString();
    m_useProxy = m_proxy->isChecked() ? 1 : 0;
    m_proxyServer = m_proxyHost->text().trimmed().toStdString();
    m_proxyPort = port;
    m_freeDBEmail = email;
    m_discNameSource = m_nameSource->currentIndex();
    m_musicBrainzServer = m_mbServer->text().trimmed().toStdString();
    m_coverArtServer = m_coverServer->text().trimmed().toStdString();
    QDialog::accept();
}

void runOptionsCommand(JobContext& context, QWidget* launcher, LanguageChoice languages) {
    COptionsDlg dialog(context.settings, std::move(languages), launcher);
    addReadOffsetOfDrive(dialog, context);
    if (dialog.exec() == QDialog::Rejected)
        return;
    if (dialog.hasReadOffset() &&
        !context.settings.setReadOffsetFor(dialog.readOffsetDrive(), dialog.readOffset()))
        cld::logf(cld::LogLevel::Warning, "The read offset could not be stored (error %u).",
                  static_cast<unsigned>(context.settings.LastError()));
    if (!context.settings.setCddbOptions(dialog.freeDBServer(), dialog.proxyServer(),
                                         dialog.useProxy(), dialog.proxyPort()))
        cld::logf(cld::LogLevel::Warning, "The options could not be stored (error %u).",
                  static_cast<unsigned>(context.settings.LastError()));
    if (dialog.freeDBEmail() != context.settings.freeDBEmail() &&
        !context.settings.setFreeDBEmail(dialog.freeDBEmail()))
        cld::logf(cld::LogLevel::Warning, "The e-mail address could not be stored (error %u).",
                  static_cast<unsigned>(context.settings.LastError()));
    SettingsRecord& settings = context.settings;
    const bool sourceKept = dialog.discNameSource() == settings.discNameSource() ||
                            settings.setDiscNameSource(dialog.discNameSource());
    const bool serverKept = dialog.musicBrainzServer() == settings.musicBrainzServer() ||
                            settings.setMusicBrainzServer(dialog.musicBrainzServer());
    const bool coverKept = dialog.coverArtServer() == settings.coverArtServer() ||
                           settings.setCoverArtServer(dialog.coverArtServer());
    if (!sourceKept || !serverKept || !coverKept)
        cld::logf(cld::LogLevel::Warning, "The MusicBrainz options could not be stored (error %u).",
                  static_cast<unsigned>(settings.LastError()));
}
