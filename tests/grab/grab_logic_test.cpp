// The grabber's texts and rules, and how the stored CDDB options reach the client.

#include "CddbClient.h"
#include "CddbSettings.h"
#include "GrabFormats.h"
#include "GrabReport.h"
#include "GrabText.h"
#include "RegistryTestUtil.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "StringTable.h"
#include "cldrip/GrabStatus.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

using namespace cld;

TEST(GrabNames, FileNamesFollowTheOneRule) {
    EXPECT_EQ(wavBaseName("", "Track01", "01"), "Track01");
    EXPECT_EQ(wavBaseName("Band", "Song", "01"), "Band - Song");
    // The same rule as every other file name: no folder separators, no characters other
    // systems refuse, no leading or trailing dots.
    EXPECT_EQ(wavBaseName("AC/DC", "Live: Now?", "03"), "AC-DC - Live. Now");
    EXPECT_EQ(wavBaseName("Motörhead", R"(a\b*c<d>e|f"g)", "03"), "Motörhead - a-b-c.d.e.f'g");
    EXPECT_EQ(wavBaseName("", "", "07"), "07");
    EXPECT_EQ(wavBaseName("", "..", "07"), "07");
    EXPECT_EQ(wavBaseName("", "a\nb\x01", "07"), "ab");
    EXPECT_EQ(wavBaseName("", std::string(300, 'x'), "07", 100), std::string(100, 'x'));
    EXPECT_EQ(albumFolderName("", ""), "Unknown Artist - Unkown Album");
    EXPECT_EQ(albumFolderName("Band", ""), "Band - Unkown Album");
    EXPECT_EQ(albumFolderName("", "Disc"), "Unknown Artist - Disc");
    EXPECT_EQ(albumFolderName("A/B", "../x"), "A-B - -x");
    EXPECT_EQ(defaultTrackTitle(1), "Track01");
    EXPECT_EQ(defaultTrackTitle(12), "Track12");
    EXPECT_EQ(defaultTrackTitle(100), "Track100");
}

TEST(GrabNames, DiscTextBecomesValidUtf8) {
    EXPECT_EQ(utf8Text("plain"), "plain");
    EXPECT_EQ(utf8Text("Bj\xC3\xB6rk"), "Bj\xC3\xB6rk");             // already UTF-8
    EXPECT_EQ(utf8Text("Bj\xF6rk"), "Bj\xC3\xB6rk");                 // Latin-1
    EXPECT_EQ(utf8Text("\xC0\xAF"), "\xC3\x80\xC2\xAF");             // overlong form: Latin-1
    EXPECT_EQ(utf8Text("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80"); // surrogate: Latin-1
    EXPECT_EQ(utf8Text(std::string("a\0b", 3)), "ab");
    EXPECT_EQ(characterCount("Bj\xC3\xB6rk"), 5);
    EXPECT_EQ(characterCount(std::string(50, 'x')), kMaxTrackNameLength);
}

TEST(GrabNames, FreedbIdTextIsEightLowercaseDigits) {
    EXPECT_EQ(freedbIdText(0x0A0B0C03), "0a0b0c03");
    EXPECT_EQ(freedbIdText(0xFFFFFFFFu), "ffffffff");
}

TEST(GrabChoices, IntroLengthAndErrorCorrection) {
    EXPECT_EQ(effectiveIntroSeconds(0), 15);
    EXPECT_EQ(effectiveIntroSeconds(-3), 15);
    EXPECT_EQ(effectiveIntroSeconds(30), 30);
    EXPECT_EQ(effectiveIntroSeconds(1 << 30), kMaxIntroSeconds);
    EXPECT_EQ(errorCorrectionType(0), 0);
    EXPECT_EQ(errorCorrectionType(1), 1);
    EXPECT_EQ(errorCorrectionType(2), 5);
    EXPECT_EQ(errorCorrectionType(7), 1);
    EXPECT_EQ(errorCorrectionIndex(2), 2);
    EXPECT_EQ(errorCorrectionIndex(-1), 1);
    EXPECT_EQ(errorCorrectionIndex(3), 1);
}

TEST(GrabTotalsLine, CountsSizeAndTime) {
    const TotalsTexts none = totalsTexts({});
    EXPECT_EQ(none.tracks, "0 Track(s) ");
    EXPECT_EQ(none.size, "0.0 MB ");
    EXPECT_EQ(none.duration, "00:00:00 ");
    const TotalsTexts t = totalsTexts({3, 3725, 12345});
    EXPECT_EQ(t.tracks, "3 Track(s) ");
    EXPECT_EQ(t.size, "12.3 MB ");
    EXPECT_EQ(t.duration, "01:02:05 ");
    EXPECT_EQ(totalsTexts({1, 100 * 3600 + 59, 0}).duration, "100:00:59 ");
}

TEST(FreeDBToc, StartTextsAndDiscLengthFromTheStartOfThePregap) {
    std::vector<MsfTime> toc;
    // One track at sector 0 lasting 200 s: CDDB wants the offset 150 and 200 s in all.
    ASSERT_TRUE(tocFromStartTexts({"0:00.00"}, 200, toc));
    ASSERT_EQ(toc.size(), 2u);
    CddbClient client;
    const std::string request = client.queryRequest(CddbServer{}, 0x0200c801, toc);
    EXPECT_NE(request.find("cddb+query+0200c801+1+150+200&"), std::string::npos) << request;

    ASSERT_TRUE(tocFromStartTexts({"0:00.00", "3:58.74", "12:05.01"}, 1000, toc));
    ASSERT_EQ(toc.size(), 4u);
    EXPECT_EQ(toc[1].minute, 4); // 3:58 + 2 s
    EXPECT_EQ(toc[1].second, 0);
    EXPECT_EQ(toc[1].frame, 74);
    EXPECT_EQ(toc[2].minute, 12);
    EXPECT_EQ(toc[2].second, 7);
    EXPECT_EQ(toc[3].minute, 16); // lead-out from 1000 s + 2 s
    EXPECT_EQ(toc[3].second, 42);
    EXPECT_EQ(toc[3].frame, 0);
    for (const char* bad : {"", "3:2.00", "3:20", "x:20.00", "3:20.7", "3:60.00", "3:20.75",
                            "3:20.00 ", "123456:00.00"}) {
        EXPECT_FALSE(tocFromStartTexts({"0:02.00", bad}, 100, toc)) << bad;
        EXPECT_TRUE(toc.empty());
    }
    EXPECT_EQ(discIdText(0x0a1b2c3d), "A1B2C3D");
}

// A track whose name something else had is named with that file; the grab went on, so it
// is no stop, and the tracks saved are not called exact when they are not.
TEST(GrabEndReport, ATrackWhoseNameWasTakenIsNamedWithTheFileInTheWay) {
    GrabEnd end;
    end.errorCode = GrabStatus::ErrorCreateFailed;
    TrackResult taken;
    taken.name = "Two";
    taken.outcome = TrackOutcome::NameTaken;
    taken.file = "A - Two.wav";
    end.tracks = {{"One", TrackOutcome::Exact}, taken};
    const GrabReport r = grabReport(end);
    EXPECT_EQ(r.stringId, IDS_GRAB_NOT_ALL_SAVED);
    EXPECT_EQ(r.icon, ReportIcon::Exclamation);
    EXPECT_EQ(r.argument, "Two: not saved: \"A - Two.wav\" is already there and was left as it is");
    // A read that also stopped early is a stop, and says so.
    end.tracks.push_back({"Three", TrackOutcome::NotReached});
    EXPECT_EQ(grabReport(end).stringId, IDS_GRAB_STOPPED);
}

TEST(GrabEndReport, EveryWayAGrabEnds) {
    GrabEnd exact;
    exact.tracks = {{"One", TrackOutcome::Exact}, {"Two", TrackOutcome::Corrected}};
    EXPECT_EQ(grabReport(exact).stringId, 127);
    EXPECT_EQ(grabReport(exact).icon, ReportIcon::Information);

    GrabEnd aborted = exact;
    aborted.aborted = true;
    EXPECT_EQ(grabReport(aborted).stringId, 126);
    EXPECT_EQ(grabReport(aborted).icon, ReportIcon::Error);

    GrabEnd unsure;
    unsure.tracks = {{"One", TrackOutcome::Exact},
                     {"Two", TrackOutcome::NotVerified},
                     {"Three", TrackOutcome::Failed}};
    const GrabReport u = grabReport(unsure);
    EXPECT_EQ(u.stringId, IDS_GRAB_NOT_EXACT);
    EXPECT_EQ(u.icon, ReportIcon::Exclamation);
    EXPECT_EQ(u.argument, "Two: its audio could not be verified (it may differ from the disc)\n"
                          "Three: the file stops before the end of the track\n" +
                              grabAdviceText());

    GrabEnd failed;
    failed.errorCode = GrabStatus::ErrorWriteFailed;
    failed.tracks = outcomesFromStatus({"One", "Two", "Three"}, failed.errorCode, false, 1);
    const GrabReport f = grabReport(failed);
    EXPECT_EQ(f.stringId, IDS_GRAB_STOPPED);
    EXPECT_EQ(f.icon, ReportIcon::Error);
    EXPECT_EQ(f.argument, grabErrorText(GrabStatus::ErrorWriteFailed) +
                              "\nTwo: the file stops before the end of the track\nThree: not read");
    // Every code the ripper knows has a sentence; unknown ones still say something.
    for (int code = 1; code <= 6; ++code)
        EXPECT_FALSE(grabErrorText(code).empty()) << code;
    EXPECT_NE(grabErrorText(99).find("99"), std::string::npos);
    // The report's strings exist in the program's table and take the argument.
    for (int id : {IDS_GRAB_STOPPED, IDS_GRAB_NOT_EXACT, IDS_GRAB_FOLDER_FAILED}) {
        const char* text = findEntry(builtinStrings(), id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_NE(std::string(text).find("%1"), std::string::npos) << id;
    }
}

TEST(GrabEndReport, OutcomesFromTheStopPosition) {
    const auto done = outcomesFromStatus({"a", "b"}, 0, false, 1);
    EXPECT_EQ(done[0].outcome, TrackOutcome::Exact);
    EXPECT_EQ(done[1].outcome, TrackOutcome::Exact);
    const auto stopped = outcomesFromStatus({"a", "b", "c"}, 0, true, 1);
    EXPECT_EQ(stopped[0].outcome, TrackOutcome::Exact);
    EXPECT_EQ(stopped[1].outcome, TrackOutcome::Failed);
    EXPECT_EQ(stopped[2].outcome, TrackOutcome::NotReached);
    const auto missing = outcomesFromStatus({"a"}, GrabStatus::ErrorTrackMissing, false, 0);
    EXPECT_EQ(missing[0].outcome, TrackOutcome::NotReached);
}

TEST(GrabEndReport, OutcomesFromTheRippersOwnResults) {
    // Track rows 4, 2 and 4 again were grabbed in that order; the third job never ended.
    const std::vector<GrabTrackResult> results{
        {4, GrabStatus::TrackNotVerified, 12, 0, 3, 0},
        {2, GrabStatus::TrackUnchecked, 0, 0, 0, 0},
    };
    const auto out = outcomesFromResults({"d", "b", "d again"}, {4, 2, 4}, results);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].outcome, TrackOutcome::NotVerified);
    EXPECT_EQ(out[1].outcome, TrackOutcome::Exact);
    EXPECT_EQ(out[2].outcome, TrackOutcome::NotReached);
    const auto mixed = outcomesFromResults(
        {"a", "b"}, {0, 1},
        {{0, GrabStatus::TrackCorrected, 3, 2, 0, 0}, {1, GrabStatus::TrackFailed, 0, 0, 0, 7}});
    EXPECT_EQ(mixed[0].outcome, TrackOutcome::Corrected);
    EXPECT_EQ(mixed[1].outcome, TrackOutcome::Failed);

    // A grab whose only fault is audio that could not be verified names the tracks; it
    // is not reported as a failed grab.
    GrabEnd end;
    end.errorCode = GrabStatus::ErrorNotVerified;
    end.tracks = out;
    const GrabReport report = grabReport(end);
    EXPECT_EQ(report.stringId, IDS_GRAB_NOT_EXACT);
    EXPECT_EQ(report.icon, ReportIcon::Exclamation);
    EXPECT_NE(report.argument.find("d: "), std::string::npos) << report.argument;
    EXPECT_EQ(report.argument.find("b: "), std::string::npos) << report.argument;
}

// The end of a grab says what happened to each track: sectors silent in the file,
// sectors that may differ from the disc, or a file that stops early; and what to do.
TEST(GrabEndReport, SaysWhatHappenedToEachTrack) {
    const std::vector<GrabTrackResult> results{
        {0, GrabStatus::TrackExact, 0, 0, 0, 0},
        {1, GrabStatus::TrackFailed, 2, 0, 0, 6},
        {2, GrabStatus::TrackNotVerified, 4, 0, 11, 0},
        {3, GrabStatus::TrackFailed, 1, 0, 1, 1},
    };
    GrabEnd gaps;
    gaps.errorCode = GrabStatus::ErrorReadFailed;
    gaps.tracks =
        outcomesFromResults({"Track01", "Track02", "Track03", "Track04"}, {0, 1, 2, 3}, results);
    const GrabReport r = grabReport(gaps);
    // Every track was saved at full length: no talk of an early stop.
    EXPECT_EQ(r.stringId, IDS_GRAB_NOT_EXACT);
    EXPECT_EQ(r.icon, ReportIcon::Exclamation);
    EXPECT_NE(r.argument.find("Track02: 6 sectors could not be read and are silent in the file"),
              std::string::npos)
        << r.argument;
    EXPECT_NE(r.argument.find(
                  "Track03: 11 sectors could not be verified (they may differ from the disc)"),
              std::string::npos)
        << r.argument;
    EXPECT_NE(r.argument.find("Track04: 1 sector could not be read and is silent in the file, "
                              "1 sector could not be verified"),
              std::string::npos)
        << r.argument;
    EXPECT_EQ(r.argument.find("Track01"), std::string::npos) << r.argument;
    EXPECT_EQ(r.argument.find("incomplete"), std::string::npos) << r.argument;
    // One line of advice, last.
    const auto advice = r.argument.substr(r.argument.rfind('\n') + 1);
    EXPECT_NE(advice.find("Clean the disc"), std::string::npos) << advice;
    EXPECT_NE(advice.find("\"Jitter and Scratch Repair\""), std::string::npos) << advice;

    // Verification alone: the same words, and the error is not a failure.
    GrabEnd unsure;
    unsure.errorCode = GrabStatus::ErrorNotVerified;
    unsure.tracks = outcomesFromResults({"Track03"}, {2}, {results[2]});
    EXPECT_EQ(grabReport(unsure).stringId, IDS_GRAB_NOT_EXACT);
    EXPECT_NE(grabReport(unsure).argument.find("may differ from the disc"), std::string::npos);

    // A track that really ended early is called incomplete, and the grab failed.
    GrabEnd stopped;
    stopped.errorCode = GrabStatus::ErrorWriteFailed;
    stopped.tracks = outcomesFromResults({"Track01", "Track02"}, {0, 1},
                                         {{0, GrabStatus::TrackFailed, 0, 0, 0, 0}});
    const GrabReport s = grabReport(stopped);
    EXPECT_EQ(s.stringId, IDS_GRAB_STOPPED);
    EXPECT_NE(s.argument.find("Track01: the file stops before the end of the track"),
              std::string::npos)
        << s.argument;
    EXPECT_NE(s.argument.find("Track02: not read"), std::string::npos) << s.argument;
    // The same stop in a FLAC grab left no file at all, and says so; a track with silent
    // sectors was still saved whole.
    stopped.partialFilesRemoved = true;
    stopped.tracks.push_back(outcomesFromResults({"Track03"}, {1}, {results[1]})[0]);
    const GrabReport flac = grabReport(stopped);
    EXPECT_EQ(flac.stringId, IDS_GRAB_STOPPED);
    EXPECT_NE(flac.argument.find("Track01: failed, no file was written"), std::string::npos)
        << flac.argument;
    EXPECT_NE(flac.argument.find("Track03: 6 sectors could not be read and are silent"),
              std::string::npos)
        << flac.argument;
    EXPECT_EQ(flac.argument.find("stops before the end"), std::string::npos) << flac.argument;

    // The sentences the CD encoding jobs show for a grab's error say what it means.
    EXPECT_EQ(grabErrorText(GrabStatus::ErrorReadFailed).find("incomplete"), std::string::npos);
    EXPECT_NE(grabErrorText(GrabStatus::ErrorReadFailed).find("silent"), std::string::npos);
    EXPECT_NE(grabErrorText(GrabStatus::ErrorNotVerified).find("may differ from the disc"),
              std::string::npos);
}

TEST(CddbOptions, ServerAndProxyFromStoredValues) {
    const CddbServer picked = cddbServerFor("  freedb.example.org ");
    EXPECT_EQ(picked.host, "freedb.example.org");
    EXPECT_EQ(picked.port, 80);
    EXPECT_EQ(picked.scriptPath, "/~cddb/cddb.cgi");
    EXPECT_EQ(cddbServerFor("   ").host, kDefaultCddbHost);

    EXPECT_EQ(cddbProxyFor(0, "proxy", 3128).host, "");
    const CddbProxy on = cddbProxyFor(1, " proxy.lan ", 3128);
    EXPECT_EQ(on.host, "proxy.lan");
    EXPECT_EQ(on.port, 3128);
    EXPECT_EQ(cddbProxyFor(1, "", 3128).host, "");
    EXPECT_EQ(cddbProxyFor(1, "proxy", 0).host, "");
    EXPECT_EQ(cddbProxyFor(1, "proxy", 70000).host, "");
    EXPECT_EQ(cddbProxyFor(2, "proxy", 3128).host, "");
}

TEST(CddbOptions, SettingsRecordReachesTheClient) {
    cldtest::ScopedRegistry registry;
    SettingsRecord settings;
    settings.LoadSettings();
    CddbClient client;
    applyCddbSettings(settings, client);
    EXPECT_EQ(client.proxyHost(), "");
    EXPECT_EQ(cddbServerFromSettings(settings).host, SettingsRecord::kDefaultFreeDBServer);

    ASSERT_TRUE(settings.setCddbOptions("cddb.lan", "10.0.0.1", 1, 8081));
    applyCddbSettings(settings, client);
    EXPECT_EQ(client.proxyHost(), "10.0.0.1");
    EXPECT_EQ(client.proxyPort(), 8081);
    EXPECT_EQ(cddbServerFromSettings(settings).host, "cddb.lan");
    // The request through the proxy names the server and the standard script.
    const std::string request =
        client.queryRequest(cddbServerFromSettings(settings), 0x0200c801, {{0, 2, 0}, {3, 22, 0}});
    EXPECT_EQ(
        request.rfind("GET http://cddb.lan/~cddb/cddb.cgi?cmd=cddb+query+0200c801+1+150+200&", 0),
        0u)
        << request;

    ASSERT_TRUE(settings.setUseProxy(0));
    applyCddbSettings(settings, client);
    EXPECT_EQ(client.proxyHost(), "");

    // The identity and the deadline come along.
    EXPECT_EQ(client.commandDeadline(), 30000);
    ASSERT_TRUE(settings.setFreeDBEmail("ripper@example.org"));
    ASSERT_TRUE(settings.setFreeDBDeadline(12));
    applyCddbSettings(settings, client);
    EXPECT_EQ(client.commandDeadline(), 12000);
    if (std::getenv("CLD_CDDB_EMAIL") == nullptr) {
        EXPECT_EQ(client.effectiveEmail(), "ripper@example.org");
    }
}

namespace {

// A registry that describes its encoders, as the engine's registry does once it keeps a
// description of each, and one that does not.
struct DescribedSetting {
    enum class Kind { Whole, Decimal, Choice, Flag };
    std::string key;
    std::string label;
    Kind kind = Kind::Whole;
    double low = 0;
    double high = 0;
    std::vector<std::string> choices;
    std::string fallback;
};
struct DescribedEncoder {
    std::string name;
    std::string displayName;
    std::string extension;
    bool lossless = false;
    std::vector<DescribedSetting> settings;
};
struct DescribingRegistry {
    std::map<std::string, DescribedEncoder> encoders;
    const DescribedEncoder* info(const std::string& name) const {
        const auto it = encoders.find(name);
        return it == encoders.end() ? nullptr : &it->second;
    }
};
struct PlainRegistry {};

} // namespace

// The "Save as" box offers what the registry describes: its name for the format and a
// field per setting; without descriptions, the name in capitals and no settings.
TEST(GrabFormats, TheRegistrysDescriptionsMakeTheBoxAndItsSettings) {
    DescribingRegistry described;
    DescribedEncoder vorbis{"vorbis", "Ogg Vorbis", ".ogg", false, {}};
    vorbis.settings.push_back(
        {"quality", "Quality", DescribedSetting::Kind::Decimal, -1, 10, {}, "5"});
    vorbis.settings.push_back(
        {"mode", "Mode", DescribedSetting::Kind::Choice, 0, 0, {"vbr", "cbr"}, "vbr"});
    vorbis.settings.push_back({"cover", "Cover", DescribedSetting::Kind::Flag, 0, 1, {}, "1"});
    described.encoders["vorbis"] = vorbis;
    const GrabFormat f = describedFormat(described, "vorbis");
    EXPECT_EQ(f.name, "vorbis");
    EXPECT_EQ(f.displayName, "Ogg Vorbis");
    ASSERT_EQ(f.settings.size(), 3u);
    EXPECT_EQ(f.settings[0].key, "quality");
    EXPECT_EQ(f.settings[0].kind, GrabSetting::Kind::Decimal);
    EXPECT_EQ(f.settings[0].low, -1);
    EXPECT_EQ(f.settings[0].high, 10);
    EXPECT_EQ(f.settings[1].kind, GrabSetting::Kind::Choice);
    EXPECT_EQ(f.settings[1].choices, (std::vector<std::string>{"vbr", "cbr"}));
    EXPECT_EQ(f.settings[2].kind, GrabSetting::Kind::Flag);
    EXPECT_EQ(f.settings[2].fallback, "1");
    // An encoder the description does not know, and a registry without descriptions.
    EXPECT_EQ(describedFormat(described, "mp3").displayName, "MP3");
    EXPECT_TRUE(describedFormat(described, "mp3").settings.empty());
    EXPECT_EQ(describedFormat(PlainRegistry{}, "opus").displayName, "OPUS");

    // The engine's own registry: WAV and FLAC first, then every other encoder it has.
    const std::vector<GrabFormat> formats = grabFormats();
    ASSERT_GE(formats.size(), 2u);
    EXPECT_EQ(formats[0].name, "wav");
    EXPECT_EQ(formats[1].name, "flac");
    const std::vector<std::string> names = engine::EncoderRegistry::instance().names();
    EXPECT_EQ(formats.size(), names.size());
    for (const std::string& name : names) {
        EXPECT_TRUE(std::any_of(formats.begin(), formats.end(), [&](const GrabFormat& g) {
            return g.name == name;
        })) << name;
        EXPECT_FALSE(encoderExtension(name).empty()) << name;
    }
    EXPECT_EQ(encoderExtension("flac"), ".flac");
    EXPECT_EQ(encoderExtension("no such encoder"), "");
}

// The settings of every encoder live in one text: choosing one encoder's settings keeps
// the others', separators in keys and values cannot break the text, and a damaged text
// gives what can still be read.
TEST(GrabFormats, EachEncodersSettingsAreKeptApart) {
    std::string kept = withGrabOptions("", "flac", {{"level", "8"}});
    EXPECT_EQ(kept, "flac.level=8");
    kept = withGrabOptions(kept, "mp3", {{"bitrate", "192"}, {"mode", "vbr"}});
    EXPECT_EQ(grabOptionsOf(kept, "flac"), (engine::EncoderOptions{{"level", "8"}}));
    EXPECT_EQ(grabOptionsOf(kept, "mp3"),
              (engine::EncoderOptions{{"bitrate", "192"}, {"mode", "vbr"}}));
    kept = withGrabOptions(kept, "flac", {{"level", "3"}});
    EXPECT_EQ(grabOptionsOf(kept, "flac"), (engine::EncoderOptions{{"level", "3"}}));
    EXPECT_EQ(grabOptionsOf(kept, "mp3").size(), 2u);
    EXPECT_TRUE(grabOptionsOf(kept, "opus").empty());
    kept = withGrabOptions(kept, "opus", {{"bit;rate=x.y", "12;8\nk"}});
    EXPECT_EQ(grabOptionsOf(kept, "opus"), (engine::EncoderOptions{{"bitratexy", "128k"}}));
    EXPECT_EQ(grabOptionsOf(kept, "flac"), (engine::EncoderOptions{{"level", "3"}}));
    EXPECT_EQ(grabOptionsOf(";;flac=1;.x=2;flac.=3;flac.level=5;garbage", "flac"),
              (engine::EncoderOptions{{"level", "5"}}));
}
