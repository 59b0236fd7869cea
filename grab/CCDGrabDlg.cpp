#include "CCDGrabDlg.h"

#include "AppResources.h"
#include "BackgroundCall.h"
#include "CEditableListCtrl.h"
#include "CEncoderSettingsDlg.h"
#include "CFreeDBQueryDlg.h"
#include "CMusicBrainzReleaseDlg.h"
#include "CProgressBar.h"
#include "CReadingProgressDlg.h"
#include "CVerifyRipDlg.h"
#include "CdCacheDatabase.h"
#include "CdPipeline.h"
#include "ControlTag.h"
#include "DialogPolish.h"
#include "FreeDBText.h"
#include "GenreList.h"
#include "GrabFormats.h"
#include "GrabReport.h"
#include "GrabRun.h"
#include "GrabText.h"
#include "JobContext.h"
#include "Log.h"
#include "MessageService.h"
#include "MusicBrainzText.h"
#include "PickerService.h"
#include "SafeFiles.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "TakenNames.h"
#include "UnknownName.h"
#include "VerifiedRip.h"
#include "WaitService.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <system_error>

using cld::tagControl;

namespace {

// How long the window waits for the grab between two looks at its Abort button, and in
// what steps (a grab that ends ends the wait at the next step).
constexpr int kGrabWaitMs = 300;
constexpr int kGrabWaitStepMs = 20;

// Item data roles of a track row: its genre number and the name last accepted.
constexpr int kGenreRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;

QString text(int control, const char* english) {
    return AppResources::controlText(CCDGrabDlg::kDialogId, control, QString::fromUtf8(english));
}

QString qs(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string str(const QString& text) {
    return text.toStdString();
}

// Takes a record from a slot: its text as UTF-8, and the record destroyed.
std::string take(NameText* record) {
    if (!record)
        return {};
    std::string out = cld::utf8Text(record->text());
    record->Destroy();
    return out;
}

MessageIcon iconOf(cld::ReportIcon icon) {
    switch (icon) {
    case cld::ReportIcon::Error:
        return MessageIcon::Error;
    case cld::ReportIcon::Exclamation:
        return MessageIcon::Exclamation;
    case cld::ReportIcon::Information:
        break;
    }
    return MessageIcon::Information;
}

} // namespace

CCDGrabDlg::CCDGrabDlg(JobContext& context, bool wavTarget, QWidget* parent)
    : QDialog(parent), m_context(context), m_wavTarget(wavTarget) {
    tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_drive = tagControl(new QComboBox(this), kDrive);
    auto* refresh = tagControl(new QPushButton(text(kRefresh, "&Refresh"), this), kRefresh);
    m_errorCorrection = tagControl(new QComboBox(this), kErrorCorrection);
    m_errorCorrection->addItem(text(-1, "No Error Correction (faster)"));
    m_errorCorrection->addItem(text(-1, "Jitter Correction (default)"));
    m_errorCorrection->addItem(text(-1, "Jitter and Scratch Repair (slower)"));
    // Every encoder of the engine: WAV and FLAC first, in the words they always had.
    m_saveAs = tagControl(new QComboBox(this), kSaveAs);
    m_formats = cld::grabFormats();
    for (const cld::GrabFormat& f : m_formats) {
        const QString name = QString::fromStdString(f.name);
        if (f.name == "wav")
            m_saveAs->addItem(text(-1, "WAV (uncompressed)"), name);
        else if (f.name == "flac")
            m_saveAs->addItem(text(-1, "FLAC (lossless)"), name);
        else
            m_saveAs->addItem(QString::fromStdString(f.displayName), name);
    }
    m_encoderSettings =
        tagControl(new QPushButton(AppResources::string(cld::IDS_GRAB_ENCODER_SETTINGS), this),
                   kEncoderSettings);
    m_encoderSettings->setAutoDefault(false);

    m_list = tagControl(new CEditableListCtrl(this), kTrackList);
    m_list->setCheckable(true);
    m_list->setColumns({text(-1, "Track Name"), text(-1, "Track No."), text(-1, "  Length  "),
                        text(-1, "    Size    "), text(-1, " Artist Name "),
                        text(-1, "Music Genre")});
    m_list->setColumnEditable(0, true);
    m_list->header()->setStretchLastSection(false);
    cld::styleReportList(m_list);
    for (int c = 1; c < 6; ++c)
        m_list->headerItem()->setTextAlignment(c, Qt::AlignCenter);

    m_artist = tagControl(new QLineEdit(this), kArtist);
    m_album = tagControl(new QLineEdit(this), kAlbum);
    m_genre = tagControl(new QComboBox(this), kGenre);
    m_year = tagControl(new QLineEdit(this), kYear);
    m_year->setValidator(new QIntValidator(0, 9999, m_year));
    m_comment = tagControl(new QLineEdit(this), kComment);
    auto* setAll =
        tagControl(new QPushButton(text(kSetInfoToAll, "Set Current Info to all &Tracks."), this),
                   kSetInfoToAll);
    m_selectAll = tagControl(new QPushButton(AppResources::string(129), this), kSelectAll);
    auto* getInfo = tagControl(new QPushButton(text(kGetCdInfo, "Get CD &Info"), this), kGetCdInfo);
    auto* playButton = tagControl(new QPushButton(text(kPlay, "&Play"), this), kPlay);
    auto* stopButton = tagControl(new QPushButton(text(kStop, "St&op"), this), kStop);
    m_introOnly = tagControl(new QCheckBox(text(kIntroOnly, "Grab Intro Only."), this), kIntroOnly);
    m_introSeconds = tagControl(new QLineEdit(this), kIntroSeconds);
    m_introSeconds->setValidator(new QIntValidator(0, cld::kMaxIntroSeconds, m_introSeconds));
    m_introSeconds->setMaximumWidth(50);
    m_introSpin = tagControl(new QSpinBox(this), kIntroSpin);
    m_introSpin->setRange(0, cld::kMaxIntroSeconds);
    m_introSpin->setMaximumWidth(18);
    auto* grabNow = tagControl(new QPushButton(text(kGrabNow, "&Grab Now!"), this), kGrabNow);
    auto* ok = tagControl(new QPushButton(text(1, "O&K"), this), 1);
    auto* cancel = tagControl(new QPushButton(text(2, "&Cancel"), this), 2);
    m_totalTracks = tagControl(new QLabel(this), kTotalTracks);
    m_totalTime = tagControl(new QLabel(this), kTotalTime);
    m_totalSize = tagControl(new QLabel(this), kTotalSize);
    m_lookupStatus = tagControl(new QLabel(this), kLookupStatus);
    m_cover = tagControl(new QLabel(this), kCover);
    m_cover->setFixedSize(72, 72);
    m_cover->setAlignment(Qt::AlignCenter);
    m_cover->hide();
    for (QPushButton* b :
         {refresh, setAll, m_selectAll, getInfo, playButton, stopButton, grabNow, cancel})
        b->setAutoDefault(false);
    ok->setDefault(true);

    // Layout: drive and correction on top, the list, the disc fields, the buttons.
    auto* top = new QGridLayout;
    top->addWidget(new QLabel(text(-1, "&Select CD-ROM Drive:"), this), 0, 0);
    top->addWidget(m_drive, 0, 1);
    top->addWidget(refresh, 0, 2);
    // A rip made earlier is verified from its files in a dialog of its own.
    auto* verifyRip = tagControl(new QPushButton(CVerifyRipDlg::openButtonText(), this),
                                 CVerifyRipDlg::kOpenButton);
    verifyRip->setAutoDefault(false);
    connect(verifyRip, &QPushButton::clicked, this,
            [this] { CVerifyRipDlg(m_context, this).exec(); });
    top->addWidget(verifyRip, 1, 2);
    top->addWidget(new QLabel(text(-1, "Use Error Correction:"), this), 1, 0);
    top->addWidget(m_errorCorrection, 1, 1);
    // Only the CD-Audio to WAV job offers the choice; the encoding jobs read the tracks
    // into temporary WAV files, and their "Grab Now!" keeps writing WAV files.
    auto* saveAsLabel = new QLabel(text(-1, "Sa&ve as:"), this);
    saveAsLabel->setBuddy(m_saveAs);
    top->addWidget(saveAsLabel, 2, 0);
    top->addWidget(m_saveAs, 2, 1);
    top->addWidget(m_encoderSettings, 2, 2);
    saveAsLabel->setVisible(m_wavTarget);
    m_saveAs->setVisible(m_wavTarget);
    m_encoderSettings->setVisible(m_wavTarget);
    top->setColumnStretch(1, 1);

    auto* totals = new QHBoxLayout;
    totals->addStretch(1);
    totals->addWidget(m_totalTracks);
    totals->addWidget(m_totalTime);
    totals->addWidget(m_totalSize);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(text(-1, "Artist &Name:"), this), 0, 0);
    fields->addWidget(m_artist, 0, 1);
    fields->addWidget(new QLabel(text(-1, "Album Nam&e:"), this), 0, 2);
    fields->addWidget(m_album, 0, 3);
    fields->addWidget(new QLabel(text(-1, "Music Genre:"), this), 1, 0);
    fields->addWidget(m_genre, 1, 1);
    fields->addWidget(new QLabel(text(-1, "Year:"), this), 1, 2);
    fields->addWidget(m_year, 1, 3);
    fields->addWidget(new QLabel(text(-1, "Comment:"), this), 2, 0);
    fields->addWidget(m_comment, 2, 1, 1, 3);
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(3, 1);
    fields->addWidget(m_cover, 0, 4, 3, 1);

