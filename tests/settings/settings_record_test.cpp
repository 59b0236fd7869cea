#include "CRegistry.h"
#include "LogCapture.h"
#include "RegistryStore.h"
#include "RegistryTestUtil.h"
#include "SettingsRecord.h"
#include "TempDir.h"
#include "TestEnv.h"

#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using cldtest::ScopedRegistry;

namespace {

void expectDefaults(const SettingsRecord& r) {
    EXPECT_EQ(r.lastCD(), "");
    EXPECT_EQ(r.errorCorrection(), 1);
    EXPECT_EQ(r.grabFormat(), SettingsRecord::kGrabToWav);
    EXPECT_EQ(r.grabEncoder(), "");
    EXPECT_EQ(r.grabEncoderOptions(), "");
    EXPECT_EQ(r.freeDBServer(), "gnudb.gnudb.org");
    EXPECT_EQ(r.useProxy(), 0);
    EXPECT_EQ(r.proxyServer(), "");
    EXPECT_EQ(r.proxyPort(), 8080);
    EXPECT_EQ(r.lastWMAOutFolder(), "");
    EXPECT_EQ(r.lastWMARecorderFolder(), "");
    EXPECT_EQ(r.lastRecWMAProfileIndex(), 0);
    EXPECT_EQ(r.lastWMVProfileIndex(), 0);
    EXPECT_EQ(r.lastWMAProfileIndex(), 0);
    EXPECT_EQ(r.lastWAVInFolder(), "");
    EXPECT_EQ(r.lastWAVOutFolder(), "");
    EXPECT_EQ(r.lastMP3OutFolder(), "");
    EXPECT_EQ(r.lastVideoInFolder(), "");
    EXPECT_EQ(r.lastMP3Bitrate(), 0);
    EXPECT_EQ(r.mp3BitrateType(), 0);
    EXPECT_EQ(r.vbrMethod(), 2);
    EXPECT_EQ(r.vbrQuality(), 0);
    EXPECT_EQ(r.mp3Quality(), 1);
    EXPECT_EQ(r.audioChannels(), 4);
    EXPECT_EQ(r.meanVBRBitrate(), 128);
    EXPECT_EQ(r.maxVBRBitrate(), 192);
    EXPECT_EQ(r.materialPrivate(), 0);
    EXPECT_EQ(r.materialCopyrighted(), 0);
    EXPECT_EQ(r.materialOriginal(), 0);
    EXPECT_EQ(r.materialCRC(), 0);
    EXPECT_EQ(r.wmfRedist(), 0);
}

// Reads one value of the profile straight from the store.
bool readProfileDword(const char* section, const char* name, DWORD& value) {
    CRegistry reg;
    return reg.ConnectRoot(HKEY_CURRENT_USER) &&
           reg.OpenKey((std::string("Software\\Quorvane\\Calderine 2002\\CLD\\") + section).c_str(),
                       KEY_READ) &&
           reg.ReadDword(name, value);
}

bool readProfileString(const char* section, const char* name, std::string& value) {
    CRegistry reg;
    return reg.ConnectRoot(HKEY_CURRENT_USER) &&
           reg.OpenKey((std::string("Software\\Quorvane\\Calderine 2002\\CLD\\") + section).c_str(),
                       KEY_READ) &&
           reg.ReadString(name, value);
}

} // namespace

TEST(SettingsRecord, FirstStartYieldsTheDefaults) {
    ScopedRegistry registry;
    SettingsRecord record;
    expectDefaults(record);
    record.LoadSettings();
    record.loadComponents();
    expectDefaults(record);
    // Loading writes nothing.
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.OpenKey("Software"));
}

