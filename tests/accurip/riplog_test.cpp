// The rip log's and cue sheet's account of what the sub-channel says (pregaps, the audio
// before track 1, ISRCs, the catalogue number, pre-emphasis), the peaks and test-and-copy
// lines, and the log's checksum line. Cue sheets are read back through the virtual drive's
// parser and must describe the same disc.

#include "DiscImage.h"
#include "RipLog.h"
#include "Sha256.h"
#include "TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace accurip;

TEST(Sha256, KnownDigests) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length needs a second padding block.
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Track 1 after 150 sectors of audio (ripped as track 0), then tracks with pregaps of
// 0, 1, 75 and 333 sectors; ISRCs on tracks 1 and 3, pre-emphasis and copy permission on
// track 4, a catalogue number.
RipLogInfo richInfo(const std::string& hiddenFile) {
    RipLogInfo info;
    info.program = "Calderine test";
    info.artist = "Band";
    info.album = "Album";
    const std::vector<int64_t> lengths = {600, 500, 501, 575, 1233};
    const std::vector<int64_t> pregaps = {150, 0, 1, 75, 333};
    int64_t at = 150;
    for (size_t i = 0; i < lengths.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        info.disc.tracks.push_back({number, at, true});
        TrackCodes c;
        c.number = number;
        c.indexZero = at - pregaps[i];
        info.details.tracks.push_back(c);
        LogTrack t;
        t.number = number;
        t.file = std::to_string(number) + ".wav";
        t.title = "T" + std::to_string(number);
        t.peak = 1000 * number;
        info.tracks.push_back(t);
        at += lengths[i];
    }
    info.disc.leadOut = at;
    info.details.read = true;
    info.details.catalog = "0724349691424";
    info.details.tracks[0].isrc = "GBAYE0000351";
    info.details.tracks[2].isrc = "USRC17607839";
    info.details.tracks[3].control = 0x03;
    info.details.hidden = HiddenAudio::Audio;
    info.details.hiddenSectors = 150;
    info.details.hiddenFile = hiddenFile;
    info.details.subChannelReads = 42;
    return info;
}

