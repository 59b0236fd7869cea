// Cue sheets and their layout as a disc, including every way a cue sheet can be wrong.

#include "CueSheet.h"
#include "DiscImage.h"
#include "DriveRegistry.h"
#include "TempDir.h"
#include "VirtualDrive.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using vdrive::CueSheet;
using vdrive::DiscImage;

void writeBin(const std::filesystem::path& path, int64_t sectors, uint8_t fill) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> sector(2352, static_cast<char>(fill));
    for (int64_t i = 0; i < sectors; ++i)
        out.write(sector.data(), 2352);
}

std::string parseError(const std::string& text) {
    CueSheet cue;
    std::string error;
    EXPECT_FALSE(CueSheet::parse(text, "/discs/x.cue", cue, error)) << text;
    return error;
}

TEST(CueSheet, ParsesNamesFlagsAndIndexes) {
    const std::string text = "\xEF\xBB\xBFREM GENRE Test\r\n"
                             "PERFORMER \"The Band\"\r\n"
                             "TITLE \"Album\"\r\n"
                             "FILE \"a b.bin\" BINARY\r\n"
                             "  TRACK 01 AUDIO\r\n"
                             "    TITLE \"First\"\r\n"
                             "    FLAGS PRE DCP\r\n"
                             "    INDEX 01 00:00:00\r\n"
                             "  TRACK 02 AUDIO\r\n"
                             "    PERFORMER Solo\r\n"
                             "    INDEX 00 01:00:00\r\n"
                             "    INDEX 01 01:02:00\r\n"
                             "    INDEX 02 01:30:00\r\n";
    CueSheet cue;
    std::string error;
    ASSERT_TRUE(CueSheet::parse(text, "/discs/x.cue", cue, error)) << error;
    EXPECT_EQ(cue.performer, "The Band");
    EXPECT_EQ(cue.title, "Album");
    ASSERT_EQ(cue.files.size(), 1u);
    EXPECT_EQ(cue.files[0].path, "/discs/a b.bin");
    ASSERT_EQ(cue.tracks.size(), 2u);
    EXPECT_EQ(cue.tracks[0].title, "First");
    EXPECT_EQ(cue.tracks[0].control, 0x03);
    EXPECT_EQ(cue.tracks[1].performer, "Solo");
    EXPECT_EQ(cue.tracks[1].index0, 4500);
    EXPECT_EQ(cue.tracks[1].index1, 4650);
}

TEST(CueSheet, MalformedSheetsNameTheFileAndLine) {
    const std::string head = "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    EXPECT_EQ(parseError(head + "  TRACK 03 AUDIO\n    INDEX 01 00:10:00\n"),
              "/discs/x.cue:4: track 03 is out of order");
    EXPECT_EQ(parseError(head + "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"),
              "/discs/x.cue:5: track 2 overlaps the track before it");
    EXPECT_EQ(parseError("TITLE \"never closed\n"), "/discs/x.cue:1: unterminated quoted text");
    EXPECT_EQ(parseError(head + "  TRACK 02 AUDIO\n    INDEX 01 00:61:00\n"),
              "/discs/x.cue:5: bad time 00:61:00");
    EXPECT_EQ(parseError(head + "  TRACK 02 AUDIO\n    INDEX 01 00:10:75\n"),
              "/discs/x.cue:5: bad time 00:10:75");
    EXPECT_EQ(parseError("TRACK 01 AUDIO\n"), "/discs/x.cue:1: TRACK before any FILE");
    EXPECT_EQ(parseError("FILE \"d.mp3\" MP3\n"),
              "/discs/x.cue:1: file type MP3 is not supported (only BINARY and WAVE)");
    EXPECT_EQ(parseError("FILE \"d.bin\" BINARY\n  TRACK 01 MODE2/2336\n"),
              "/discs/x.cue:2: track mode MODE2/2336 is not supported");
    EXPECT_EQ(parseError("FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n"),
              "/discs/x.cue:3: track 1 has no INDEX 01");
    EXPECT_EQ(parseError(""), "/discs/x.cue:1: no tracks");
    EXPECT_EQ(parseError("FILE \"a.bin\" BINARY\nFILE \"b.bin\" BINARY\n"),
              "/discs/x.cue:2: the FILE before this one has no TRACK");
    EXPECT_EQ(parseError(head + "BOGUS 1\n"), "/discs/x.cue:4: unknown command BOGUS");
    EXPECT_EQ(parseError(head + "  TRACK 100 AUDIO\n"), "/discs/x.cue:4: bad track number 100");
    EXPECT_EQ(parseError(head + std::string(5000, ' ') + "\n"), "/discs/x.cue:4: line too long");
    EXPECT_EQ(parseError("FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:02:00\n"
                         "    INDEX 01 00:01:00\n"),
              "/discs/x.cue:4: INDEX 01 lies before INDEX 00");
}