    auto* actions = new QHBoxLayout;
    actions->addWidget(setAll);
    actions->addWidget(m_selectAll);
    actions->addWidget(getInfo);
    actions->addWidget(playButton);
    actions->addWidget(stopButton);
    actions->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_introOnly);
    bottom->addWidget(m_introSeconds);
    bottom->addWidget(m_introSpin);
    bottom->addStretch(1);
    bottom->addWidget(grabNow);
    bottom->addWidget(ok);
    bottom->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addLayout(totals);
    layout->addLayout(fields);
    layout->addLayout(actions);
    layout->addWidget(m_lookupStatus);
    layout->addLayout(bottom);
    resize(720, 520);

    // The genre box lists the names sorted; each entry carries its genre number.
    for (const GenreEntry& entry : sortedGenreEntries(m_context.genres))
        m_genre->addItem(qs(entry.name), entry.number);

    connect(refresh, &QPushButton::clicked, this, &CCDGrabDlg::loadDisc);
    connect(setAll, &QPushButton::clicked, this, &CCDGrabDlg::setInfoToAllTracks);
    connect(m_selectAll, &QPushButton::clicked, this, &CCDGrabDlg::toggleSelectAll);
    connect(getInfo, &QPushButton::clicked, this, &CCDGrabDlg::getCdInfo);
    connect(playButton, &QPushButton::clicked, this, &CCDGrabDlg::play);
    connect(stopButton, &QPushButton::clicked, this, &CCDGrabDlg::stop);
    connect(grabNow, &QPushButton::clicked, this, &CCDGrabDlg::grabToWav);
    connect(ok, &QPushButton::clicked, this, &CCDGrabDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &CEditableListCtrl::cellEdited, this, &CCDGrabDlg::trackEdited);
    // The jobs read the disc's artist and album from the shared selection.
    connect(m_artist, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_context.grabSelection.artist = cld::keptName(t); });
    connect(m_album, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_context.grabSelection.album = cld::keptName(t); });
    connect(m_introOnly, &QCheckBox::toggled, this, [this](bool on) {
        m_introSeconds->setEnabled(on);
        m_introSpin->setEnabled(on);
    });
    connect(m_introSpin, &QSpinBox::valueChanged, this, [this](int value) {
        if (m_introSeconds->text() != QString::number(value))
            m_introSeconds->setText(QString::number(value));
    });
    connect(m_introSeconds, &QLineEdit::textChanged, this,
            [this](const QString& t) { m_introSpin->setValue(t.toInt()); });

    // Start: drives, the stored error correction, the disc.
    m_introSeconds->setText(QString::number(cld::kDefaultIntroSeconds));
    m_introSeconds->setEnabled(false);
    m_introSpin->setEnabled(false);
    m_year->clear();
    m_errorCorrection->setCurrentIndex(
        cld::errorCorrectionIndex(m_context.settings.errorCorrection()));
    // The encoder chosen last; before any was chosen by name, the kept WAV or FLAC choice.
    int saved = m_saveAs->findData(QString::fromStdString(m_context.settings.grabEncoder()));
    if (saved < 0)
        saved = m_saveAs->findData(m_context.settings.grabFormat() == SettingsRecord::kGrabToFlac
                                       ? QStringLiteral("flac")
                                       : QStringLiteral("wav"));
    m_saveAs->setCurrentIndex(std::max(0, saved));
    connect(m_saveAs, &QComboBox::currentIndexChanged, this, [this] { formatChanged(); });
    connect(m_encoderSettings, &QPushButton::clicked, this, &CCDGrabDlg::editEncoderSettings);
    formatChanged();
    // The drive gets the correction the box shows, so what is shown is what is used.
    if (m_context.driveSettings)
        m_context.driveSettings->SetErrorCorrection(
            cld::errorCorrectionType(m_errorCorrection->currentIndex()));
    m_context.grabSelection.errorCorrectionType =
        cld::errorCorrectionType(m_errorCorrection->currentIndex());
    connect(m_errorCorrection, &QComboBox::currentIndexChanged, this,
            &CCDGrabDlg::errorCorrectionChanged);
    fillDrives();
    connect(m_drive, &QComboBox::currentIndexChanged, this, &CCDGrabDlg::driveChanged);
    driveChanged(m_drive->currentIndex());
    if (m_list->rowCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
}