TEST(SettingsRecord, EveryValueIsStoredUnderItsSectionAndReadBack) {
    ScopedRegistry registry;
    SettingsRecord record;
    ASSERT_TRUE(record.setLastCD("/dev/sr1"));
    ASSERT_TRUE(record.setErrorCorrection(2));
    ASSERT_TRUE(record.setGrabFormat(SettingsRecord::kGrabToFlac));
    ASSERT_TRUE(record.setGrabEncoder("opus"));
    ASSERT_TRUE(record.setGrabEncoderOptions("opus.bitrate=96;flac.level=8"));
    ASSERT_TRUE(record.setFreeDBServer("cddb.example.org"));
    ASSERT_TRUE(record.setUseProxy(1));
    ASSERT_TRUE(record.setProxyServer("proxy.local"));
    ASSERT_TRUE(record.setProxyPort(3128));
    ASSERT_TRUE(record.setLastWMAOutFolder("/music/wma"));
    ASSERT_TRUE(record.setLastWMARecorderFolder("/music/rec"));
    ASSERT_TRUE(record.setLastRecWMAProfileIndex(3));
    ASSERT_TRUE(record.setLastWMVProfileIndex(4));
    ASSERT_TRUE(record.setLastWMAProfileIndex(5));
    ASSERT_TRUE(record.setLastWAVInFolder("/music/wav in"));
    ASSERT_TRUE(record.setLastWAVOutFolder("/music/wav out"));
    ASSERT_TRUE(record.setLastMP3OutFolder("/music/mp3"));
    ASSERT_TRUE(record.setLastVideoInFolder("/video"));
    ASSERT_TRUE(record.setLastMP3Bitrate(11));
    ASSERT_TRUE(record.setMp3BitrateType(1));
    ASSERT_TRUE(record.setVbrMethod(1));
    ASSERT_TRUE(record.setVbrQuality(4));
    ASSERT_TRUE(record.setMp3Quality(7));
    ASSERT_TRUE(record.setAudioChannels(3));
    ASSERT_TRUE(record.setMeanVBRBitrate(160));
    ASSERT_TRUE(record.setMaxVBRBitrate(256));
    ASSERT_TRUE(record.setMaterialPrivate(1));
    ASSERT_TRUE(record.setMaterialCopyrighted(1));
    ASSERT_TRUE(record.setMaterialOriginal(1));
    ASSERT_TRUE(record.setMaterialCRC(1));
    ASSERT_TRUE(record.setWmfRedist(1));

    SettingsRecord next;
    next.LoadSettings();
    next.loadComponents();
    EXPECT_EQ(next.lastCD(), "/dev/sr1");
    EXPECT_EQ(next.errorCorrection(), 2);
    EXPECT_EQ(next.grabFormat(), SettingsRecord::kGrabToFlac);
    EXPECT_EQ(next.grabEncoder(), "opus");
    EXPECT_EQ(next.grabEncoderOptions(), "opus.bitrate=96;flac.level=8");
    EXPECT_EQ(next.freeDBServer(), "cddb.example.org");
    EXPECT_EQ(next.useProxy(), 1);
    EXPECT_EQ(next.proxyServer(), "proxy.local");
    EXPECT_EQ(next.proxyPort(), 3128);
    EXPECT_EQ(next.lastWMAOutFolder(), "/music/wma");
    EXPECT_EQ(next.lastWMARecorderFolder(), "/music/rec");
    EXPECT_EQ(next.lastRecWMAProfileIndex(), 3);
    EXPECT_EQ(next.lastWMVProfileIndex(), 4);
    EXPECT_EQ(next.lastWMAProfileIndex(), 5);
    EXPECT_EQ(next.lastWAVInFolder(), "/music/wav in");
    EXPECT_EQ(next.lastWAVOutFolder(), "/music/wav out");
    EXPECT_EQ(next.lastMP3OutFolder(), "/music/mp3");
    EXPECT_EQ(next.lastVideoInFolder(), "/video");
    EXPECT_EQ(next.lastMP3Bitrate(), 11);
    EXPECT_EQ(next.mp3BitrateType(), 1);
    EXPECT_EQ(next.vbrMethod(), 1);
    EXPECT_EQ(next.vbrQuality(), 4);
    EXPECT_EQ(next.mp3Quality(), 7);
    EXPECT_EQ(next.audioChannels(), 3);
    EXPECT_EQ(next.meanVBRBitrate(), 160);
    EXPECT_EQ(next.maxVBRBitrate(), 256);
    EXPECT_EQ(next.materialPrivate(), 1);
    EXPECT_EQ(next.materialCopyrighted(), 1);
    EXPECT_EQ(next.materialOriginal(), 1);
    EXPECT_EQ(next.materialCRC(), 1);
    EXPECT_EQ(next.wmfRedist(), 1);

    // The values sit at the program's profile key, integers as DWORDs, texts as strings.
    DWORD n = 0;
    ASSERT_TRUE(readProfileDword("Preferences", "ProxyPort", n));
    EXPECT_EQ(n, 3128u);
    ASSERT_TRUE(readProfileDword("History", "MP3BitrateType", n));
    EXPECT_EQ(n, 1u);
    ASSERT_TRUE(readProfileDword("Components", "WMFRedist", n));
    EXPECT_EQ(n, 1u);
    std::string s;
    ASSERT_TRUE(readProfileString("Preferences", "FreeDBServer", s));
    EXPECT_EQ(s, "cddb.example.org");
    EXPECT_EQ(record.sectionKeyPath("History"), "Software\\Quorvane\\Calderine 2002\\CLD\\History");
}