TEST(DiscImage, MissingOrShortFilesAreReportedWithTheirLine) {
    cldtest::TempDir dir;
    std::ofstream(dir.file("d.cue")) << "TITLE x\nFILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                        "    INDEX 01 00:00:00\n";
    std::string error;
    EXPECT_EQ(DiscImage::load(dir.file("d.cue").string(), error), nullptr);
    EXPECT_NE(error.find("gone.bin (named at line 2): cannot open the image file"),
              std::string::npos)
        << error;

    writeBin(dir.file("short.bin"), 10, 1);
    std::ofstream(dir.file("s.cue")) << "FILE \"short.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                        "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                                        "    INDEX 01 00:01:00\n";
    EXPECT_EQ(DiscImage::load(dir.file("s.cue").string(), error), nullptr);
    EXPECT_NE(error.find("track 2 (line 4) starts beyond the end of the file"), std::string::npos)
        << error;
    EXPECT_EQ(DiscImage::load(dir.file("none.cue").string(), error), nullptr);
    EXPECT_NE(error.find("none.cue: cannot open the cue sheet"), std::string::npos);
}

TEST(CueSheetCodes, CatalogueAndIsrcAreParsedAndCheckedText) {
    CueSheet cue;
    std::string error;
    ASSERT_TRUE(CueSheet::parse("CATALOG 0724349691424\nFILE \"a.bin\" BINARY\n"
                                "  TRACK 01 AUDIO\n    ISRC gbaye0000351\n"
                                "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                                "    INDEX 01 00:10:00\n",
                                "/d/a.cue", cue, error))
        << error;
    EXPECT_EQ(cue.catalog, "0724349691424");
    EXPECT_EQ(cue.tracks[0].isrc, "GBAYE0000351");
    EXPECT_EQ(cue.tracks[1].isrc, "");
    for (const std::string bad : {"CATALOG 123\n", "CATALOG 07243496914x4\n"}) {
        EXPECT_FALSE(CueSheet::parse(bad + "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                           "    INDEX 01 00:00:00\n",
                                     "/d/a.cue", cue, error));
        EXPECT_NE(error.find("/d/a.cue:1: CATALOG needs 13 digits"), std::string::npos) << error;
    }
    for (const std::string bad :
         {"ISRC GBAYE000035\n", "ISRC GB-YE0000351\n", "ISRC GBAYE00003X1\n"}) {
        EXPECT_FALSE(CueSheet::parse("FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n    " + bad +
                                         "    INDEX 01 00:00:00\n",
                                     "/d/a.cue", cue, error));
        EXPECT_NE(error.find("/d/a.cue:3: ISRC needs a track"), std::string::npos) << error;
    }
    EXPECT_FALSE(
        CueSheet::parse("ISRC GBAYE0000351\nFILE \"a.bin\" BINARY\n", "/d/a.cue", cue, error));
}