CCDGrabDlg::~CCDGrabDlg() = default;

void CCDGrabDlg::fillDrives() {
    CDRipDriveSettings* drives = m_context.driveSettings;
    if (!drives)
        return;
    std::vector<std::string> names;
    const int count = drives->GetDriveCount();
    for (int i = 0; i < count; ++i) {
        NameText* name = nullptr;
        drives->GetDriveName(&name, i);
        names.push_back(take(name));
    }
    int chosen = 0;
    const QString last = qs(m_context.settings.lastCD());
    if (!last.isEmpty()) {
        for (int i = 0; i < count; ++i) {
            if (qs(names[static_cast<std::size_t>(i)]).startsWith(last, Qt::CaseInsensitive)) {
                chosen = i;
                break;
            }
        }
    }
    const QSignalBlocker block(m_drive);
    for (const std::string& name : names)
        m_drive->addItem(qs(name));
    if (count > 0)
        m_drive->setCurrentIndex(chosen);
}

void CCDGrabDlg::driveChanged(int index) {
    if (index >= 0 && m_context.driveSettings)
        m_context.driveSettings->SetActiveDrive(index);
    loadDisc();
    sizeColumns();
    if (index >= 0 && !m_context.settings.setLastCD(str(m_drive->itemText(index))))
        cld::logf(cld::LogLevel::Warning, "The chosen CD drive could not be stored.");
}

void CCDGrabDlg::errorCorrectionChanged(int index) {
    const int type = cld::errorCorrectionType(index);
    if (!m_context.settings.setErrorCorrection(index))
        cld::logf(cld::LogLevel::Warning, "The error correction could not be stored.");
    if (m_context.driveSettings)
        m_context.driveSettings->SetErrorCorrection(type);
    m_context.grabSelection.errorCorrectionType = type;
}

void CCDGrabDlg::selectGenrePrefix(const std::string& genre) {
    std::vector<std::string> entries;
    for (int i = 0; i < m_genre->count(); ++i)
        entries.push_back(str(m_genre->itemText(i)));
    const int match = matchGenrePrefix(entries, genre);
    if (match >= 0)
        m_genre->setCurrentIndex(match);
}

int CCDGrabDlg::genreNumber() const {
    const QVariant number = m_genre->currentData();
    return number.isValid() ? number.toInt() : -1;
}