TEST(SettingsRecord, ApplicationNameSelectsTheProfile) {
    ScopedRegistry registry;
    SettingsRecord other("OtherApp");
    ASSERT_TRUE(other.setProxyPort(1));
    SettingsRecord record;
    record.LoadSettings();
    EXPECT_EQ(record.proxyPort(), 8080);
    EXPECT_EQ(other.profileKeyPath(), "Software\\Quorvane\\Calderine 2002\\OtherApp");
}

TEST(SettingsRecord, ItsKeysAndItsStoreFolderAreTheProducts) {
    EXPECT_EQ(SettingsRecord().profileKeyPath(), "Software\\Quorvane\\Calderine 2002\\CLD");
    EXPECT_STREQ(SettingsRecord::kLanguageKeyPath, "SOFTWARE\\Quorvane\\Calderine 2002\\4.05");
    // Without CLD_REGISTRY_DIR the user's settings live in the vendor's folder.
    cldtest::TempDir home;
    cldtest::ScopedEnv noDir("CLD_REGISTRY_DIR", "");
    cldtest::ScopedEnv homeEnv("HOME", home.path().string());
    {
        cldtest::ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/conf");
        EXPECT_EQ(cld::RegistryStore::fileForRoot(HKEY_CURRENT_USER),
                  std::filesystem::path("/srv/conf/Quorvane/HKEY_CURRENT_USER.db"));
    }
    cldtest::ScopedEnv relative("XDG_CONFIG_HOME", "conf");
    EXPECT_EQ(cld::RegistryStore::fileForRoot(HKEY_CURRENT_USER),
              home.path() / ".config" / "Quorvane" / "HKEY_CURRENT_USER.db");
}