TEST(DiscImage, LaysOutPregapsFilesAndSessions) {
    cldtest::TempDir dir;
    writeBin(dir.file("a.bin"), 1000, 0x11);
    writeBin(dir.file("b.bin"), 500, 0x22);
    writeBin(dir.file("c.bin"), 400, 0x33);
    // a.bin: track 1 from sector 100 (0..99 lie before the disc), track 2 with INDEX 00
    // at 600; b.bin: track 3 after a PREGAP; c.bin: data track with 150 sectors of pregap.
    std::ofstream(dir.file("d.cue"))
        << "FILE \"a.bin\" BINARY\n"
           "  TRACK 01 AUDIO\n    INDEX 01 00:01:25\n"
           "  TRACK 02 AUDIO\n    INDEX 00 00:08:00\n    INDEX 01 00:09:00\n"
           "FILE \"b.bin\" BINARY\n"
           "  TRACK 03 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
           "FILE \"c.bin\" BINARY\n"
           "  TRACK 04 MODE1/2352\n    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
    std::string error;
    auto image = DiscImage::load(dir.file("d.cue").string(), error);
    ASSERT_NE(image, nullptr) << error;
    const auto& t = image->tracks();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].start, 0);
    EXPECT_EQ(t[1].index0, 500);
    EXPECT_EQ(t[1].start, 575);
    EXPECT_EQ(t[2].index0, 900);
    EXPECT_EQ(t[2].start, 900 + 150);
    const int64_t audioEnd = 1050 + 500;
    EXPECT_EQ(t[3].start, audioEnd + 11400);
    EXPECT_EQ(t[3].session, 2);
    EXPECT_EQ(t[3].control, 0x04);
    EXPECT_EQ(image->leadOut(), audioEnd + 11400 + 250);
    uint8_t byte = 0;
    image->copyBytes(0, 1, &byte);
    EXPECT_EQ(byte, 0x11);
    image->copyBytes(900 * 2352, 1, &byte); // PREGAP: silence
    EXPECT_EQ(byte, 0);
    image->copyBytes(1050 * 2352, 1, &byte);
    EXPECT_EQ(byte, 0x22);
    EXPECT_TRUE(image->readable(audioEnd - 1));
    EXPECT_FALSE(image->readable(audioEnd));
    EXPECT_FALSE(image->readable(audioEnd + 11249));
    EXPECT_TRUE(image->readable(audioEnd + 11250)); // data pregap held in the file
    EXPECT_FALSE(image->readable(image->leadOut()));
    image->copyBytes((audioEnd + 11250) * 2352, 1, &byte);
    EXPECT_EQ(byte, 0x33);
}

// Audio before track 1's INDEX 01 (a hidden first track): it is on the disc from LBA 0,
// and track 1 starts after it, so that the table of contents leaves room for it and not a
// sector of it is lost.
TEST(DiscImage, AudioBeforeTheFirstTrackStaysOnTheDisc) {
    cldtest::TempDir dir;
    writeBin(dir.file("a.bin"), 150, 0x44);
    writeBin(dir.file("b.bin"), 300, 0x55);
    std::ofstream(dir.file("all.bin"), std::ios::binary)
        << std::ifstream(dir.file("a.bin"), std::ios::binary).rdbuf()
        << std::ifstream(dir.file("b.bin"), std::ios::binary).rdbuf();
    std::ofstream(dir.file("h.cue")) << "FILE \"all.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                        "    INDEX 00 00:00:00\n    INDEX 01 00:02:00\n";
    std::string error;
    auto image = DiscImage::load(dir.file("h.cue").string(), error);
    ASSERT_NE(image, nullptr) << error;
    ASSERT_EQ(image->tracks().size(), 1u);
    EXPECT_EQ(image->tracks()[0].index0, 0);
    EXPECT_EQ(image->tracks()[0].start, 150);
    EXPECT_EQ(image->leadOut(), 450);
    uint8_t byte = 0;
    image->copyBytes(0, 1, &byte);
    EXPECT_EQ(byte, 0x44) << "the hidden audio is readable before track 1";
    image->copyBytes(150 * 2352, 1, &byte);
    EXPECT_EQ(byte, 0x55);
}

