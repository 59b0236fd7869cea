#include "GrabDialogKit.h"

#include <QCoreApplication>
#include <algorithm>
#include <thread>

namespace cldtest {

void HookedWait::waitAndPump(int milliseconds) {
    if (*m_hook)
        (*m_hook)(milliseconds);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(milliseconds, 0, 5)));
    QCoreApplication::processEvents();
}

void HookedWait::pump() {
    QCoreApplication::processEvents();
}

GrabDialogTest::GrabDialogTest()
    : m_registry("CLD_REGISTRY_DIR", (m_dir.path() / "registry").string()),
      m_home("HOME", m_dir.path().string()),
      m_odbcIni("ODBCINI", (m_dir.path() / "odbc.ini").string()) {
    m_settings.LoadSettings();
    // These tests drive the FreeDB path; the MusicBrainz tests choose their source.
    m_settings.setDiscNameSource(SettingsRecord::kFreeDBOnly);
    m_genres.buildGenreList();
    WaitService::setInstance(std::make_unique<HookedWait>(&m_waitHook));
    PickerService::setInstance(std::make_unique<FolderPicker>(&m_folderAnswer, &m_folderTitle));
}

GrabDialogTest::~GrabDialogTest() {
    m_timers.clear();
    WaitService::setInstance(nullptr);
    PickerService::setInstance(nullptr);
    if (m_rip)
        m_rip->Dispose();
    if (m_cdda)
        m_cdda->Dispose();
    if (m_context.cache)
        m_cache.close();
}

void GrabDialogTest::startDrives(const std::vector<vdrivekit::DiscSpec>& discs) {
    ASSERT_NE(classFactory(), nullptr);
    m_drives = std::make_unique<vdrivekit::VirtualDrives>(m_dir.path() / "images", discs);
    m_rip = createObject<CDRipObject>("CDRipObject");
    ASSERT_NE(m_rip, nullptr);
    m_cdda = createObject<CDDAObject>("CDDAObject");
    ASSERT_NE(m_cdda, nullptr);
    m_context.ripObject = m_rip;
    m_context.driveSettings = m_rip->GetDriveSettings();
}

void GrabDialogTest::openCache() {
    // The driver manager keeps data source look-ups for a while within a process, so
    // every test names its own.
    const std::string name = "CLD CDDB G" + std::to_string(++s_count);
    ASSERT_TRUE(m_cache.open(name, (m_dir.path() / kCdCacheFileName).string(), kCdCacheDescription))
        << m_cache.lastError();
    m_context.cache = &m_cache;
}

void GrabDialogTest::whenModal(std::function<bool(QWidget*)> ready,
                               std::function<void(QWidget*)> action) {
    auto timer = std::make_unique<QTimer>();
    QTimer* t = timer.get();
    t->setInterval(10);
    QObject::connect(t, &QTimer::timeout, [t, ready, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !ready(modal))
            return;
        t->stop();
        action(modal);
    });
    t->start();
    m_timers.push_back(std::move(timer));
}

std::vector<int> GrabDialogTest::messageIds() const {
    std::vector<int> ids;
    for (const Message& m : messages())
        ids.push_back(m.stringId);
    return ids;
}

std::vector<std::uint8_t> GrabDialogTest::imageBytes(long first, long last, int disc) const {
    std::filesystem::path bin = m_drives->cuePaths()[static_cast<std::size_t>(disc)];
    bin.replace_extension(".bin");
    std::ifstream in(bin, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>((last - first + 1) * 2352));
    in.seekg(first * 2352);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::vector<GrabDialogTest::Range> GrabDialogTest::trackRanges() {
    std::vector<Range> out;
    DiscInfo* disc = m_rip->GetDiscInfo();
    for (int i = 0; disc && i < disc->GetTrackCount(); ++i) {
        TrackInfo* t = disc->GetTrack(i);
        out.push_back({t->GetFirstSector(), t->GetLastSector()});
        t->Destroy();
    }
    if (disc)
        disc->Destroy();
    return out;
}

DriveParams GrabDialogTest::driveParams() {
    DriveParams p;
    m_cdda->GetDriveParams(&p);
    return p;
}

} // namespace cldtest
