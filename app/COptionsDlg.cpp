#include "COptionsDlg.h"

#include "AppResources.h"
#include "ArLookup.h"
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
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

using cld::tagControl;

namespace {

// The drives as the ripper names them (the names key their stored offsets).
std::vector<std::string> driveNames(CDRipDriveSettings* drives) {
    std::vector<std::string> names;
    const int count = drives ? drives->GetDriveCount() : 0;
    for (int i = 0; i < count; ++i) {
        NameText* name = nullptr;
        std::string text;
        if (drives->GetDriveName(&name, i) == 0 && name) {
            text = name->text();
            NameText::Release(name);
        }
        names.push_back(std::move(text));
    }
    return names;
}

// The read offset box with every drive, when there is one.
void addReadOffsetsOfDrives(COptionsDlg& dialog, JobContext& context) {
    const std::vector<std::string> names = driveNames(context.driveSettings);
    if (names.empty())
        return;
    std::vector<COptionsDlg::DriveOffset> drives;
    for (const std::string& name : names)
        drives.push_back({name, context.settings.readOffsetFor(name)});
    JobContext* ctx = &context;
    dialog.addReadOffsets(
        std::move(drives),
        initialOffsetDrive(names, context.settings.lastCD(), context.grabSelection.driveIndex),
        [ctx](int index, int& offset, int& confidence, std::string& why) {
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

int initialOffsetDrive(const std::vector<std::string>& drives, const std::string& lastCD,
                       int fallback) {
    const QString last = QString::fromStdString(lastCD).trimmed();
    if (!last.isEmpty()) {
        for (size_t i = 0; i < drives.size(); ++i)
            if (QString::fromStdString(drives[i]).trimmed() == last)
                return static_cast<int>(i);
        for (size_t i = 0; i < drives.size(); ++i)
            if (QString::fromStdString(drives[i]).startsWith(last, Qt::CaseInsensitive))
                return static_cast<int>(i);
    }
    return fallback >= 0 && static_cast<size_t>(fallback) < drives.size() ? fallback : 0;
}

LanguageChoice COptionsDlg::builtinLanguages() {
    LanguageChoice choice;
    choice.names = {QStringLiteral("English")};
    choice.current = 0;
    return choice;
}

COptionsDlg::COptionsDlg(SettingsRecord& settings, LanguageChoice languages, QWidget* parent,
                         std::string serverListHost)
    : QDialog(parent), m_settings(settings), m_languages(std::move(languages)),
      m_serverListHost(std::move(serverListHost)), m_freeDBServer(settings.freeDBServer()),
      m_useProxy(settings.useProxy()), m_proxyServer(settings.proxyServer()),
      m_proxyPort(settings.proxyPort()), m_freeDBEmail(settings.freeDBEmail()),
      m_discNameSource(settings.discNameSource()),
      m_musicBrainzServer(settings.musicBrainzServer()),
      m_coverArtServer(settings.coverArtServer()), m_parallelJobs(settings.parallelJobs()),
      m_accurateRipLookup(settings.accurateRipLookup()),
      m_accurateRipServer(settings.accurateRipServer()) {
    // The public database shows as the field's hint, not as its text.
    if (m_accurateRipServer == SettingsRecord::kDefaultAccurateRipServer)
        m_accurateRipServer.clear();
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
    // Rips are checked against the AccurateRip database, beside the other servers.
    m_arLookup = tagControl(new QCheckBox(AppResources::string(cld::IDS_AR_LOOKUP_CHECK), names),
                            kAccurateRipLookup);
    m_arLookup->setChecked(m_accurateRipLookup);
    m_arServer = tagControl(new QLineEdit(QString::fromStdString(m_accurateRipServer), names),
                            kAccurateRipServer);
    m_arServer->setPlaceholderText(QString::fromUtf8(SettingsRecord::kDefaultAccurateRipServer));
    m_arServer->setEnabled(m_accurateRipLookup);
    auto* arServerLabel = new QLabel(AppResources::string(cld::IDS_AR_SERVER_LABEL), names);
    arServerLabel->setBuddy(m_arServer);
    namesGrid->addWidget(m_arLookup, 3, 0, 1, 2);
    namesGrid->addWidget(arServerLabel, 4, 0);
    namesGrid->addWidget(m_arServer, 4, 1);
    namesGrid->setColumnStretch(1, 1);

    // Files converted at once by the batches; the lowest value stands for the core count.
    m_parallel = tagControl(new QSpinBox(this), kParallelJobs);
    m_parallel->setRange(0, SettingsRecord::kMaxParallelJobs);
    m_parallel->setSpecialValueText(AppResources::string(cld::IDS_PARALLEL_ALL_CORES));
    m_parallel->setValue(std::clamp(m_parallelJobs, 0, SettingsRecord::kMaxParallelJobs));
    auto* parallelLabel = new QLabel(AppResources::string(cld::IDS_PARALLEL_JOBS_LABEL), this);
    parallelLabel->setBuddy(m_parallel);
    auto* parallelRow = new QHBoxLayout;
    parallelRow->addWidget(parallelLabel);
    parallelRow->addWidget(m_parallel);
    parallelRow->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    tagControl(buttons->addButton(text(1, "O&K"), QDialogButtonBox::AcceptRole), 1);
    tagControl(buttons->addButton(text(2, "&Cancel"), QDialogButtonBox::RejectRole), 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(names);
    layout->addLayout(parallelRow);
    layout->addWidget(new QLabel(text(-1, "Select Language:"), this));
    layout->addWidget(m_language);
    layout->addWidget(buttons);
    setMinimumWidth(440);

    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_proxy, &QCheckBox::toggled, this, &COptionsDlg::proxyToggled);
    connect(browse, &QPushButton::clicked, this, &COptionsDlg::browseServers);
    connect(m_language, &QComboBox::currentIndexChanged, this, &COptionsDlg::languageChanged);
    connect(m_arLookup, &QCheckBox::toggled, m_arServer, &QWidget::setEnabled);
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

void COptionsDlg::addReadOffsets(std::vector<DriveOffset> drives, int chosen,
                                 OffsetDetector detect) {
    if (m_readOffsetEdit || drives.empty())
        return;
    m_readOffsets = std::move(drives);
    m_detect = std::move(detect);
    m_offsetTexts.clear();
    for (const DriveOffset& d : m_readOffsets)
        m_offsetTexts << QString::number(d.offset);
    m_shownDrive = std::clamp(chosen, 0, static_cast<int>(m_readOffsets.size()) - 1);
    auto* group = new QGroupBox(AppResources::string(cld::IDS_READ_OFFSET_GROUP), this);
    auto* grid = new QGridLayout(group);
    auto* help = new QLabel(AppResources::string(cld::IDS_READ_OFFSET_HELP), group);
    help->setWordWrap(true);
    m_offsetDrive = tagControl(new QComboBox(group), kOffsetDrive);
    for (const DriveOffset& d : m_readOffsets)
        m_offsetDrive->addItem(QString::fromStdString(d.drive).trimmed());
    m_offsetDrive->setCurrentIndex(m_shownDrive);
    auto* driveLabel = new QLabel(AppResources::string(cld::IDS_OFFSET_DRIVE_LABEL), group);
    driveLabel->setBuddy(m_offsetDrive);
    m_readOffsetEdit = tagControl(
        new QLineEdit(m_offsetTexts[static_cast<qsizetype>(m_shownDrive)], group), kReadOffset);
    m_readOffsetEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("-?[0-9]{0,6}")), m_readOffsetEdit));
    m_readOffsetEdit->setAlignment(Qt::AlignRight);
    m_readOffsetEdit->setMaximumWidth(90);
    auto* detectButton = tagControl(
        new QPushButton(AppResources::string(cld::IDS_DETECT_OFFSET), group), kDetectOffset);
    detectButton->setAutoDefault(false);
    detectButton->setEnabled(static_cast<bool>(m_detect));
    auto* offsetLabel = new QLabel(AppResources::string(cld::IDS_READ_OFFSET_LABEL), group);
    offsetLabel->setBuddy(m_readOffsetEdit);
    grid->addWidget(help, 0, 0, 1, 3);
    grid->addWidget(driveLabel, 1, 0);
    grid->addWidget(m_offsetDrive, 1, 1, 1, 2);
    grid->addWidget(offsetLabel, 2, 0);
    grid->addWidget(m_readOffsetEdit, 2, 1);
    grid->addWidget(detectButton, 2, 2);
    grid->setColumnStretch(2, 1);
    if (auto* box = qobject_cast<QVBoxLayout*>(layout()))
        box->insertWidget(box->count() - 1, group);
    connect(detectButton, &QPushButton::clicked, this, &COptionsDlg::detectOffset);
    connect(m_offsetDrive, &QComboBox::currentIndexChanged, this, &COptionsDlg::offsetDriveChanged);
}

void COptionsDlg::offsetDriveChanged(int index) {
    if (index < 0 || index >= m_offsetTexts.size() || index == m_shownDrive)
        return;
    // What was typed for the drive shown so far stays until OK checks it.
    m_offsetTexts[m_shownDrive] = m_readOffsetEdit->text();
    m_shownDrive = index;
    m_readOffsetEdit->setText(m_offsetTexts[index]);
}

void COptionsDlg::detectOffset() {
    if (!m_detect)
        return;
    int offset = 0, confidence = 0;
    std::string why;
    setEnabled(false);
    const bool found = m_detect(m_shownDrive, offset, confidence, why);
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
    std::vector<int> offsets;
    if (m_readOffsetEdit) {
        m_offsetTexts[m_shownDrive] = m_readOffsetEdit->text();
        for (qsizetype i = 0; i < m_offsetTexts.size(); ++i) {
            bool offsetOk = false;
            const int offset = m_offsetTexts[i].toInt(&offsetOk);
            if (!offsetOk || !SettingsRecord::readOffsetInRange(offset)) {
                // The drive whose offset is wrong is shown with it.
                m_offsetDrive->setCurrentIndex(static_cast<int>(i));
                MessageService::message(cld::IDS_BAD_OFFSET, MessageIcon::Error, MessageButtons::Ok,
                                        this);
                m_readOffsetEdit->setFocus();
                return;
            }
            offsets.push_back(offset);
        }
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
    const std::string arServer = m_arServer->text().trimmed().toStdString();
    {
        std::string host, prefix;
        int arPort = 0;
        if (!arServer.empty() && !accurip::splitServerUrl(arServer, host, arPort, prefix)) {
            MessageService::message(cld::IDS_BAD_ACCURATERIP_SERVER, MessageIcon::Error,
                                    MessageButtons::Ok, this);
            m_arServer->setFocus();
            return;
        }
    }
    const int language = m_language->currentIndex();
    if (m_languages.select && language >= 0 && language != m_languages.current)
        m_languages.select(language);
    for (size_t i = 0; i < offsets.size(); ++i)
        m_readOffsets[i].offset = offsets[i];
    m_accurateRipLookup = m_arLookup->isChecked();
    m_accurateRipServer = arServer;
    m_freeDBServer = m_server->text().trimmed().toStdString();
    m_useProxy = m_proxy->isChecked() ? 1 : 0;
    m_proxyServer = m_proxyHost->text().trimmed().toStdString();
    m_proxyPort = port;
    m_freeDBEmail = email;
    m_discNameSource = m_nameSource->currentIndex();
    m_musicBrainzServer = m_mbServer->text().trimmed().toStdString();
    m_coverArtServer = m_coverServer->text().trimmed().toStdString();
    m_parallelJobs = m_parallel->value();
    QDialog::accept();
}

void runOptionsCommand(JobContext& context, QWidget* launcher, LanguageChoice languages) {
    COptionsDlg dialog(context.settings, std::move(languages), launcher);
    addReadOffsetsOfDrives(dialog, context);
    if (dialog.exec() == QDialog::Rejected)
        return;
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
    if (dialog.parallelJobs() != settings.parallelJobs() &&
        !settings.setParallelJobs(dialog.parallelJobs()))
        cld::logf(cld::LogLevel::Warning,
                  "The number of files converted at once could not be stored (error %u).",
                  static_cast<unsigned>(settings.LastError()));
    const bool lookupKept = dialog.accurateRipLookup() == settings.accurateRipLookup() ||
                            settings.setAccurateRipLookup(dialog.accurateRipLookup());
    const std::string arServer = dialog.accurateRipServer().empty()
                                     ? std::string(SettingsRecord::kDefaultAccurateRipServer)
                                     : dialog.accurateRipServer();
    const bool arServerKept = arServer == settings.accurateRipServer() ||
                              settings.setAccurateRipServer(dialog.accurateRipServer());
    if (!lookupKept || !arServerKept)
        cld::logf(cld::LogLevel::Warning, "The AccurateRip options could not be stored (error %u).",
                  static_cast<unsigned>(settings.LastError()));
    for (const COptionsDlg::DriveOffset& d : dialog.readOffsets()) {
        if (d.offset != settings.readOffsetFor(d.drive) &&
            !settings.setReadOffsetFor(d.drive, d.offset))
            cld::logf(cld::LogLevel::Warning, "The read offset could not be stored (error %u).",
                      static_cast<unsigned>(settings.LastError()));
    }
}