// A PREGAP on track 1 is silence on the disc before it, from LBA 0: the way a ripper
// writes a silent gap before the first track, read back as the same table of contents.
TEST(DiscImage, PregapOfTrackOneIsSilenceBeforeIt) {
    cldtest::TempDir dir;
    writeBin(dir.file("a.bin"), 300, 0x66);
    std::ofstream(dir.file("p.cue")) << "CATALOG 0724349691424\nFILE \"a.bin\" BINARY\n"
                                        "  TRACK 01 AUDIO\n    ISRC GBAYE0000351\n"
                                        "    FLAGS PRE\n    PREGAP 00:01:33\n"
                                        "    INDEX 01 00:00:00\n";
    std::string error;
    auto image = DiscImage::load(dir.file("p.cue").string(), error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_EQ(image->tracks()[0].index0, 0);
    EXPECT_EQ(image->tracks()[0].start, 108);
    EXPECT_EQ(image->tracks()[0].control, 0x01);
    EXPECT_EQ(image->tracks()[0].isrc, "GBAYE0000351");
    EXPECT_EQ(image->catalog(), "0724349691424");
    EXPECT_EQ(image->leadOut(), 408);
    uint8_t byte = 1;
    image->copyBytes(107 * 2352, 1, &byte);
    EXPECT_EQ(byte, 0);
    image->copyBytes(108 * 2352, 1, &byte);
    EXPECT_EQ(byte, 0x66);
}

} // namespace

namespace {

TEST(DriveConfig, BadLinesAreReportedAndTheGoodImagesKept) {
    cldtest::TempDir dir;
    writeBin(dir.file("a.bin"), 100, 0);
    std::ofstream(dir.file("a.cue")) << "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                        "    INDEX 01 00:00:00\n";
    const std::string good = dir.file("a.cue").string();
    const std::string text = "jitter 3\n"
                             "image " +
                             good +
                             "\n"
                             "  jitter 2   # comment\n"
                             "  fail 10 20\n"
                             "image " +
                             dir.file("missing.cue").string() +
                             "\n"
                             "image " +
                             good +
                             "\n"
                             "  fail 30 20\n"
                             "image " +
                             good +
                             "\n"
                             "  speed 9\n"
                             "image " +
                             good +
                             "\n"
                             "  address 0 0\n"
                             "image " +
                             good +
                             "\n"
                             "  address 16 0\n"
                             "  c2 x\n";
    std::string errors;
    const auto entries = vdrive::DriveRegistry::parseConfig(text, "vd.conf", errors);
    EXPECT_EQ(errors, "vd.conf:1: 'jitter' before any image line\n"
                      "vd.conf:7: range ends before it starts\n"
                      "vd.conf:9: unknown setting 'speed'\n"
                      "vd.conf:13: address needs a target (0..15) and a LUN (0..7)\n"
                      "vd.conf:14: 'c2' needs a number\n" +
                          dir.file("missing.cue").string() + ": cannot open the cue sheet\n" +
                          "vd.conf:10: address already in use\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].drive->faults().jitterFrames, 2);
    ASSERT_EQ(entries[0].drive->faults().failing.size(), 1u);
    EXPECT_EQ(entries[0].drive->faults().failing[0].last, 20);
}

// Paths are taken whole: a '#' in a folder name is part of the path, in the
// configuration file and in the image list variable alike.
TEST(DriveConfig, PathsWithHashAndBlanksAreTakenWhole) {
    cldtest::TempDir dir;
    const auto folder = dir.path() / "My #1 Album";
    std::filesystem::create_directories(folder);
    writeBin(folder / "a.bin", 100, 0);
    std::ofstream(folder / "a.cue") << "FILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                       "    INDEX 01 00:00:00\n";
    const std::string cue = (folder / "a.cue").string();
    const std::string text = "# my drives\n"
                             "image " +
                             cue +
                             "\n"
                             "  jitter 2   # a comment after a value\n"
                             "  product Drive #2 \n"
                             "image \"" +
                             cue +
                             "\"\n"
                             "  address 5 0\n";
    std::string errors;
    const auto entries = vdrive::DriveRegistry::parseConfig(text, "vd.conf", errors);
    EXPECT_EQ(errors, "");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].drive->faults().jitterFrames, 2);

