#include "ConvertIds.h"
#include "ConvertPaths.h"
#include "Mp3Bitrates.h"
#include "Mp3Lame.h"
#include "OutputPlan.h"
#include "ProgressFigures.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "WmErrors.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <lame/lame.h>

using namespace cld;

namespace {

// A settings record over a private store.
class SettingsFixture : public ::testing::Test {
protected:
    SettingsFixture() : m_env("CLD_REGISTRY_DIR", m_dir.path().string()) {
        m_settings.LoadSettings();
    }
    cldtest::TempDir m_dir;
    cldtest::ScopedEnv m_env;
    SettingsRecord m_settings;
};

} // namespace

TEST(Mp3BitrateList, SeventeenEntriesWithTheirTextsAndLeadingNumbers) {
    const auto list = mp3BitrateList();
    ASSERT_EQ(list.size(), 17u);
    EXPECT_STREQ(list[0].text, "8 kbps (Very Low Quality, Phone)");
    EXPECT_STREQ(list[11].text, "128 kbps (High Quality, CD transparency)");
    EXPECT_STREQ(list[16].text, "320 kpbs (Maximum Quality, Studio HI-FI)");
    for (const auto& e : list)
        EXPECT_EQ(encodingBitrateFromText(e.text), e.kbps) << e.text;
    EXPECT_EQ(encodingBitrateFromText("7 kbps"), 128);
    EXPECT_EQ(encodingBitrateFromText("999 kbps"), 128);
    EXPECT_EQ(encodingBitrateFromText("kbps"), 128);
    EXPECT_EQ(encodingBitrateFromText("99999999999999999999"), 128);
}

TEST(Mp3BitrateList, SliderRoundsDownToEightAndSelectsByPrefix) {
    const int current = 11;
    EXPECT_EQ(sliderToListIndex(100, current), 9); // 96
    EXPECT_EQ(sliderToListIndex(150, current), current);
    EXPECT_EQ(sliderToListIndex(136, 3), 3); // 136..159 select nothing new
    EXPECT_EQ(sliderToListIndex(159, 3), 3);
    EXPECT_EQ(sliderToListIndex(320, current), 16);
    EXPECT_EQ(sliderToListIndex(8, current), 0);
    EXPECT_EQ(sliderToListIndex(15, current), 0);
    EXPECT_EQ(sliderToListIndex(16, current), 1);
    EXPECT_EQ(sliderToListIndex(255, current), current); // 248 begins no entry
    EXPECT_EQ(sliderToListIndex(80, current), 8);
}

TEST(Mp3BitrateList, OpeningEntryOfAStoredChoice) {
    EXPECT_EQ(openingListIndex(0), 11); // 8 kbit/s reopens as 128
    EXPECT_EQ(openingListIndex(5), 5);
    EXPECT_EQ(openingListIndex(16), 16);
    EXPECT_EQ(openingListIndex(-3), 11);
    // kbit/s stored by earlier versions open on the entry the slider picks.
    EXPECT_EQ(openingListIndex(96), 9);
    EXPECT_EQ(openingListIndex(150), 11);
    EXPECT_EQ(openingListIndex(320), 16);
    EXPECT_EQ(openingListIndex(5000), 11);
}

TEST(Mp3BitrateList, IntegerFieldsReadLikeTheAdvancedDialogNeeds) {
    EXPECT_EQ(readIntegerField("96", 8, 256).status, IntegerField::Ok);
    EXPECT_EQ(readIntegerField(" 96 ", 8, 256).value, 96);
    EXPECT_EQ(readIntegerField("7", 8, 256).status, IntegerField::OutOfRange);
    EXPECT_EQ(readIntegerField("330", 16, 320).status, IntegerField::OutOfRange);
    EXPECT_EQ(readIntegerField("-5", 16, 320).status, IntegerField::OutOfRange);
    EXPECT_EQ(readIntegerField("99999999999999999999", 16, 320).status, IntegerField::OutOfRange);
    EXPECT_EQ(readIntegerField("", 16, 320).status, IntegerField::NotANumber);
    EXPECT_EQ(readIntegerField("12a", 16, 320).status, IntegerField::NotANumber);
    EXPECT_EQ(readIntegerField("abc", 16, 320).status, IntegerField::NotANumber);
    EXPECT_EQ(readIntegerField("1 2", 16, 320).status, IntegerField::NotANumber);
}