void CCDGrabDlg::loadDisc() {
    m_loading = true;
    // 1. Genre "Other" (the second entry when there is none), no rows.
    std::vector<std::string> entries;
    for (int i = 0; i < m_genre->count(); ++i)
        entries.push_back(str(m_genre->itemText(i)));
    const int other = matchGenrePrefix(entries, "Other");
    m_genre->setCurrentIndex(other >= 0 ? other : std::min(1, m_genre->count() - 1));
    m_list->clear();
    cld::engine::DiscSelection& kept = m_context.grabSelection;
    kept.durationSeconds.clear();
    kept.sizeKilobytes.clear();
    kept.startTimes.clear();
    m_discId = 0;
    m_discSeconds = 0;
    m_firstSectors.clear();
    m_lastSector = 0;
    m_mbDiscId.clear();
    m_coverImage.clear();
    showCover();
    m_lookupStatus->clear();

    // 2. The disc: identifier, CD-TEXT names, the tracks.
    DiscInfo* disc = m_context.ripObject ? m_context.ripObject->GetDiscInfo() : nullptr;
    std::string artist = cld::kUnknownName;
    std::string album = cld::kUnknownName;
    if (disc) {
        m_discId = disc->GetDiscId();
        if (disc->HasCdText()) {
            const std::string a = take(disc->GetArtist());
            const std::string t = take(disc->GetTitle());
            if (!a.empty())
                artist = a;
            if (!t.empty())
                album = t;
        }
    }
    m_artist->setText(cld::shownName(artist));
    m_album->setText(cld::shownName(album));
    // The year, like the names, belongs to the disc listed: a disc the cache does not
    // know has no year until the user or a look-up gives one.
    m_year->clear();
    const QString genreText = m_genre->currentText();
    const int genre = genreNumber();
    const int count = disc ? disc->GetTrackCount() : 0;
    for (int i = 0; i < count; ++i) {
        TrackInfo* track = disc->GetTrack(i);
        if (!track)
            continue;
        std::string title = take(track->GetTitle());
        if (title.empty())
            title = cld::defaultTrackTitle(i + 1);
        const int row = m_list->insertRow(-1, qs(title));
        char number[16];
        std::snprintf(number, sizeof number, "%.02d", i + 1);
        m_list->setCellText(row, 1, QString::fromLatin1(number));
        m_list->setCellText(row, 2, qs(take(track->GetLengthText())));
        m_list->setCellText(row, 3, qs(take(track->GetSizeText())));
        m_list->setCellText(row, 4, cld::shownName(artist));
        m_list->setCellText(row, 5, genreText);
        for (int c = 1; c < 6; ++c)
            m_list->topLevelItem(row)->setTextAlignment(c, Qt::AlignCenter);
        m_list->topLevelItem(row)->setData(0, kGenreRole, genre);
        m_list->topLevelItem(row)->setData(0, kNameRole, qs(title));
        kept.sizeKilobytes.push_back(track->GetSizeKB());
        kept.durationSeconds.push_back(track->GetDurationSeconds());
        kept.startTimes.push_back(take(track->GetStartText()));
        m_discSeconds = track->GetStartSeconds() + track->GetDurationSeconds();
        m_firstSectors.push_back(track->GetFirstSector());
        m_lastSector = track->GetLastSector();
        track->Destroy();
    }
    // 3. The select-all button starts over.
    m_selectAllNext = true;
    m_selectAll->setText(AppResources::string(129));
    if (disc)
        disc->Destroy();

    // 4. What the cache knows of this disc.
    if (m_context.cache && m_list->rowCount() > 0) {
        if (auto record = m_context.cache->load(m_discId)) {
            m_artist->setText(cld::shownName(cld::utf8Text(record->artist)));
            m_album->setText(cld::shownName(cld::utf8Text(record->album)));
            selectGenrePrefix(record->genre);
            if (record->year > 0)
                m_year->setText(QString::number(record->year));
            const int rows =
                std::min<int>(m_list->rowCount(), static_cast<int>(record->trackTitles.size()));
            for (int i = 0; i < rows; ++i) {
                const QString name =
                    qs(cld::utf8Text(record->trackTitles[static_cast<std::size_t>(i)]));
                m_list->setCellText(i, 0, name);
                m_list->topLevelItem(i)->setData(0, kNameRole, name);
            }
            setInfoToAllTracks();
        }
    }
    m_loading = false;
    updateTotals();
}

void CCDGrabDlg::sizeColumns() {
    const QFontMetrics metrics = m_list->header()->fontMetrics();
    const auto headerWidth = [&](int c) {
        return metrics.horizontalAdvance(m_list->headerItem()->text(c)) + 16;
    };
    for (int c = 0; c < 4; ++c)
        m_list->setColumnWidth(c, headerWidth(c));
    m_list->setColumnWidth(0, static_cast<int>(m_list->columnWidth(0) * 4.5));
    for (int c = 1; c < 6; ++c)
        m_list->setColumnWidth(c, headerWidth(c));
    // The name column gives up what the list lacks, so that every column shows.
    m_list->header()->setMinimumSectionSize(std::min(headerWidth(0), headerWidth(5)));
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
}

void CCDGrabDlg::setInfoToAllTracks() {
    const QString artist = m_artist->text();
    const QString genre = m_genre->currentText();
    for (int i = 0; i < m_list->rowCount(); ++i) {
        m_list->setCellText(i, 4, artist);
        if (!genre.isEmpty()) {
            m_list->setCellText(i, 5, genre);
            m_list->topLevelItem(i)->setData(0, kGenreRole, genreNumber());
        }
    }
}

void CCDGrabDlg::updateTotals() {
    const cld::engine::DiscSelection& kept = m_context.grabSelection;
    cld::GrabTotals totals;
    for (int row : m_list->checkedRows()) {
        const auto i = static_cast<std::size_t>(row);
        ++totals.tracks;
        if (i < kept.durationSeconds.size())
            totals.seconds += kept.durationSeconds[i];
        if (i < kept.sizeKilobytes.size())
            totals.kilobytes += kept.sizeKilobytes[i];
    }
    const cld::TotalsTexts t = cld::totalsTexts(totals);
    m_totalTracks->setText(cld::translatedText(qs(t.tracks)));
    m_totalSize->setText(qs(t.size));
    m_totalTime->setText(qs(t.duration));
}

void CCDGrabDlg::toggleSelectAll() {
    m_list->setAllChecked(m_selectAllNext);
    m_selectAllNext = !m_selectAllNext;
    m_selectAll->setText(AppResources::string(m_selectAllNext ? 129 : 128));
    updateTotals();
}

void CCDGrabDlg::trackEdited(int row, int column, const QString& name) {
    if (m_loading)
        return;
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (item && column == 0) {
        if (cld::characterCount(str(name)) > cld::kMaxTrackNameLength) {
            m_list->setCellText(row, 0, item->data(0, kNameRole).toString());
            MessageService::message(cld::IDS_TRACK_NAME_TOO_LONG, MessageIcon::Exclamation,
                                    MessageButtons::Ok, this,
                                    QString::number(cld::kMaxTrackNameLength));
        } else
            item->setData(0, kNameRole, name);
    }
    updateTotals();
}