    setenv("CLD_VDRIVE_IMAGES", (cue + ":" + cue).c_str(), 1);
    unsetenv("CLD_VDRIVE_CONFIG");
    vdrive::DriveRegistry::instance().refresh();
    EXPECT_EQ(vdrive::DriveRegistry::instance().size(), 2u);
    unsetenv("CLD_VDRIVE_IMAGES");
}

// With no configuration at all the plug-in tells, once, how to give it images.
TEST(DriveConfig, NoConfigurationIsExplainedOnce) {
    cldtest::TempDir dir;
    unsetenv("CLD_VDRIVE_CONFIG");
    unsetenv("CLD_VDRIVE_IMAGES");
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    testing::internal::CaptureStderr();
    vdrive::DriveRegistry::instance().refresh();
    vdrive::DriveRegistry::instance().refresh();
    const std::string said = testing::internal::GetCapturedStderr();
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(vdrive::DriveRegistry::instance().size(), 0u);
    const auto first = said.find("no disc images configured");
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("no disc images configured", first + 1), std::string::npos) << said;
    EXPECT_NE(said.find("CLD_VDRIVE_IMAGES"), std::string::npos);
}

// An enhanced CD image in its usual layout: the data track in Mode 2.
TEST(DiscImage, Mode2DataTracksAreServedAsData) {
    cldtest::TempDir dir;
    writeBin(dir.file("audio.bin"), 300, 0x11);
    std::vector<char> data(2352 * 20, 0);
    for (int s = 0; s < 20; ++s)
        for (int i = 0; i < 2048; ++i)
            data[static_cast<size_t>(s * 2352 + 24 + i)] = static_cast<char>(s + 1);
    std::ofstream(dir.file("data.bin"), std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    std::ofstream(dir.file("e.cue")) << "FILE \"audio.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                        "    INDEX 01 00:00:00\n"
                                        "FILE \"data.bin\" BINARY\n  TRACK 02 MODE2/2352\n"
                                        "    INDEX 01 00:00:00\n";
    std::string error;
    const auto disc = DiscImage::load(dir.file("e.cue").string(), error);
    ASSERT_NE(disc, nullptr) << error;
    ASSERT_EQ(disc->tracks().size(), 2u);
    EXPECT_FALSE(disc->tracks()[1].audio);
    EXPECT_EQ(disc->tracks()[1].control & 0x04, 0x04);
    EXPECT_EQ(disc->tracks()[1].session, 2);
    // READ(10) of the data track's first sector delivers the Mode 2 form 1 user data.
    vdrive::VirtualDrive drive(
        std::shared_ptr<const DiscImage>(disc.get(), [](const DiscImage*) {}), {}, "x");
    const auto lba = static_cast<uint32_t>(disc->tracks()[1].start);
    const uint8_t cdb[10] = {0x28,
                             0,
                             static_cast<uint8_t>(lba >> 24),
                             static_cast<uint8_t>(lba >> 16),
                             static_cast<uint8_t>(lba >> 8),
                             static_cast<uint8_t>(lba),
                             0,
                             0,
                             1,
                             0};
    std::vector<uint8_t> out(2048, 0);
    const auto r = drive.execute(cdb, 10, out.data(), 2048);
    ASSERT_TRUE(r.good);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2047], 1);
}