using Mp3ParamsMapping = SettingsFixture;

TEST_F(Mp3ParamsMapping, VbrFillsMethodQualityAndBoundsFromTheSettings) {
    m_settings.setMp3BitrateType(1);
    m_settings.setVbrMethod(1);
    m_settings.setVbrQuality(4);
    m_settings.setMp3Quality(3);
    m_settings.setAudioChannels(2);
    m_settings.setMaxVBRBitrate(256);
    m_settings.setMeanVBRBitrate(160);
    m_settings.setMaterialCRC(1);
    m_settings.setMaterialOriginal(1);
    const Mp3EncoderParams p = mp3ParamsFromSettings(m_settings, 96);
    EXPECT_EQ(p.channelMode, 2);
    EXPECT_EQ(p.bitrate, 96);
    EXPECT_EQ(p.vbrMaxBitrate, 256);
    EXPECT_EQ(p.abrMeanBitrate, 160);
    EXPECT_EQ(p.quality, 3);
    EXPECT_EQ(p.spare, 0);
    EXPECT_EQ(p.vbrMethod, 2); // ABR, one above the stored method
    EXPECT_EQ(p.vbrQuality, 4);
    EXPECT_EQ(p.crc, 1);
    EXPECT_EQ(p.copyright, 0);
    EXPECT_EQ(p.original, 1);
    EXPECT_EQ(p.privateFlag, 0);
    EXPECT_EQ(mp3BitrateText(p), "VBR 96-256 Kbps");
}

TEST_F(Mp3ParamsMapping, CbrKeepsWhatTheVbrMembersLastHeld) {
    Mp3EncoderParams previous;
    previous.vbrMaxBitrate = 224;
    previous.abrMeanBitrate = 100;
    previous.vbrQuality = 7;
    m_settings.setMp3BitrateType(0);
    m_settings.setMaxVBRBitrate(320);
    const Mp3EncoderParams p = mp3ParamsFromSettings(m_settings, 160, previous);
    EXPECT_EQ(p.vbrMethod, 0);
    EXPECT_EQ(p.bitrate, 160);
    EXPECT_EQ(p.vbrMaxBitrate, 224);
    EXPECT_EQ(p.abrMeanBitrate, 100);
    EXPECT_EQ(p.vbrQuality, 7);
    EXPECT_EQ(mp3BitrateText(p), "160 Kbps");
    // An unusable encoding bitrate becomes 128.
    EXPECT_EQ(mp3ParamsFromSettings(m_settings, 7).bitrate, 128);
}

TEST_F(Mp3ParamsMapping, VbrBoundsMakeRoomForAHighMinimum) {
    m_settings.setMp3BitrateType(1);
    m_settings.setVbrMethod(1);
    m_settings.setMaxVBRBitrate(128);
    m_settings.setMeanVBRBitrate(64);
    const Mp3EncoderParams p = mp3ParamsFromSettings(m_settings, 256);
    EXPECT_EQ(p.bitrate, 256);
    EXPECT_EQ(p.vbrMaxBitrate, 256);
    EXPECT_EQ(p.abrMeanBitrate, 256);
}