void CCDGrabDlg::getCdInfo() {
    if (m_list->rowCount() == 0) {
        MessageService::message(142, MessageIcon::None, MessageButtons::Ok, this);
        return;
    }
    if (m_mbBusy)
        return;
    const int source = m_context.settings.discNameSource();
    if (source != SettingsRecord::kFreeDBOnly &&
        (musicBrainzInfo() || source == SettingsRecord::kMusicBrainzOnly))
        return;
    CFreeDBQueryDlg::Disc disc;
    disc.discId = m_discId;
    disc.startTexts = m_context.grabSelection.startTimes;
    disc.discSeconds = m_discSeconds;
    CFreeDBQueryDlg query(m_context.settings, std::move(disc), this);
    if (query.exec() != QDialog::Accepted)
        return;
    const CFreeDBQueryDlg::Result& result = query.lookupResult();
    m_artist->setText(qs(result.artist));
    selectGenrePrefix(result.category);
    const int rows = std::min<int>(m_list->rowCount(), static_cast<int>(result.titles.size()));
    for (int i = 0; i < rows; ++i) {
        const QString name = qs(result.titles[static_cast<std::size_t>(i)]);
        m_list->setCellText(i, 0, name);
        m_list->topLevelItem(i)->setData(0, kNameRole, name);
    }
    setInfoToAllTracks();
    m_album->setText(qs(result.album));
    // A cover fetched earlier belongs to a MusicBrainz release, not to these names.
    m_coverImage.clear();
    showCover();
}

void CCDGrabDlg::play() {
    if (!m_context.ripObject || m_list->rowCount() == 0)
        return;
    QTreeWidgetItem* hot = m_list->currentItem();
    const int row = hot ? m_list->indexOfTopLevelItem(hot) : 0;
    if (!m_context.ripObject->PlayTrack(row + 1))
        cld::logf(cld::LogLevel::Warning, "Track %d could not be played.", row + 1);
}

void CCDGrabDlg::stop() {
    if (m_context.ripObject)
        m_context.ripObject->StopPlayback();
}

AudioTags CCDGrabDlg::trackTags(int row) const {
    // The disc's names as the fields show them when the grab starts, as the file names
    // take them; the list's artist and genre columns are copies that may be stale.
    AudioTags tags;
    tags.title = str(m_list->cellText(row, 0));
    tags.artist = cld::keptName(m_artist->text().trimmed());
    tags.album = cld::keptName(m_album->text().trimmed());
    if (m_year->text().toInt() > 0)
        tags.year = str(m_year->text().trimmed());
    tags.genre = str(m_genre->currentText());
    tags.track = row + 1;
    tags.trackTotal = m_list->rowCount();
    if (m_discId != 0)
        tags.discId = cld::freedbIdText(m_discId);
    return tags;
}

int CCDGrabDlg::introSeconds() const {
    return cld::effectiveIntroSeconds(m_introSeconds->text().toInt());
}