TEST(SettingsRecord, OutOfRangeSettersChangeNothing) {
    ScopedRegistry registry;
    SettingsRecord record;
    ASSERT_TRUE(record.setProxyPort(3128));
    EXPECT_FALSE(record.setProxyPort(70000));
    EXPECT_EQ(record.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(record.setErrorCorrection(3));
    EXPECT_FALSE(record.setGrabFormat(2));
    EXPECT_FALSE(record.setAudioChannels(-1));
    EXPECT_FALSE(record.setLastCD(std::string("a\0b", 3)));
    EXPECT_EQ(record.proxyPort(), 3128);
    EXPECT_EQ(record.errorCorrection(), 1);
    EXPECT_EQ(record.grabFormat(), SettingsRecord::kGrabToWav);
    EXPECT_EQ(record.audioChannels(), 4);
    DWORD n = 0;
    ASSERT_TRUE(readProfileDword("Preferences", "ProxyPort", n));
    EXPECT_EQ(n, 3128u);
    EXPECT_FALSE(readProfileDword("Preferences", "ErrorCorrection", n));
}

TEST(SettingsRecord, CddbOptionsAreWrittenTogetherOrNotAtAll) {
    ScopedRegistry registry;
    SettingsRecord record;
    ASSERT_TRUE(record.setCddbOptions("cddb.example.org", "proxy.example", 1, 3128));
    EXPECT_FALSE(record.setCddbOptions("other.example.org", "other.proxy", 1, 0));
    EXPECT_EQ(record.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(record.setCddbOptions("other.example.org", "other.proxy", 2, 80));
    SettingsRecord next;
    next.LoadSettings();
    EXPECT_EQ(next.freeDBServer(), "cddb.example.org");
    EXPECT_EQ(next.proxyServer(), "proxy.example");
    EXPECT_EQ(next.useProxy(), 1);
    EXPECT_EQ(next.proxyPort(), 3128);
    EXPECT_EQ(record.freeDBServer(), "cddb.example.org");
}

TEST(SettingsRecord, WrongTypesAndAbsurdValuesReadAsDefaults) {
    ScopedRegistry registry;
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.CreateKey("Software\\Quorvane\\Calderine 2002\\CLD\\Preferences"));
    ASSERT_TRUE(reg.WriteString("ProxyPort", "3128")); // text where a number belongs
    ASSERT_TRUE(reg.WriteDword("FreeDBServer", 5));    // number where a text belongs
    ASSERT_TRUE(reg.WriteDword("ErrorCorrection", 99));
    ASSERT_TRUE(reg.WriteString("ProxyServer", "kept.example"));
    ASSERT_TRUE(reg.CreateKey("Software\\Quorvane\\Calderine 2002\\CLD\\History"));
    ASSERT_TRUE(reg.WriteDword("MeanVBRBitrate", 0xFFFFFFFFu)); // -1
    ASSERT_TRUE(reg.WriteBinary("VBRMethod", {1, 0, 0, 0}));
    ASSERT_TRUE(reg.WriteDword("MaxVBRBitrate", 320));

    SettingsRecord record;
    std::string err;
    {
        cldtest::LogCapture log;
        record.LoadSettings();
        err = log.text();
        EXPECT_TRUE(log.has(cld::LogLevel::Warning, "Preferences\\FreeDBServer has the wrong type"))
            << err;
    }
    EXPECT_EQ(record.proxyPort(), 8080);
    EXPECT_EQ(record.freeDBServer(), "gnudb.gnudb.org");
    EXPECT_EQ(record.errorCorrection(), 1);
    EXPECT_EQ(record.meanVBRBitrate(), 128);
    EXPECT_EQ(record.vbrMethod(), 2);
    EXPECT_EQ(record.proxyServer(), "kept.example");
    EXPECT_EQ(record.maxVBRBitrate(), 320);
    EXPECT_NE(err.find("Preferences\\ProxyPort has the wrong type"), std::string::npos) << err;
    EXPECT_NE(err.find("Preferences\\ErrorCorrection holds 99"), std::string::npos) << err;

    // The odd values are not lost: they stay in the store until the user changes them.
    std::string text;
    ASSERT_TRUE(reg.OpenKey("Software\\Quorvane\\Calderine 2002\\CLD\\Preferences"));
    ASSERT_TRUE(reg.ReadString("ProxyPort", text));
    EXPECT_EQ(text, "3128");
    // A setter then stores the right type.
    ASSERT_TRUE(record.setProxyPort(8081));
    SettingsRecord next;
    next.LoadSettings();
    EXPECT_EQ(next.proxyPort(), 8081);
}

TEST(SettingsRecord, DamagedStoreReadsAsDefaultsAndIsKeptAside) {
    ScopedRegistry registry;
    // An earlier run stored a value; then the file was damaged.
    ASSERT_EQ(cldtest::runRegtool({"profile-int", "Preferences", "ProxyPort", "3128"}), 0);
    {
        std::ofstream out(registry.userStore(), std::ios::binary | std::ios::trunc);
        out << std::string(8192, '\x5a');
    }
    std::filesystem::remove(registry.userStore().string() + "-wal");
    std::filesystem::remove(registry.userStore().string() + "-shm");
    SettingsRecord record;
    cldtest::LogCapture log;
    record.LoadSettings();
    const std::string err = log.text();
    expectDefaults(record);
    const auto kept = registry.damagedFiles();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(kept.front()), 8192u);
    EXPECT_NE(err.find("was damaged; it was kept as " + kept.front().string()), std::string::npos)
        << err;
    ASSERT_EQ(log.lines().size(), 1u) << err;
    EXPECT_EQ(log.lines()[0].level, cld::LogLevel::Warning);
    // The new store works.
    ASSERT_TRUE(record.setProxyPort(1080));
    SettingsRecord next;
    next.LoadSettings();
    EXPECT_EQ(next.proxyPort(), 1080);
}