// Every bitrate type, VBR method, channel mode and list entry, with the bounds at their
// extremes, is accepted by the encoder library exactly as mapped.
TEST_F(Mp3ParamsMapping, LameAcceptsEveryMappedCombination) {
    int checked = 0;
    for (int type = 0; type <= 1; ++type) {
        for (int method = 0; method <= 2; ++method) {
            for (int channels = 0; channels <= 4; ++channels) {
                for (const auto& [maxKbps, meanKbps] :
                     {std::pair{16, 16}, std::pair{192, 128}, std::pair{320, 256}}) {
                    m_settings.setMp3BitrateType(type);
                    m_settings.setVbrMethod(method);
                    m_settings.setAudioChannels(channels);
                    m_settings.setMaxVBRBitrate(maxKbps);
                    m_settings.setMeanVBRBitrate(meanKbps);
                    m_settings.setVbrQuality((method * 4 + channels) % 10);
                    m_settings.setMp3Quality(channels * 2);
                    for (int index = 0; index < kMp3BitrateCount; ++index) {
                        const Mp3EncoderParams p =
                            mp3ParamsFromSettings(m_settings, encodingBitrateOfEntry(index));
                        lame_global_flags* lame = lame_init();
                        ASSERT_NE(lame, nullptr);
                        lame_set_in_samplerate(lame, 44100);
                        lame_set_num_channels(lame, 2);
                        if (p.channelMode == 2)
                            lame_set_force_ms(lame, 1);
                        const MPEG_mode modes[] = {STEREO, JOINT_STEREO, JOINT_STEREO, MONO};
                        if (p.channelMode < 4)
                            lame_set_mode(lame, modes[p.channelMode]);
                        lame_set_brate(lame, p.bitrate);
                        lame_set_quality(lame, p.quality);
                        const vbr_mode vbr[] = {vbr_off, vbr_rh, vbr_abr, vbr_mtrh};
                        lame_set_VBR(lame, vbr[p.vbrMethod]);
                        lame_set_VBR_min_bitrate_kbps(lame, p.bitrate);
                        lame_set_VBR_max_bitrate_kbps(lame, p.vbrMaxBitrate);
                        lame_set_VBR_mean_bitrate_kbps(lame, p.abrMeanBitrate);
                        lame_set_VBR_q(lame, p.vbrQuality);
                        lame_set_copyright(lame, p.copyright);
                        lame_set_error_protection(lame, p.crc);
                        lame_set_original(lame, p.original);
                        lame_set_extension(lame, p.privateFlag);
                        lame_set_errorf(lame, [](const char*, va_list) {});
                        lame_set_msgf(lame, [](const char*, va_list) {});
                        lame_set_debugf(lame, [](const char*, va_list) {});
                        EXPECT_EQ(lame_init_params(lame), 0)
                            << "type " << type << " method " << method << " index " << index;
                        EXPECT_EQ(lame_get_VBR(lame), vbr[p.vbrMethod]);
                        lame_close(lame);
                        // The program's own encoder set-up takes it too.
                        LameHandle own = createMp3Encoder(44100, 2, p);
                        EXPECT_NE(own, nullptr);
                        if (own)
                            lame_close(own);
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 2 * 3 * 5 * 3 * 17);
}

TEST(ConvertPaths, ProposedOutputs) {
    EXPECT_EQ(cdOutputFolder("/music", "Band", "Record"), "/music/Band - Record");
    EXPECT_EQ(cdOutputFolder("/music/", "", ""), "/music/Unknown Artist - Unknown");
    EXPECT_EQ(cdOutputFolder("", "Band", "Record"), "");
    // Names from a server never lead outside the music folder, nor into a folder more.
    EXPECT_EQ(cdOutputFolder("/music", "../../../x", "y"), "/music/-..-..-x - y");
    EXPECT_EQ(cdOutputFolder("/music", "AC/DC", "Back in Black"), "/music/AC-DC - Back in Black");
    EXPECT_EQ(cdOutputFolder("/music", "..", ".."), "/music/Unknown Artist - Unknown");
    EXPECT_EQ(folderModeOutput("/in", "WAVFiles"), "/in/WAVFiles/");
    EXPECT_EQ(folderModeOutput("/in/", "MP3Files"), "/in/MP3Files/");
    EXPECT_EQ(fileModeOutput("/in/song.wav", ".mp3"), "/in/song.mp3");
    EXPECT_EQ(fileModeOutput("/in/song.WMA", ".wav"), "/in/song.wav");
    EXPECT_EQ(fileModeOutput("ab", ".wav"), "ab.wav");
    EXPECT_EQ(fileModeOutput("/in/song.FLAC", ".mp3"), "/in/song.mp3");
    EXPECT_EQ(fileModeOutput("/in/song.opus", ".wma"), "/in/song.wma");
    EXPECT_EQ(fileModeOutput("/in/song.ogg", ".mp3"), "/in/song.mp3");
    EXPECT_TRUE(hasExtension("/x/A.WAV", ".wav"));
    EXPECT_FALSE(hasExtension("/x/A.wave", ".wav"));
    EXPECT_EQ(fileTitle("/x/My Song.final.wav"), "My Song.final");
}

// Two inputs of one batch never share an output, and no output replaces an input.
TEST(ConvertPaths, BatchOutputsAreUniqueAndSpareTheInputs) {
    EXPECT_EQ(batchOutputNames({"/in/a.wav", "/in/b.flac"}, "/out", ".mp3"),
              (std::vector<std::string>{"/out/a.mp3", "/out/b.mp3"}));
    // The same title from a WAV and a FLAC file, and from two folders.
    EXPECT_EQ(
        batchOutputNames({"/in/song.wav", "/in/song.flac", "/in/x/song.flac"}, "/out/", ".mp3"),
        (std::vector<std::string>{"/out/song.mp3", "/out/song (flac).mp3",
                                  "/out/song (flac 2).mp3"}));
    // Output folder = input folder: "song.mp3" is an input, so neither output takes it.
    EXPECT_EQ(batchOutputNames({"/in/song.wav", "/in//./song.mp3"}, "/in", ".mp3"),
              (std::vector<std::string>{"/in/song (wav).mp3", "/in/song (mp3).mp3"}));
    // Titles differing in case are different files here.
    EXPECT_EQ(batchOutputNames({"/in/Song.wav", "/in/song.wav"}, "/o", ".wma"),
              (std::vector<std::string>{"/o/Song.wma", "/o/song.wma"}));
    EXPECT_TRUE(batchOutputNames({}, "/o", ".wav").empty());
}

TEST(ConvertPaths, FolderCreationAndSearch) {
    cldtest::TempDir dir;
    const std::string made = (dir.path() / "out").string();
    EXPECT_TRUE(createOneFolder(made + "/"));
    EXPECT_TRUE(createOneFolder(made)); // an existing folder is fine
    std::string reason;
    EXPECT_FALSE(createOneFolder((dir.path() / "a/b/c").string(), &reason)); // one level only
    EXPECT_FALSE(reason.empty());
    std::ofstream(dir.path() / "file").put('x');
    EXPECT_FALSE(createOneFolder((dir.path() / "file").string()));

    for (const char* name : {"b.wav", "A.WAV", "c.mp3", "d.wave", ".wav", "e.Wav"})
        std::ofstream(dir.path() / "out" / name).put('x');
    std::filesystem::create_directory(dir.path() / "out" / "sub.wav");
    const auto found = filesWithExtension(made, ".wav");
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0], made + "/A.WAV");
    EXPECT_EQ(found[1], made + "/b.wav");
    EXPECT_EQ(found[2], made + "/e.Wav");
    EXPECT_TRUE(filesWithExtension((dir.path() / "missing").string(), ".wav").empty());

    // The encoding jobs take every audio file: the WAV files first, then the others.
    for (const char* name :
         {"z.flac", "y.OGG", "x.opus", "w.m4a", "v.aac", "u.oga", "t.wma", "s.mp4", "cover.jpg"})
        std::ofstream(dir.path() / "out" / name).put('x');
    std::vector<std::string> audio;
    for (const std::string& path : audioFilesIn(made + "/"))
        audio.push_back(fileTitle(path) + std::filesystem::path(path).extension().string());
    EXPECT_EQ(audio, (std::vector<std::string>{"A.WAV", "b.wav", "e.Wav", "c.mp3", "u.oga", "v.aac",
                                               "w.m4a", "x.opus", "y.OGG", "z.flac"}));
    EXPECT_TRUE(audioFilesIn((dir.path() / "missing").string()).empty());
    EXPECT_EQ(audioInputFilter("Wave (*.wav)", "Audio files"),
              "Wave (*.wav);;Audio files (*.wav *.flac *.ogg *.oga *.opus *.m4a *.aac *.mp3)");
}

TEST(ProgressFigures, TextsOfTheDialog) {
    EXPECT_EQ(clockText(150), "00:02:30");
    EXPECT_EQ(clockText(3600 * 25 + 61), "01:01:01"); // hours modulo 24
    EXPECT_EQ(clockText(-4), "00:00:00");
    EXPECT_EQ(kilobytesPerSecondText(1234), "1234 KB/sec.");
    EXPECT_EQ(samplesPerSecondText(44100), "44100");
    EXPECT_EQ(megabytesText(3 * 1024 * 1024 + 512 * 1024), "3.5 MB");
    EXPECT_EQ(gigabytesText(1024ull * 1024 * 1024), "1.0 GB");
    EXPECT_EQ(gigabytesText(1048575), "0.0 GB"); // whole mebibytes only
    EXPECT_EQ(gigabytesText(1536ull * 1024 * 1024), "1.5 GB");
}

TEST(ProgressFigures, DiskSpaceOfTheOutputsOwnFileSystem) {
    cldtest::TempDir dir;
    const auto space = diskSpaceFor((dir.path() / "not/yet/made.mp3").string());
    ASSERT_TRUE(space.has_value());
    const auto folder = std::filesystem::space(dir.path());
    EXPECT_EQ(space->totalBytes, folder.capacity);
    EXPECT_GT(space->totalBytes, 0u);
    EXPECT_LE(space->freeBytes, space->totalBytes);
}

TEST(ProgressFigures, WavHeaderCheck) {
    cldtest::TempDir dir;
    EXPECT_EQ(checkWavHeader((dir.path() / "missing.wav").string()).status, WavCheck::CannotOpen);
    std::ofstream(dir.path() / "short.wav") << "RIFF....WAVE";
    EXPECT_EQ(checkWavHeader((dir.path() / "short.wav").string()).status, WavCheck::NotPcmWave);
    std::string id3(64, '\0');
    id3.replace(0, 3, "ID3");
    std::ofstream(dir.path() / "song.mp3") << id3;
    EXPECT_EQ(checkWavHeader((dir.path() / "song.mp3").string()).status, WavCheck::NotPcmWave);

    // 10 s of 44.1 kHz stereo 16-bit; a header whose format fields are zero gives 0 s.
    unsigned char h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    auto put16 = [&](int o, unsigned v) {
        h[o] = static_cast<unsigned char>(v);
        h[o + 1] = static_cast<unsigned char>(v >> 8);
    };
    put16(22, 2);
    put16(24, 44100 & 0xFFFF);
    put16(26, 44100 >> 16);
    put16(34, 16);
    const unsigned data = 176400u * 10;
    put16(40, data & 0xFFFF);
    put16(42, data >> 16);
    {
        std::ofstream out(dir.path() / "ten.wav", std::ios::binary);
        out.write(reinterpret_cast<const char*>(h), sizeof h);
    }
    const WavCheckResult r = checkWavHeader((dir.path() / "ten.wav").string());
    EXPECT_EQ(r.status, WavCheck::Ok);
    EXPECT_EQ(r.durationSeconds, 10);
    put16(22, 0);
    {
        std::ofstream out(dir.path() / "zero.wav", std::ios::binary);
        out.write(reinterpret_cast<const char*>(h), sizeof h);
    }
    EXPECT_EQ(checkWavHeader((dir.path() / "zero.wav").string()).durationSeconds, 0);
}

// A WAV written by another program often carries more than the 44-byte header: a longer
// format chunk, a list of tags before the data, a data size left open by a tool that wrote
// to a pipe. The check finds the format and the data wherever they are, so that the
// current bar runs over the file's whole length.
TEST(ProgressFigures, WavHeaderCheckFindsTheChunksOfOtherWriters) {
    cldtest::TempDir dir;
    const auto le = [](std::string& out, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    // fmt of `fmtSize` bytes (22050 Hz mono 16-bit), an optional LIST chunk, then `seconds`
    // of data whose declared size is `declared` (the real size when 0).
    const auto write = [&](const std::string& name, uint32_t fmtSize, bool list, int seconds,
                           uint32_t declared) {
        const uint32_t bytes = 44100u * static_cast<uint32_t>(seconds);
        std::string f = "RIFF";
        le(f, 0, 4);
        f += "WAVEfmt ";
        le(f, fmtSize, 4);
        le(f, fmtSize == 40 ? 0xFFFE : 1, 2);
        le(f, 1, 2);
        le(f, 22050, 4);
        le(f, 44100, 4);
        le(f, 2, 2);
        le(f, 16, 2);
        f.append(fmtSize - 16, '\0');
        if (list) {
            f += "LIST";
            le(f, 26, 4);
            f += "INFOISFT";
            le(f, 14, 4);
            f += std::string("Lavf60.16.100") + '\0';
        }
        f += "data";
        le(f, declared ? declared : bytes, 4);
        f.append(bytes, '\0');
        std::ofstream(dir.path() / name, std::ios::binary) << f;
        return (dir.path() / name).string();
    };
    EXPECT_EQ(checkWavHeader(write("tagged.wav", 16, true, 12, 0)).durationSeconds, 12);
    EXPECT_EQ(checkWavHeader(write("extensible.wav", 40, false, 7, 0)).durationSeconds, 7);
    EXPECT_EQ(checkWavHeader(write("piped.wav", 16, true, 5, 0xFFFFFFFFu)).durationSeconds, 5);
    const WavCheckResult both = checkWavHeader(write("both.wav", 40, true, 3, 0));
    EXPECT_EQ(both.status, WavCheck::Ok);
    EXPECT_EQ(both.durationSeconds, 3);
    // Chunks that run past the end of the file give no duration, and no crash.
    std::string cut = "RIFF";
    le(cut, 0, 4);
    cut += "WAVELIST";
    le(cut, 0x7FFFFFF0u, 4);
    cut.append(40, 'x');
    std::ofstream(dir.path() / "cut.wav", std::ios::binary) << cut;
    EXPECT_EQ(checkWavHeader((dir.path() / "cut.wav").string()).durationSeconds, 0);
}

TEST(ProgressFigures, MessagesForJobErrors) {
    EXPECT_EQ(startFailureStringId(JobKind::Mp3Encode, 101), 195);
    EXPECT_EQ(startFailureStringId(JobKind::Mp3Encode, 102), 196);
    EXPECT_EQ(startFailureStringId(JobKind::Mp3Encode, 103), 201);
    EXPECT_EQ(startFailureStringId(JobKind::Mp3Decode, 104), 202);
    EXPECT_EQ(startFailureStringId(JobKind::Mp3Encode, 105), 200);
    EXPECT_EQ(startFailureStringId(JobKind::WmaDecode, 101), 195);
    EXPECT_EQ(startFailureStringId(JobKind::WmaDecode, 103), 197);
    EXPECT_EQ(startFailureStringId(JobKind::WmaDecode, 104), 200);
    EXPECT_EQ(startFailureStringId(JobKind::WmaDecode, 7), 200);
}

// Which message a failed job gets and which file it names: a WAV layout the encoder
// cannot take is a format error, an output failure after data was written a failed
// write, the WMA decoder's 104 an output that cannot take the format.
TEST(ProgressFigures, FailedJobsNameTheFileAtFault) {
    struct Case {
        JobKind kind;
        int code;
        uint32_t detail;
        bool wrote;
        int stringId;
        bool input;
    };
    const Case cases[] = {
        {JobKind::Mp3Encode, 101, wmerr::kWavFormat, false, 197, true},
        {JobKind::Mp3Encode, 101, wmerr::fromErrno(ENOENT), false, 195, true},
        {JobKind::Mp3Decode, 101, wmerr::kWavFormat, false, 195, true},
        {JobKind::Mp3Encode, 102, wmerr::fromErrno(ENOENT), false, 196, false},
        {JobKind::Mp3Encode, 102, wmerr::fromErrno(ENOSPC), true, IDS_WRITE_FAILED, false},
        {JobKind::Mp3Decode, 102, wmerr::fromErrno(EFBIG), true, IDS_WRITE_FAILED, false},
        {JobKind::Mp3Encode, 103, 0, false, 201, true},
        {JobKind::Mp3Decode, 104, wmerr::kNoAudioDecoded, false, 202, true},
        {JobKind::WmaDecode, 104, wmerr::kWavFormat, false, 200, false},
        {JobKind::WmaDecode, 103, wmerr::kNoAudio, false, 197, true},
        // Damaged, cut-off and mislabelled audio files are files of an invalid format.
        {JobKind::Mp3Encode, 101, wmerr::kChecksumMismatch, false, 197, true},
        {JobKind::Mp3Encode, 101, wmerr::kTruncated, false, 197, true},
        {JobKind::Mp3Encode, 101, wmerr::kContentMismatch, false, 197, true},
        {JobKind::Mp3Encode, 101, wmerr::kNoAudio, false, 197, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + " " + std::to_string(c.stringId));
        const JobFailure f = jobFailure(c.kind, c.code, c.detail, c.wrote);
        EXPECT_EQ(f.stringId, c.stringId);
        EXPECT_EQ(f.inputAtFault, c.input);
    }
    EXPECT_EQ(failureReason(0), "");
    EXPECT_EQ(failureReason(wmerr::fromErrno(ENOSPC)), std::strerror(ENOSPC));
    EXPECT_TRUE(isInputFailure(wmerr::kInputOpen));
    for (const uint32_t code :
         {wmerr::kChecksumMismatch, wmerr::kTruncated, wmerr::kContentMismatch})
        EXPECT_TRUE(isInputFailure(code));
    EXPECT_FALSE(isInputFailure(wmerr::fromErrno(ENOSPC)));
    EXPECT_FALSE(isInputFailure(wmerr::kCodecMissing));
    // Only a disk without room (or a spent quota) stops a whole batch.
    EXPECT_TRUE(isDiskFull(wmerr::fromErrno(ENOSPC)));
    EXPECT_TRUE(isDiskFull(wmerr::fromErrno(EDQUOT)));
    for (const uint32_t code : {0u, wmerr::fromErrno(EFBIG), wmerr::fromErrno(EACCES),
                                wmerr::fromErrno(EIO), wmerr::kInputOpen})
        EXPECT_FALSE(isDiskFull(code)) << code;
}

// An output that is an input of the job under another path (a link to it, a hard link, a
// folder reached through a link) is found; outputs that do not exist yet, or are other
// files, are not.
TEST(ConvertPaths, OutputsThatAreInputs) {
    namespace fs = std::filesystem;
    cldtest::TempDir dir;
    const fs::path in = dir.path() / "in";
    fs::create_directories(in);
    std::ofstream(in / "a.wav") << "a";
    std::ofstream(in / "b.mp3") << "b";
    std::ofstream(dir.path() / "other.mp3") << "o";
    fs::create_directory_symlink(in, dir.path() / "link");
    fs::create_hard_link(in / "a.wav", dir.path() / "hard.wav");
    const std::vector<std::string> inputs = {(in / "a.wav").string(), (in / "b.mp3").string()};
    EXPECT_EQ(outputReplacingInput(inputs, {(dir.path() / "link/a.mp3").string(),
                                            (dir.path() / "link/b.mp3").string()}),
              (dir.path() / "link/b.mp3").string());
    EXPECT_EQ(outputReplacingInput(inputs, {(dir.path() / "hard.wav").string()}),
              (dir.path() / "hard.wav").string());
    EXPECT_EQ(outputReplacingInput(inputs,
                                   {(in / "a.mp3").string(), (dir.path() / "other.mp3").string()}),
              "");
    EXPECT_EQ(outputReplacingInput({}, {(in / "a.wav").string()}), "");
}

TEST(ConvertPaths, CdTrackNamesAndPartialFiles) {
    EXPECT_EQ(cdTrackBaseName("AC/DC Tribute", "Back/In Black"), "AC-DC Tribute - Back-In Black");
    EXPECT_EQ(cdTrackBaseName("A\tB", "x..\x7F"), "AB - x");
    EXPECT_EQ(cdTrackBaseName("A", ".."), "") << "nothing left of the title";
    EXPECT_EQ(cdTrackBaseName("Ärzte", "Zu spät"), "Ärzte - Zu spät") << "UTF-8 stays";

    cldtest::TempDir dir;
    const std::string track = (dir.path() / "x.mp3").string();
    EXPECT_EQ(engine::keepAsPartial(track), "") << "nothing to keep";
    std::ofstream(track) << "partial";
    EXPECT_EQ(engine::keepAsPartial(track), track + ".part");
    EXPECT_FALSE(std::filesystem::exists(track));
    // A file of that name (the user's, or an earlier run's) stays; the new one is numbered.
    std::ofstream(track) << "again";
    EXPECT_EQ(engine::keepAsPartial(track), (dir.path() / "x (2).mp3.part").string());
    std::ifstream in(track + ".part");
    std::string content;
    in >> content;
    EXPECT_EQ(content, "partial") << "an older partial file is never replaced";
    std::filesystem::create_directory(track);
    EXPECT_EQ(engine::keepAsPartial(track), "") << "a folder is left alone";
    EXPECT_TRUE(std::filesystem::is_directory(track));
}