void CCDGrabDlg::accept() {
    const QList<int> ticked = m_list->checkedRows();
    if (ticked.isEmpty()) {
        MessageService::message(122, MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    cld::engine::DiscSelection& selection = m_context.grabSelection;
    selection.driveIndex = std::max(0, m_drive->currentIndex());
    selection.trackNames.clear();
    for (int i = 0; i < m_list->rowCount(); ++i)
        selection.trackNames.push_back(str(m_list->cellText(i, 0)));
    selection.ticked.clear();
    for (int row : ticked)
        selection.ticked.push_back(static_cast<uint16_t>(row));
    selection.genreIndex = std::max(0, genreNumber());
    selection.coverImage = m_coverImage;
    selection.year = m_year->text().toInt();
    selection.artist = cld::keptName(m_artist->text());
    selection.album = cld::keptName(m_album->text());

    if (m_wavTarget)
        grabToWav();

    if (m_context.cache) {
        CdInfoRecord record;
        record.album = selection.album;
        record.artist = selection.artist;
        record.genre = str(m_genre->currentText());
        record.year = selection.year;
        record.discId = m_discId;
        for (int i = 0; i < m_list->rowCount(); ++i)
            record.trackTitles.push_back(str(m_list->cellText(i, 0)));
        if (!m_context.cache->store(record))
            cld::logf(cld::LogLevel::Warning, "The disc's names could not be kept in the cache: %s",
                      m_context.cache->lastError().c_str());
    }
    selection.introOnly = m_introOnly->isChecked();
    selection.introSeconds = introSeconds();
    QDialog::accept();
}

void CCDGrabDlg::grabToWav() {
    // 1. Something to grab, and something to grab it with.
    const QList<int> ticked = m_list->checkedRows();
    if (ticked.isEmpty()) {
        MessageService::message(122, MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    if (!m_context.ripObject) {
        MessageService::message(152, MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    // 2, 3. Where to: the chosen folder, then "artist - album" inside it. The grabber of an
    // encoding job does not offer the choice: "Grab Now!" there writes WAV files.
    const std::string encoder = m_wavTarget ? chosenEncoder() : std::string("wav");
    const bool flac = encoder == "flac";
    QString chosen;
    if (encoder == "wav" || flac) {
        chosen = PickerService::folder(this, flac ? cld::IDS_GRAB_FLAC_FOLDER : 121);
    } else {
        const auto format =
            std::find_if(m_formats.begin(), m_formats.end(),
                         [&](const cld::GrabFormat& f) { return f.name == encoder; });
        chosen = PickerService::instance().pickFolder(
            this,
            AppResources::string(cld::IDS_GRAB_FORMAT_FOLDER)
                .arg(QString::fromStdString(format != m_formats.end() ? format->displayName
                                                                      : encoder)),
            QString());
    }
    if (chosen.isEmpty())
        return;
    std::error_code ec;
    const std::filesystem::path base(chosen.toStdString());
    if (!std::filesystem::is_directory(base, ec)) {
        MessageService::message(124, MessageIcon::Error, MessageButtons::Ok, this);
        return;
    }
    const std::string artist = cld::keptName(m_artist->text());
    const std::string album = cld::keptName(m_album->text());
    const std::filesystem::path folder = base / cld::albumFolderName(artist, album);
    const std::string extension = cld::encoderExtension(encoder);

    // Every file's name is settled before anything is written: names within the folder's
    // room, one file per track even when two tracks share a title, and one question when
    // names are already taken.
    // The ripper takes paths of up to 259 bytes: a long name is cut to what the folder
    // leaves, unless that is too little to tell the tracks apart (the ripper then refuses
    // the track and the end message names it).
    constexpr std::size_t kRipperPathBytes = 259;
    constexpr std::size_t kShortestCut = 40;
    const std::size_t used = folder.string().size() + 1 + cld::files::kNameReserve;
    const std::size_t room = used < kRipperPathBytes ? kRipperPathBytes - used : 0;
    const std::size_t longest =
        room >= kShortestCut ? std::min(room, cld::files::kNameBytes - cld::files::kNameReserve)
                             : cld::files::kNameBytes - cld::files::kNameReserve;
    std::vector<std::string> planned;
    for (int row : ticked) {
        const std::string name = cld::wavBaseName(artist, str(m_list->cellText(row, 0)),
                                                  str(m_list->cellText(row, 1)), longest);
        planned.push_back((folder / (encoder == "wav" ? cld::wavFileName(name)
                                     : flac           ? cld::flacFileName(name)
                                                      : cld::files::withExtension(name, extension)))
                              .string());
    }
    cld::OutputPlan plan =
        cld::makeOutputPlan(std::move(planned), (folder / cld::ripLogName(artist, album)).string());
    if (cld::settleTakenNames(m_context, plan, this) == cld::TakenNamesChoice::Cancel)
        return;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        MessageService::message(cld::IDS_GRAB_FOLDER_FAILED, MessageIcon::Error, MessageButtons::Ok,
                                this, QString::fromStdString(folder.string()));
        return;
    }
    // The release's cover goes beside the rip once; a rip without it is still whole.
    if (!m_coverImage.empty()) {
        std::string coverError;
        if (!cld::storeFolderCover(folder, m_coverImage, coverError))
            cld::logf(cld::LogLevel::Warning, "The cover could not be kept: %s",
                      coverError.c_str());
    }

    // 4. The progress window.
    CReadingProgressDlg progress;
    progress.OpenProgress(this);
    const int count = static_cast<int>(ticked.size());
    progress.bar(CReadingProgressDlg::kTrackBar)->setRange(0, 100);
    progress.bar(CReadingProgressDlg::kTrackBar)->setPos(0);
    progress.bar(CReadingProgressDlg::kOverallBar)->setRange(0, count == 1 ? 100 : count);
    progress.bar(CReadingProgressDlg::kOverallBar)->setStep(1);
    progress.bar(CReadingProgressDlg::kOverallBar)->setPos(0);
    progress.bar(CReadingProgressDlg::kPeakBar)->setRange(0, 32767);
    progress.SetJitterText(QString());

    // 5. The job, in the format the user chose (kept for the next grab; WAV and FLAC also
    // as the number earlier versions read).
    if (m_wavTarget) {
        bool stored = m_context.settings.setGrabEncoder(encoder);
        if (encoder == "wav" || flac)
            stored = m_context.settings.setGrabFormat(flac ? SettingsRecord::kGrabToFlac
                                                           : SettingsRecord::kGrabToWav) &&
                     stored;
        if (!stored)
            cld::logf(cld::LogLevel::Warning, "The chosen file format could not be stored.");
    }
    cld::engine::CdRipSpec setup;
    setup.encoder = encoder;
    if (m_wavTarget)
        setup.options = cld::grabOptionsOf(m_context.settings.grabEncoderOptions(), encoder);
    // With the ReplayGain setting on, every format that carries loudness values gets each
    // track's and, once all are done, the disc's as the album's.
    const auto id3v2 = setup.options.find("id3v2");
    setup.replayGain = m_context.settings.mp3ReplayGain() != 0 &&
                       cld::engine::carriesLoudness(encoder) &&
                       !(encoder == "mp3" && id3v2 != setup.options.end() && id3v2->second == "0");
    // Encoders at work while the next track is read: one per core, as the batches.
    setup.width = std::max(1, m_context.settings.parallelJobCount());
    setup.folder = folder.string();
    setup.names = cld::engine::OutputPlan{};
    setup.names->logBase = plan.logBase;
    setup.names->replaceExisting = plan.replaceExisting;
    std::vector<std::string> names;
    std::vector<int> trackIndices;
    std::vector<cld::TrackResult> refused;
    for (std::size_t job = 0; job < plan.tracks.size(); ++job) {
        const int row = ticked[static_cast<qsizetype>(job)];
        // Paths of 260 bytes and more are refused, as the ripper refuses them: the track
        // is left out and named in the report at the end.
        if (plan.tracks[job].size() > kRipperPathBytes) {
            cld::TrackResult result;
            result.name = str(m_list->cellText(row, 0));
            result.outcome = cld::TrackOutcome::Failed;
            refused.push_back(result);
            continue;
        }
        names.push_back(str(m_list->cellText(row, 0)));
        trackIndices.push_back(row);
        setup.tracks.push_back({row, names.back()});
        setup.names->tracks.push_back(plan.tracks[job]);
    }
    // The tags as the fields show them when the grab starts.
    const AudioTags tags = trackTags(0);
    setup.artist = tags.artist;
    setup.album = tags.album;
    setup.year = tags.year;
    setup.genre = tags.genre;
    setup.genreNumber = genreNumber() < 0 ? 255 : genreNumber();
    setup.driveIndex = std::max(0, m_drive->currentIndex());
    setup.introSeconds = m_introOnly->isChecked() ? introSeconds() : 0;
    // The log names the correction in its own words, whatever the window's language.
    setup.errorCorrection =
        cld::errorCorrectionName(cld::errorCorrectionType(m_errorCorrection->currentIndex()));
    // The reads go to the system's temporary folder: a deep output folder leaves the ripper
    // no room for the read's own path.
    std::error_code tempError;
    setup.readFolder = std::filesystem::temp_directory_path(tempError).string();
    // Abort keeps the tracks read so far whole; the track being read is kept as far as it
    // was read in WAV, and leaves nothing in FLAC.
    setup.finishReadTracks = true;
    setup.keepCutRead = encoder == "wav";
    // The drive's read offset applies to every read of this grab.
    const std::string offsetLine = cld::applyStoredReadOffset(
        m_context.settings, m_context.driveSettings, std::max(0, m_drive->currentIndex()));

    // 6, 7. Read on the job's thread, showing where the grab stands, until it ends or the
    // user aborts.
    cld::GrabEnd end;
    end.partialFilesRemoved = encoder != "wav";
    if (!names.empty()) {
        cld::engine::CdPipeline job(m_context.ripObject, setup,
                                    cld::engine::verifyEnv(m_context.settings, m_context.ripObject,
                                                           m_context.driveSettings),
                                    &m_context.settings);
        cld::GrabRun run(job);
        CProgressBar* overall = progress.bar(CReadingProgressDlg::kOverallBar);
        run.onStatus = [&](const cld::GrabRunStatus& s) {
            if (s.trackIndex < 0)
                return;
            const std::size_t item = std::min(s.item, names.size() - 1);
            progress.SetTrackText(
                QStringLiteral("Reading Track Nr. %1, Name: %2")
                    .arg(s.trackIndex + 1)
                    .arg(QString::fromStdString(
                        std::filesystem::path(setup.names->tracks[item]).filename().string())));
            const int percent = std::clamp(s.percent, 0, 99);
            progress.bar(CReadingProgressDlg::kTrackBar)->setPos(percent + 1);
            progress.bar(CReadingProgressDlg::kPeakBar)->setPos(s.peak);
            if (count == 1)
                overall->setPos(percent + 1);
            else
                overall->setPos(static_cast<int>(s.item));
            progress.SetJitterText(QString::number(s.jitterErrors));
        };
        run.start();
        WaitService& waits = m_context.waits();
        while (!run.done()) {
            waits.waitUntil(
                kGrabWaitMs, [&run] { return run.done(); }, kGrabWaitStepMs);
            if (progress.WasAborted())
                run.cancel();
        }
        const cld::engine::JobEnd jobEnd = run.finish();
        end.aborted = jobEnd.result == cld::engine::JobResult::Aborted;
        if (!end.aborted) {
            overall->setPos(count == 1 ? 100 : count);
            progress.bar(CReadingProgressDlg::kTrackBar)->setPos(100);
        }
        const cld::engine::CdRipReport& report = job.report();
        const std::vector<cld::engine::ItemEnd> ends = run.itemEnds();
        // Where the grab stopped and why: the first track that did not end well.
        std::size_t stopIndex = names.size();
        for (const cld::engine::ItemEnd& e : ends) {
            if (e.outcome == cld::engine::ItemOutcome::Converted || e.index >= stopIndex)
                continue;
            stopIndex = e.index;
            if (e.failure.worker == cld::engine::WorkerKind::CdRead)
                end.errorCode = e.failure.code;
            else if (e.failure.what == cld::engine::Failure::NameTaken)
                end.errorCode = GrabStatus::ErrorCreateFailed;
            else if (e.failure.what != cld::engine::Failure::None)
                end.errorCode = GrabStatus::ErrorWriteFailed;
        }
        if (report.setupFailure != cld::engine::Failure::None) {
            end.errorCode = GrabStatus::ErrorCreateFailed;
            stopIndex = 0;
        }
        // A track read whole but not exactly is kept; the ripper's code says so.
        if (end.errorCode == 0 && !report.inexact.empty())
            end.errorCode = report.inexact.front().result.unreadSectors > 0
                                ? GrabStatus::ErrorReadFailed
                                : GrabStatus::ErrorNotVerified;
        end.tracks = report.results.empty()
                         ? cld::outcomesFromStatus(names, end.errorCode, end.aborted,
                                                   static_cast<int>(stopIndex))
                         : cld::outcomesFromResults(names, trackIndices, report.results);
        for (const cld::engine::ItemEnd& e : ends) {
            if (e.index >= end.tracks.size() || e.outcome == cld::engine::ItemOutcome::Converted)
                continue;
            cld::TrackResult& t = end.tracks[e.index];
            if (e.failure.what == cld::engine::Failure::NameTaken) {
                // What was in the way stays; the log and cue sheet leave the track out.
                t.outcome = cld::TrackOutcome::NameTaken;
                t.file = std::filesystem::path(e.output).filename().string();
            } else if (e.outcome == cld::engine::ItemOutcome::Failed) {
                t.outcome = cld::TrackOutcome::Failed;
            }
        }
        end.verification = cld::verificationText(report.verification);
    }
    if (!refused.empty()) {
        end.tracks.insert(end.tracks.end(), refused.begin(), refused.end());
        if (end.errorCode == 0 || end.errorCode == GrabStatus::ErrorNotVerified ||
            end.errorCode == GrabStatus::ErrorReadFailed)
            end.errorCode = GrabStatus::ErrorNameRefused;
    }
    if (!offsetLine.empty())
        end.verification = offsetLine + (end.verification.empty() ? "" : "\n") + end.verification;

    // 8. Say how it ended, then close the progress window.
    const cld::GrabReport report = cld::grabReport(end);
    MessageService::message(report.stringId, iconOf(report.icon), MessageButtons::Ok, &progress,
                            report.argument.empty() ? QString()
                                                    : QString::fromStdString(report.argument));
    progress.CloseProgress();
}

std::string CCDGrabDlg::chosenEncoder() const {
    const std::string name = m_saveAs->currentData().toString().toStdString();
    return name.empty() ? std::string("wav") : name;
}

void CCDGrabDlg::formatChanged() {
    const std::string name = chosenEncoder();
    const auto format = std::find_if(m_formats.begin(), m_formats.end(),
                                     [&](const cld::GrabFormat& f) { return f.name == name; });
    m_encoderSettings->setEnabled(format != m_formats.end() && !format->settings.empty());
}

void CCDGrabDlg::editEncoderSettings() {
    const std::string name = chosenEncoder();
    const auto format = std::find_if(m_formats.begin(), m_formats.end(),
                                     [&](const cld::GrabFormat& f) { return f.name == name; });
    if (format == m_formats.end() || format->settings.empty())
        return;
    const std::string kept = m_context.settings.grabEncoderOptions();
    CEncoderSettingsDlg settings(*format, cld::grabOptionsOf(kept, name), this);
    if (settings.exec() != QDialog::Accepted)
        return;
    if (!m_context.settings.setGrabEncoderOptions(
            cld::withGrabOptions(kept, name, settings.options())))
        cld::logf(cld::LogLevel::Warning, "The encoder's settings could not be stored.");
}

void CCDGrabDlg::setMusicBrainzBusy(bool busy) {
    m_mbBusy = busy;
    // Everything but Cancel waits; Cancel ends the look-up. Controls that were disabled
    // before (the intro length without "Grab Intro Only.") stay so afterwards.
    if (busy) {
        m_lookupDisabled.clear();
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isEnabled() && child->property("cld_id").toInt() != 2 &&
                child != m_lookupStatus) {
                child->setEnabled(false);
                m_lookupDisabled.push_back(child);
            }
        return;
    }
    for (QWidget* child : m_lookupDisabled)
        child->setEnabled(true);
    m_lookupDisabled.clear();
}

void CCDGrabDlg::reject() {
    if (m_mbBusy) {
        if (m_mb)
            m_mb->cancel();
        return;
    }
    QDialog::reject();
}

void CCDGrabDlg::showCover() {
    QPixmap picture;
    if (!m_coverImage.empty() &&
        picture.loadFromData(reinterpret_cast<const uchar*>(m_coverImage.data()),
                             static_cast<uint>(m_coverImage.size()))) {
        m_cover->setPixmap(
            picture.scaled(m_cover->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        m_cover->show();
        return;
    }
    m_cover->clear();
    m_cover->hide();
}

bool CCDGrabDlg::musicBrainzInfo() {
    const cld::mb::MbToc toc = cld::mb::tocFromSectors(m_firstSectors, m_lastSector);
    if (!m_mb)
        m_mb = std::make_unique<cld::mb::MusicBrainzClient>();
    cld::configureMusicBrainz(*m_mb, m_context.settings);
    m_mb->resetCancel();
    cld::mb::MusicBrainzClient* client = m_mb.get();
    const auto say = [this](const cld::MbStatusLine& line) {
        QString text = AppResources::string(line.stringId);
        if (!line.argument.empty())
            text = text.arg(qs(line.argument));
        m_lookupStatus->setText(text);
    };
    say({cld::IDS_MB_ASKING, cld::musicBrainzServerName(*client)});

    std::vector<cld::mb::MbRelease> releases;
    setMusicBrainzBusy(true);
    const cld::mb::LookupStatus status =
        cld::callInBackground([client, toc, &releases] { return client->lookup(toc, releases); },
                              WaitService::instance());
    setMusicBrainzBusy(false);
    m_mbDiscId = client->discId();
    if (status != cld::mb::LookupStatus::Found) {
        say(cld::musicBrainzStatus(status, client->retryAfterSeconds(), client->lastDetail(),
                                   cld::musicBrainzServerName(*client)));
        // A cancel ends "Get CD Info" altogether; anything else leaves FreeDB and typing.
        return status == cld::mb::LookupStatus::Cancelled;
    }

    std::size_t chosen = 0;
    if (releases.size() > 1) {
        CMusicBrainzReleaseDlg choice(releases, this);
        if (choice.exec() != QDialog::Accepted || choice.chosen() < 0) {
            m_lookupStatus->clear();
            return true;
        }
        chosen = static_cast<std::size_t>(choice.chosen());
    }
    const cld::mb::MbRelease& release = releases[chosen];

    // The names, as the FreeDB path sets them.
    m_artist->setText(qs(release.artist));
    if (!release.genre.empty())
        selectGenrePrefix(release.genre);
    if (release.year > 0)
        m_year->setText(QString::number(release.year));
    const int rows =
        std::min<int>(m_list->rowCount(), static_cast<int>(release.trackTitles.size()));
    for (int i = 0; i < rows; ++i) {
        const QString name = qs(release.trackTitles[static_cast<std::size_t>(i)]);
        m_list->setCellText(i, 0, name);
        m_list->topLevelItem(i)->setData(0, kNameRole, name);
    }
    setInfoToAllTracks();
    m_album->setText(qs(release.album));

    // The cover; a release without one is normal and says nothing of it.
    std::string image;
    setMusicBrainzBusy(true);
    const std::string releaseId = release.id;
    const bool haveCover = cld::callInBackground(
        [client, releaseId, &image] { return client->fetchCover(releaseId, image); },
        WaitService::instance());
    setMusicBrainzBusy(false);
    m_coverImage = haveCover ? std::move(image) : std::string();
    showCover();
    say(cld::musicBrainzFoundStatus(release, haveCover));
    return true;
}