void writeWave(const std::filesystem::path& path, int64_t sectors) {
    const auto bytes = static_cast<uint32_t>(sectors * 2352);
    auto le32 = [](uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << le32(36 + bytes) << "WAVEfmt " << le32(16)
        << std::string("\x01\x00\x02\x00", 4) << le32(44100) << le32(176400)
        << std::string("\x04\x00\x10\x00", 4) << "data" << le32(bytes);
    out << std::string(bytes, '\0');
}

// Writes each track's file as the rip would have (from its start to the next track's) and
// the cue sheet, and loads them as a disc.
std::unique_ptr<vdrive::DiscImage> readBack(const cldtest::TempDir& dir, const RipLogInfo& info,
                                            std::string& cue) {
    for (size_t i = 0; i < info.disc.tracks.size(); ++i)
        writeWave(dir.file(info.tracks[i].file), info.disc.trackEnd(i) - info.disc.tracks[i].start);
    if (!info.details.hiddenFile.empty())
        writeWave(dir.file(info.details.hiddenFile), info.disc.tracks.front().start);
    cue = cueText(info);
    std::ofstream(dir.file("disc.cue")) << cue;
    std::string error;
    auto image = vdrive::DiscImage::load(dir.file("disc.cue").string(), error);
    EXPECT_NE(image, nullptr) << error << "\n" << cue;
    return image;
}

void expectSameDisc(const RipLogInfo& info, const vdrive::DiscImage& image,
                    const std::string& cue) {
    ASSERT_EQ(image.tracks().size(), info.disc.tracks.size()) << cue;
    EXPECT_EQ(image.leadOut(), info.disc.leadOut) << cue;
    EXPECT_EQ(image.catalog(), info.details.catalog);
    for (size_t i = 0; i < info.disc.tracks.size(); ++i) {
        const auto& t = image.tracks()[i];
        const TrackCodes& c = info.details.tracks[i];
        EXPECT_EQ(t.number, info.disc.tracks[i].number);
        EXPECT_EQ(t.start, info.disc.tracks[i].start) << "track " << t.number << "\n" << cue;
        EXPECT_EQ(t.index0, i == 0 ? 0 : c.indexZero) << "track " << t.number << "\n" << cue;
        EXPECT_EQ(t.isrc, c.isrc);
        EXPECT_EQ(t.control, c.control);
    }
}

TEST(RipLogCue, GapsAppendedToThePreviousTrackReadBackAsTheSameDisc) {
    cldtest::TempDir dir;
    const RipLogInfo info = richInfo("0 HTOA.wav");
    std::string cue;
    auto image = readBack(dir, info, cue);
    ASSERT_NE(image, nullptr);
    expectSameDisc(info, *image, cue);
    // The layout: track 4's INDEX 00 in track 3's file, 75 sectors before its end.
    EXPECT_NE(cue.find("    INDEX 01 00:00:00\n  TRACK 04 AUDIO\n    TITLE \"T4\"\n"
                       "    PERFORMER \"Band\"\n    FLAGS PRE DCP\n    INDEX 00 00:05:51\n"
                       "FILE \"4.wav\" WAVE\n    INDEX 01 00:00:00\n"),
              std::string::npos)
        << cue;
    EXPECT_NE(cue.find("CATALOG 0724349691424\n"), std::string::npos);
    EXPECT_NE(cue.find("FILE \"0 HTOA.wav\" WAVE\n  TRACK 01 AUDIO\n"), std::string::npos) << cue;
    EXPECT_EQ(cue.find("PREGAP"), std::string::npos) << cue;
}

TEST(RipLogCue, HiddenAudioNotRippedAndMissingFilesBecomePregaps) {
    cldtest::TempDir dir;
    RipLogInfo info = richInfo("");
    info.details.hidden = HiddenAudio::Silent;
    std::string cue;
    auto image = readBack(dir, info, cue);
    ASSERT_NE(image, nullptr);
    expectSameDisc(info, *image, cue);
    EXPECT_NE(cue.find("    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"), std::string::npos) << cue;
    // Track 4's file alone: its pregap cannot be in track 3's file.
    info.tracks[2].state = FileState::NotWritten;
    cue = cueText(info);
    EXPECT_NE(cue.find("FLAGS PRE DCP\n    PREGAP 00:01:00\n    INDEX 01 00:00:00\n"),
              std::string::npos)
        << cue;
}

TEST(RipLogText, SubChannelPeaksAndTestAndCopyAreListed) {
    RipLogInfo info = richInfo("0 HTOA.wav");
    info.driveFeatures = {"C2 error pointers: not used (assumed)"};
    info.tracks[1].testAndCopy = true;
    info.tracks[1].testCrc = info.tracks[1].copyCrc = 0x1234ABCD;
    info.tracks[1].copyOk = true;
    info.tracks[2].testAndCopy = true;
    info.tracks[2].testCrc = 1;
    info.tracks[2].copyCrc = 2;
    info.tracks[2].copyRereads = 3;
    const std::string log = logText(info);
    for (const char* line :
         {"Catalogue number (MCN): 0724349691424\n", "Gap detection: 42 sub-channel reads\n",
          "Before track 1 (HTOA): 00:02:00 (150 sectors) of audio (a hidden track, HTOA), "
          "ripped as track 0 into 0 HTOA.wav\n",
          "Drive feature: C2 error pointers: not used (assumed)\n",
          "Track 01\n  File: 1.wav\n  Pregap: 00:02:00 (150 sectors)\n  ISRC: GBAYE0000351\n"
          "  Pre-emphasis: no\n",
          "Track 02\n  File: 2.wav\n  Pregap: none\n  ISRC: none\n",
          "  Pregap: 00:00:01 (1 sector)\n",
          "Track 04\n  File: 4.wav\n  Pregap: 00:01:00 (75 sectors)\n  ISRC: none\n"
          "  Pre-emphasis: yes\n",
          "  Peak: 3.1 %\n",
          "  Test CRC32: 1234ABCD\n  Copy CRC32: 1234ABCD\n"
          "  Test and copy: copy OK\n",
          "  Re-read: sectors 1250-1750, 3 times (test and copy)\n"
          "  Test CRC32: 00000001\n  Copy CRC32: 00000002\n  Test and copy: mismatch (no read "
          "gave the copy's CRC again; 3 reads with correction)\n",
          "Peak of the disc: 15.3 %\n", "Test and copy: 1 of 2 tracks copy OK\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n---\n" << log;
}

TEST(RipLogChecksum, TellsAnIntactLogFromAnEditedOneAndOneWithout) {
    const std::string log = logText(richInfo(""));
    const size_t lastLine = log.rfind("==== Log checksum ");
    ASSERT_NE(lastLine, std::string::npos);
    EXPECT_EQ(log.find('\n', lastLine), log.size() - 1) << "the checksum is the last line";
    EXPECT_EQ(checkLogChecksum(log), LogChecksum::Ok);
    EXPECT_EQ(checkLogChecksum(log.substr(0, log.size() - 1)), LogChecksum::Ok)
        << "a lost final newline is no edit";
    std::string edited = log;
    edited[edited.find("Read: ") + 6] = 'X';
    EXPECT_EQ(checkLogChecksum(edited), LogChecksum::Edited);
    std::string appended = log;
    appended.insert(lastLine, "Track 99\n");
    EXPECT_EQ(checkLogChecksum(appended), LogChecksum::Edited);
    EXPECT_EQ(checkLogChecksum(log.substr(0, lastLine)), LogChecksum::Absent);
    EXPECT_EQ(checkLogChecksum(""), LogChecksum::Absent);
    std::string badDigits = log;
    badDigits[lastLine + 18] = 'G';
    EXPECT_EQ(checkLogChecksum(badDigits), LogChecksum::Absent);
    // The checksum of a log that was written with its line and then edited above it.
    EXPECT_EQ(checkLogChecksum("Rip log\n" + logChecksumLine("Rip log\n")), LogChecksum::Ok);
    EXPECT_EQ(checkLogChecksum("Rip log!\n" + logChecksumLine("Rip log\n")), LogChecksum::Edited);
}

} // namespace