// CD-TEXT is labelled ISO 8859-1, so a UTF-8 cue sheet's names are converted.
TEST(DiscImage, CdTextIsLatin1) {
    EXPECT_EQ(DiscImage::toLatin1("Bj\xc3\xb6rk \xe2\x80\x93 J\xc3\xb3ga"), "Bj\xf6rk ? J\xf3ga");
    EXPECT_EQ(DiscImage::toLatin1("plain"), "plain");
    // Already Latin-1 (not valid UTF-8): kept.
    EXPECT_EQ(DiscImage::toLatin1("Bj\xf6rk"), "Bj\xf6rk");
    // Cut or overlong sequences are not UTF-8 either.
    EXPECT_EQ(DiscImage::toLatin1("a\xc3"), "a\xc3");
    EXPECT_EQ(DiscImage::toLatin1("\xc0\xaf"), "\xc0\xaf");

    cldtest::TempDir dir;
    writeBin(dir.file("a.bin"), 100, 0);
    std::ofstream(dir.file("a.cue")) << "TITLE \"Caf\xc3\xa9\"\nFILE \"a.bin\" BINARY\n"
                                        "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    std::string error;
    const auto disc = DiscImage::load(dir.file("a.cue").string(), error);
    ASSERT_NE(disc, nullptr) << error;
    const auto& packs = disc->cdTextPacks();
    ASSERT_GE(packs.size(), 18u);
    EXPECT_EQ(packs[0], 0x80);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&packs[4]), 5),
              "Caf\xe9" + std::string(1, '\0'));
}

} // namespace

namespace {

std::string waveFile(uint16_t channels, uint32_t rate, const std::vector<uint8_t>& data,
                     bool withExtraChunk) {
    auto put16 = [](std::string& s, uint16_t v) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>(v >> 8);
    };
    auto put32 = [&](std::string& s, uint32_t v) {
        put16(s, static_cast<uint16_t>(v & 0xFFFF));
        put16(s, static_cast<uint16_t>(v >> 16));
    };
    std::string body = "WAVEfmt ";
    put32(body, 16);
    put16(body, 1);
    put16(body, channels);
    put32(body, rate);
    put32(body, rate * channels * 2);
    put16(body, static_cast<uint16_t>(channels * 2));
    put16(body, 16);
    if (withExtraChunk) {
        body += "LIST";
        put32(body, 3);
        body += "abc";
        body += '\0'; // pad byte of an odd chunk
    }
    body += "data";
    put32(body, static_cast<uint32_t>(data.size()));
    body.append(data.begin(), data.end());
    std::string file = "RIFF";
    put32(file, static_cast<uint32_t>(body.size()));
    return file + body;
}

} // namespace

// WAVE files (as a rip's cue sheet names them) are served from their data chunk; files
// that are not CD audio are refused with the reason.
TEST(CueSheet, WaveFilesServeTheirAudioAndOthersAreRefused) {
    cldtest::TempDir dir;
    std::vector<uint8_t> one(2352 * 3), two(2352 * 2);
    for (size_t i = 0; i < one.size(); ++i)
        one[i] = static_cast<uint8_t>(i * 7);
    for (size_t i = 0; i < two.size(); ++i)
        two[i] = static_cast<uint8_t>(i * 3 + 1);
    std::ofstream(dir.file("a.wav"), std::ios::binary) << waveFile(2, 44100, one, true);
    std::ofstream(dir.file("b.wav"), std::ios::binary) << waveFile(2, 44100, two, false);
    std::ofstream(dir.file("mono.wav"), std::ios::binary) << waveFile(1, 44100, two, false);
    std::ofstream(dir.file("raw.wav"), std::ios::binary) << "not a wave file at all";
    const std::string cue = "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n";
    std::ofstream(dir.file("disc.cue")) << cue;
    std::string error;
    auto image = vdrive::DiscImage::load(dir.file("disc.cue"), error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ(image->tracks().size(), 2u);
    EXPECT_EQ(image->tracks()[1].start, 3);
    EXPECT_EQ(image->leadOut(), 5);
    std::vector<uint8_t> got(2352 * 5);
    image->copyBytes(0, got.size(), got.data());
    EXPECT_TRUE(std::equal(one.begin(), one.end(), got.begin()));
    EXPECT_TRUE(std::equal(two.begin(), two.end(), got.begin() + 2352 * 3));

    for (const char* bad : {"mono.wav", "raw.wav"}) {
        std::ofstream(dir.file("bad.cue"))
            << "FILE \"" << bad << "\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
        EXPECT_FALSE(vdrive::DiscImage::load(dir.file("bad.cue"), error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
        EXPECT_NE(error.find(std::string(bad) == "mono.wav" ? "16-bit stereo" : "not a RIFF"),
                  std::string::npos)
            << error;
    }
}