TEST(SettingsRecord, TruncatedStoreReadsAsDefaults) {
    ScopedRegistry registry;
    // An earlier run filled several pages of the file.
    ASSERT_EQ(
        cldtest::runRegtool({"fill", "Software\\Quorvane\\Calderine 2002\\CLD\\History", "200"}),
        0);
    ASSERT_EQ(cldtest::runRegtool({"profile-int", "History", "MP3Quality", "5"}), 0);
    std::filesystem::remove(registry.userStore().string() + "-wal");
    std::filesystem::remove(registry.userStore().string() + "-shm");
    const auto size = std::filesystem::file_size(registry.userStore());
    ASSERT_GT(size, 8192u);
    std::filesystem::resize_file(registry.userStore(), size / 3);
    SettingsRecord record;
    testing::internal::CaptureStderr();
    record.LoadSettings();
    testing::internal::GetCapturedStderr();
    expectDefaults(record);
    EXPECT_EQ(registry.damagedFiles().size(), 1u);
}

TEST(SettingsRecord, StoreThatCannotBeCreatedReadsDefaultsAndRefusesWrites) {
    // A store folder that can never exist (below a plain file), like a machine root for a
    // user who may not write the system folder.
    cldtest::TempDir dir;
    std::ofstream(dir.file("plain")) << "x";
    cldtest::ScopedEnv env("CLD_REGISTRY_DIR", (dir.file("plain") / "registry").string());
    CRegistry reg;
    ASSERT_TRUE(reg.ConnectRoot(HKEY_CURRENT_USER));
    EXPECT_FALSE(reg.OpenKey("Software"));
    EXPECT_EQ(reg.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(reg.CreateKey("Software"));
    EXPECT_EQ(reg.LastError(), ERROR_ACCESS_DENIED);

    SettingsRecord record;
    record.LoadSettings();
    expectDefaults(record);
    cldtest::LogCapture log;
    EXPECT_FALSE(record.setProxyPort(3128));
    const std::string err = log.text();
    EXPECT_EQ(record.LastError(), ERROR_ACCESS_DENIED);
    // The program goes on with what the user chose, and says the value was not saved.
    EXPECT_EQ(record.proxyPort(), 3128);
    EXPECT_TRUE(log.has(cld::LogLevel::Error, "Preferences\\ProxyPort could not be saved")) << err;
}

TEST(SettingsRecord, ParallelJobsDefaultsToTheCoresAndRefusesAbsurdCounts) {
    ScopedRegistry registry;
    SettingsRecord fresh;
    fresh.LoadSettings();
    EXPECT_EQ(fresh.parallelJobs(), 0);
    EXPECT_EQ(fresh.parallelJobCount(),
              SettingsRecord::effectiveParallelJobs(0, std::thread::hardware_concurrency()));

    struct Case {
        int stored;
        unsigned cores;
        int jobs;
    };
    for (const Case& c : {Case{0, 8, 8}, Case{0, 0, 1}, Case{0, 1000, 64}, Case{1, 8, 1},
                          Case{3, 2, 3}, Case{64, 2, 64}, Case{65, 4, 4}, Case{-7, 2, 2}})
        EXPECT_EQ(SettingsRecord::effectiveParallelJobs(c.stored, c.cores), c.jobs)
            << c.stored << " stored, " << c.cores << " cores";

    ASSERT_TRUE(fresh.setParallelJobs(3));
    EXPECT_FALSE(fresh.setParallelJobs(-1));
    EXPECT_FALSE(fresh.setParallelJobs(100000));
    EXPECT_EQ(fresh.parallelJobs(), 3);
    SettingsRecord next;
    next.LoadSettings();
    EXPECT_EQ(next.parallelJobs(), 3);
    EXPECT_EQ(next.parallelJobCount(), 3);

    // A value written by hand beyond the range reads as the default.
    CRegistry reg;
    reg.ConnectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.CreateKey("Software\\Quorvane\\Calderine 2002\\CLD\\Preferences"));
    ASSERT_TRUE(reg.WriteDword("ParallelJobs", 0xFFFFFFFFu));
    SettingsRecord absurd;
    absurd.LoadSettings();
    EXPECT_EQ(absurd.parallelJobs(), 0);
    EXPECT_GE(absurd.parallelJobCount(), 1);
}
