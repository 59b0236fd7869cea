#include "GetErrorText.h"
#include "Log.h"
#include "MediaFixtures.h"
#include "Processes.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "WMException.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"
#include "WmReader.h"
#include "WmaDecodeJob.h"
#include "WmaEncodeJob.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace codectest;
namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
const std::string kProfiles = CLD_PROFILE_SOURCE_DIR;
const std::string kHifi160 = "Audio for HI-FI CD-quality (160 Kbps stereo)";

int indexOf(const WmEncoderControl& enc, const std::string& name) {
    for (int i = 0; i < enc.GetProfileCount(); ++i) {
        if (enc.GetProfileInfo(i).name == name)
            return i;
    }
    return -1;
}

bool waitStopped(const WmaEncodeJob& job, int seconds = cldtest::kHangLimitSeconds) {
    return waitWhile([&] { return job.IsEncoding(); }, seconds);
}

bool waitIdle(const CodecJob& job, int seconds = cldtest::kHangLimitSeconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (job.IsRunning()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::unique_ptr<WmaEncodeJob> makeJob(const std::string& profile, const std::string& user = {}) {
    auto enc = std::make_unique<WmEncoderControl>(kProfiles, user);
    const int index = indexOf(*enc, profile);
    EXPECT_GE(index, 0) << profile;
    auto job = std::make_unique<WmaEncodeJob>(std::move(enc));
    job->SetProfileIndex(index);
    return job;
}

} // namespace

TEST(WmProfileCollection, ShippedProfilesListedLowToHighWithStreamCounts) {
    cldtest::TempDir user;
    WmEncoderControl enc(kProfiles, user.path().string());
    ASSERT_GE(enc.GetProfileCount(), 8);
    EXPECT_TRUE(enc.GetDamagedProfiles().empty());
    EXPECT_GE(indexOf(enc, kHifi160), 0);
    EXPECT_GE(indexOf(enc, "Audio for HI-FI Studio-maximum quality (192 Kbps stereo)"), 0);
    int scripts = 0;
    int videos = 0;
    int64_t lastAudioOnly = 0;
    bool seenVideo = false;
    for (int i = 0; i < enc.GetProfileCount(); ++i) {
        const WmProfileInfo info = enc.GetProfileInfo(i);
        EXPECT_FALSE(info.description.empty()) << info.name;
        EXPECT_GE(info.audioStreams, 1) << info.name;
        scripts += info.scriptStreams > 0;
        videos += info.videoStreams > 0;
        if (info.videoStreams > 0) {
            seenVideo = true;
        } else {
            EXPECT_FALSE(seenVideo) << "audio-only profiles come first";
            const int64_t rate = enc.GetProfile(i).GetTotalBitrate();
            EXPECT_GE(rate, lastAudioOnly) << info.name;
            lastAudioOnly = rate;
        }
    }
    EXPECT_EQ(scripts, 1);
    EXPECT_GE(videos, 2);
    EXPECT_THROW(enc.GetProfile(enc.GetProfileCount()), WMException);
    EXPECT_THROW(enc.GetProfileInfo(-1), WMException);
}

TEST(WmProfileCollection, UserFolderAddsProfilesAndSkipsDamagedOnes) {
    cldtest::TempDir user;
    WmEncoderControl plain(kProfiles, "");
    const int base = plain.GetProfileCount();
    // A copy of a shipped profile (as start-up installs them) is listed once.
    fs::copy_file(fs::path(kProfiles) / (kHifi160 + ".prx"), user.file(kHifi160 + ".prx"));
    writeFile(user.file("Mine.prx"),
              {'[', 'P',  'r',  'o',  'f', 'i', 'l', 'e',  ']', '\n', 'N', 'a', 'm',  'e', '=', 'M',
               'i', 'n',  'e',  '\n', '[', 'S', 't', 'r',  'e', 'a',  'm', ']', '\n', 'T', 'y', 'p',
               'e', '=',  'A',  'u',  'd', 'i', 'o', '\n', 'C', 'o',  'd', 'e', 'c',  '=', 'w', 'm',
               'a', 'v',  '2',  '\n', 'B', 'i', 't', 'r',  'a', 't',  'e', '=', '4',  '8', '0', '0',
               '0', '\n', 'S',  'a',  'm', 'p', 'l', 'e',  'R', 'a',  't', 'e', '=',  '4', '4', '1',
               '0', '0',  '\n', 'C',  'h', 'a', 'n', 'n',  'e', 'l',  's', '=', '1',  '\n'});
    writeFile(user.file("Broken.prx"), {'[', 'P', 'r', 'o', 'f', 'i', 'l', 'e', ']', '\n'});
    writeFile(user.file("Huge.prx"), std::vector<uint8_t>(200000, 'x'));
    WmEncoderControl enc(kProfiles, user.path().string());
    EXPECT_EQ(enc.GetProfileCount(), base + 1);
    EXPECT_EQ(enc.GetProfileInfo(base).name, "Mine");
    EXPECT_EQ(enc.GetDamagedProfiles().size(), 2u);

    WmEncoderControl missing("/no/such/folder", "/nor/this");
    EXPECT_EQ(missing.GetProfileCount(), 0);
}

TEST(WmProfile, ParseChecksEveryValue) {
    const std::string good = "[Profile]\nName=X\n[Stream]\nType=Audio\nCodec=wmav2\n"
                             "Bitrate=64000\nSampleRate=44100\nChannels=2\n";
    const WmProfile p = WmProfile::Parse(good);
    EXPECT_EQ(p.GetName(), "X");
    EXPECT_EQ(WmProfile::Parse(p.ToText()).ToText(), p.ToText());
    for (const std::string& bad : std::vector<std::string>{
             std::string("[Profile]\nName=X\n"), good + "[Stream]\nType=Smell\n",
             "[Profile]\nName=X\n[Stream]\nType=Audio\nCodec=mp3\nBitrate=64000\nSampleRate="
             "44100\nChannels=2\n",
             "[Profile]\nName=X\n[Stream]\nType=Audio\nCodec=wmav2\nBitrate=64k\nSampleRate="
             "44100\nChannels=2\n",
             "[Profile]\nName=X\n[Stream]\nType=Audio\nCodec=wmav2\nBitrate=64000\nSampleRate="
             "44100\nChannels=9\n",
             "[Profile]\nName=X\n[Stream]\nType=Video\nCodec=wmv2\nBitrate=64000\nWidth=321\n"
             "Height=240\nFPS=25\n",
             "Name=X\n", good + "[Other]\n", good + "garbage line\n"}) {
        EXPECT_THROW(WmProfile::Parse(bad), WMException) << bad;
    }
}

TEST(WmaEncodeJob, WritesAsfWithProfileBitrateAndTheStandardAttributes) {
    cldtest::TempDir dir;
    writeWav(dir.file("in.wav"), makeSignal(3 * kRate, kRate, 2), kRate, 2);
    auto job = makeJob(kHifi160);
    AudioTags tags;
    tags.artist = "The Artist";
    tags.title = "Track Title: Ünïcode";
    tags.album = "The Album";
    tags.albumArtist = "The Artist";
    tags.year = "1987";
    tags.genre = "Jazz";
    tags.track = 7;
    tags.trackTotal = 12;
    const std::string out =
        WmaEncodeJob::CdOutputName(dir.path().string(), "The Artist", "Track Title");
    EXPECT_EQ(out, dir.file("The Artist - Track Title.wma").string());
    job->EncodeFile(dir.file("in.wav").string(), out, &tags);
    // The state is exact at once: running, never "starting".
    EXPECT_NE(job->GetEncoder().GetRunState(), WmEncoderControl::kStarting);
    EXPECT_TRUE(job->WaitWhileStarting(cldtest::kHangLimit));
    ASSERT_TRUE(waitStopped(*job));
    EXPECT_EQ(job->GetEncoder().GetRunState(), WmEncoderControl::kStopped);
    EXPECT_EQ(job->GetLastErrorCode(), 0u);
    EXPECT_TRUE(job->OnStopped());
    EXPECT_FALSE(job->GetEncoder().HasSourceGroup());
    EXPECT_FALSE(job->OnStopped()) << "the group is released once";

    const auto figures = job->RefreshStatistics(2);
    EXPECT_EQ(figures.encodedSeconds, 3);
    EXPECT_EQ(figures.barPosition, 2) << "never beyond the bar's end";
    EXPECT_EQ(figures.bitrateText, "160 Kbps");
    const double mb = static_cast<double>(fs::file_size(out)) / 1024 / 1024;
    char expect[32];
    std::snprintf(expect, sizeof expect, "%.1f MB", mb);
    EXPECT_EQ(figures.fileSizeText, expect);

    auto info = probe(out);
    EXPECT_EQ(info["stream.codec_name"], "wmav2");
    EXPECT_EQ(info["stream.bit_rate"], "160000");
    EXPECT_EQ(info["stream.channels"], "2");
    EXPECT_EQ(info["stream.format_name"], "asf");
    EXPECT_EQ(info["tag.artist"], "The Artist");
    EXPECT_EQ(info["tag.title"], "Track Title: Ünïcode");
    EXPECT_EQ(info["tag.album"], "The Album");
    EXPECT_EQ(info["tag.album_artist"], "The Artist");
    EXPECT_EQ(info["tag.WM/Year"], "1987");
    EXPECT_EQ(info["tag.genre"], "Jazz");
    EXPECT_EQ(info["tag.track"], "7");
    // The album is not a copyright notice.
    EXPECT_EQ(info.count("tag.copyright"), 0u);
    EXPECT_EQ(info.count("tag.date"), 0u);
    // As another reader of ASF files sees them.
    if (const auto attributes = asfAttributes(out)) {
        auto a = *attributes;
        EXPECT_EQ(a["Title"], "Track Title: Ünïcode");
        EXPECT_EQ(a["Author"], "The Artist");
        EXPECT_EQ(a["WM/AlbumTitle"], "The Album");
        EXPECT_EQ(a["WM/AlbumArtist"], "The Artist");
        EXPECT_EQ(a["WM/Year"], "1987");
        EXPECT_EQ(a["WM/Genre"], "Jazz");
        EXPECT_EQ(a["WM/TrackNumber"], "7");
        EXPECT_EQ(a.count("Copyright"), 0u);
        EXPECT_EQ(a.count("date"), 0u);
    }

    // It sounds like its input.
    Pcm ref{kRate, 2, makeSignal(3 * kRate, kRate, 2)};
    const Pcm dec = decodeWithFfmpeg(out);
    ASSERT_EQ(dec.channels, 2);
    EXPECT_NEAR(static_cast<double>(dec.samples.size() / 2), 3 * kRate, 4096);
    EXPECT_GT(align(ref, dec, 4096).snrDb, 12.0);
}

TEST(WmaEncodeJob, SourceGroupsCountUpAndMp3InputIsAccepted) {
    cldtest::TempDir dir;
    writeWav(dir.file("in.wav"), makeSignal(kRate, kRate, 1), kRate, 1);
    ASSERT_EQ(
        shell("lame --quiet -b 128 " + quote(dir.file("in.wav")) + " " + quote(dir.file("in.mp3"))),
        0);
    auto job = makeJob("Audio for voice (32 Kbps mono)");
    WmEncoderControl& enc = job->GetEncoder();
    const std::string first = enc.AddSourceGroup().GetName();
    const std::string second = enc.AddSourceGroup().GetName();
    ASSERT_EQ(first.rfind("SOURCE_GROUP #", 0), 0u);
    EXPECT_EQ(std::stoull(second.substr(14)), std::stoull(first.substr(14)) + 1);
    enc.ReleaseSourceGroup();

    const std::string out = WmaEncodeJob::FolderOutputName(dir.path().string(), "x/in.mp3");
    EXPECT_EQ(out, dir.file("in.wma").string());
    job->EncodeFile(dir.file("in.mp3").string(), out);
    ASSERT_TRUE(waitStopped(*job));
    EXPECT_EQ(job->GetLastErrorCode(), 0u);
    auto info = probe(out);
    EXPECT_EQ(info["stream.codec_name"], "wmav2");
    EXPECT_EQ(info["stream.bit_rate"], "32000");
    EXPECT_EQ(info["stream.sample_rate"], "22050");
    EXPECT_EQ(info.count("tag.artist"), 0u) << "no display texts outside CD mode";
}

TEST(WmEncoderControl, DisplayInfoKeepsEarlierTextsForEmptyOnes) {
    cldtest::TempDir dir;
    // Long enough to be still running when the state is checked.
    writeWav(dir.file("in.wav"), makeSignal(120 * kRate, kRate, 2), kRate, 2);
    WmEncoderControl enc(kProfiles, "");
    enc.PrepareForFile();
    WmSourceGroup& group = enc.AddSourceGroup();
    group.SetInput("file://" + dir.file("in.wav").string());
    group.Activate();
    group.SetProfile(enc.GetProfile(indexOf(enc, kHifi160)));
    enc.SetOutputFile(dir.file("out.wma").string());
    enc.SetDisplayInfo("Author", "Title", "Copyright", "Description", "Rating");
    enc.SetDisplayInfo("", "New Title", "", "", "");
    enc.Start();
    EXPECT_EQ(enc.GetRunState(), WmEncoderControl::kRunning);
    enc.Stop();
    EXPECT_EQ(enc.GetRunState(), WmEncoderControl::kStopped);
    auto info = probe(dir.file("out.wma"));
    EXPECT_EQ(info["tag.artist"], "Author");
    EXPECT_EQ(info["tag.title"], "New Title");
    EXPECT_EQ(info["tag.copyright"], "Copyright");
    EXPECT_EQ(info["tag.comment"], "Description");
    EXPECT_GT(enc.GetStatistics().fileSize, 0);
}

TEST(WmaEncodeJob, FailuresThrowWithTextAndReleaseTheGroup) {
    cldtest::TempDir dir;
    auto job = makeJob(kHifi160);
    try {
        job->EncodeFile(dir.file("missing.wav").string(), dir.file("x.wma").string());
        FAIL() << "no exception";
    } catch (const WMException& e) {
        EXPECT_EQ(e.GetCode(), cld::wmerr::kInputOpen);
        EXPECT_FALSE(GetErrorText(e.GetCode()).empty());
    }
    EXPECT_FALSE(job->GetEncoder().HasSourceGroup());
    EXPECT_FALSE(fs::exists(dir.file("x.wma")));

    writeFile(dir.file("junk.wav"), std::vector<uint8_t>(5000, 0x42));
    EXPECT_THROW(job->EncodeFile(dir.file("junk.wav").string(), dir.file("y.wma").string()),
                 WMException);

    writeWav(dir.file("in.wav"), makeSignal(kRate, kRate, 2), kRate, 2);
    try {
        job->EncodeFile(dir.file("in.wav").string(), dir.file("no/dir/z.wma").string());
        FAIL() << "no exception";
    } catch (const WMException& e) {
        EXPECT_EQ(e.GetCode(), cld::wmerr::kOutputCreate);
    }
    const auto before = readFile(dir.file("in.wav"));
    EXPECT_THROW(job->EncodeFile(dir.file("in.wav").string(), dir.file("in.wav").string()),
                 WMException);
    EXPECT_EQ(readFile(dir.file("in.wav")), before) << "the input survives";
    WmaDecodeJob dec;
    EXPECT_EQ(dec.Open(dir.file("in.wav").string(), dir.file("in.wav").string()), 0);
    EXPECT_EQ(dec.GetErrorCode(), CodecJob::kErrOutput);
    EXPECT_EQ(readFile(dir.file("in.wav")), before);
    job->SetProfileIndex(999);
    EXPECT_THROW(job->EncodeFile(dir.file("in.wav").string(), dir.file("w.wma").string()),
                 WMException);
    WmEncoderControl& enc = job->GetEncoder();
    enc.PrepareForFile();
    EXPECT_THROW(enc.Start(), WMException) << "no source group";
}

TEST(WmaEncodeJob, AbortLeavesShorterPlayableFile) {
    cldtest::TempDir dir;
    writeWav(dir.file("long.wav"), makeSignal(60 * kRate, kRate, 2), kRate, 2);
    auto job = makeJob(kHifi160);
    job->EncodeFile(dir.file("long.wav").string(), dir.file("long.wma").string());
    EXPECT_TRUE(job->IsEncoding());
    // Abort once the encoder has written some of it.
    EXPECT_TRUE(cldtest::waitUntil([&] {
        return !job->IsEncoding() || job->GetEncoder().GetStatistics().encodedMilliseconds > 0;
    }));
    job->AbortEncoding();
    EXPECT_EQ(job->GetEncoder().GetRunState(), WmEncoderControl::kStopped);
    const Pcm dec = decodeWithFfmpeg(dir.file("long.wma"));
    EXPECT_GT(dec.samples.size(), 0u);
    EXPECT_LT(dec.samples.size() / 2, static_cast<size_t>(60 * kRate));
}

TEST(WmaEncodeJob, VideoProfileWritesWmv) {
    cldtest::TempDir dir;
    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i "
                    "sine=frequency=440:sample_rate=44100 -t 1 -c:v mpeg4 -c:a pcm_s16le -y " +
                    quote(dir.file("in.avi"))),
              0);
    auto job = makeJob("Video for dial-up modems (56 Kbps, 176x144)");
    job->EncodeFile(dir.file("in.avi").string(), dir.file("out.wmv").string());
    ASSERT_TRUE(waitStopped(*job));
    EXPECT_EQ(job->GetLastErrorCode(), 0u);
    auto v = probe(dir.file("out.wmv"), "v");
    EXPECT_EQ(v["stream.codec_name"], "wmv2");
    EXPECT_EQ(v["stream.width"], "176");
    EXPECT_EQ(v["stream.height"], "144");
    auto a = probe(dir.file("out.wmv"), "a");
    EXPECT_EQ(a["stream.codec_name"], "wmav2");
    // The codec's priming must not push one stream later than the other.
    EXPECT_EQ(a["stream.start_time"], "0.000000");
    EXPECT_EQ(v["stream.start_time"], "0.000000");
}

TEST(WmReader, PrefixRuleAndOpenFailures) {
    EXPECT_EQ(WmReader::MakeUrl("/a/b.wma"), "file:///a/b.wma");
    EXPECT_EQ(WmReader::MakeUrl("FILE:///a/b.wma"), "FILE:///a/b.wma");
    EXPECT_EQ(WmReader::MakeUrl("File://rel.wma"), "File://rel.wma");
    WmReader reader(nullptr);
    try {
        reader.Open("/no/such/file.wma");
        FAIL() << "no exception";
    } catch (const WMException& e) {
        EXPECT_EQ(e.GetCode(), cld::wmerr::kInputOpen);
    }
    EXPECT_THROW(reader.Start(), WMException);
}

TEST(WmaDecodeJob, GivesTheAudioFfmpegDecodes) {
    cldtest::TempDir dir;
    writeWav(dir.file("in.wav"), makeSignal(2 * kRate, kRate, 2), kRate, 2);
    ASSERT_EQ(shell("ffmpeg -v error -i " + quote(dir.file("in.wav")) +
                    " -c:a wmav2 -b:a 128k -y " + quote(dir.file("in.wma"))),
              0);
    WmaDecodeJob job;
    ASSERT_EQ(job.Open(dir.file("in.wma").string(), dir.file("out.wav").string()), 1);
    EXPECT_GT(job.GetDuration(), 19000000);
    EXPECT_LT(job.GetDuration(), 21000000);
    ASSERT_EQ(job.Start(), 1);
    EXPECT_TRUE(job.IsRunning() || job.GetProgress() == 100);
    ASSERT_TRUE(waitIdle(job));
    EXPECT_EQ(job.GetErrorCode(), 0);
    EXPECT_EQ(job.GetProgress(), 100);
    const Pcm ours = readWav(dir.file("out.wav"));
    const Pcm theirs = decodeWithFfmpeg(dir.file("in.wma"));
    ASSERT_EQ(ours.rate, theirs.rate);
    ASSERT_EQ(ours.channels, theirs.channels);
    ASSERT_EQ(ours.samples.size(), theirs.samples.size());
    size_t worst = 0;
    for (size_t i = 0; i < ours.samples.size(); ++i)
        worst = std::max<size_t>(
            worst, static_cast<size_t>(std::abs(ours.samples[i] - theirs.samples[i])));
    EXPECT_LE(worst, 1u);
}

TEST(WmaDecodeJob, ErrorCodesForMissingVideoOnlyAndUnwritable) {
    cldtest::TempDir dir;
    WmaDecodeJob job;
    EXPECT_EQ(job.Open(dir.file("missing.wma").string(), dir.file("a.wav").string()), 0);
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput);
    EXPECT_EQ(job.Start(), 0);

    writeFile(dir.file("junk.wma"), std::vector<uint8_t>(3000, 0x30));
    EXPECT_EQ(job.Open(dir.file("junk.wma").string(), dir.file("b.wav").string()), 0);
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrInput);

    ASSERT_EQ(shell("ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=10 -t 1 -c:v wmv2 -y " +
                    quote(dir.file("video.wmv"))),
              0);
    EXPECT_EQ(job.Open(dir.file("video.wmv").string(), dir.file("c.wav").string()), 0);
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrEncoder);
    EXPECT_FALSE(fs::exists(dir.file("c.wav")));

    writeWav(dir.file("in.wav"), makeSignal(kRate, kRate, 2), kRate, 2);
    ASSERT_EQ(shell("ffmpeg -v error -i " + quote(dir.file("in.wav")) + " -c:a wmav2 -y " +
                    quote(dir.file("in.wma"))),
              0);
    EXPECT_EQ(job.Open(dir.file("in.wma").string(), dir.file("no/dir/d.wav").string()), 0);
    EXPECT_EQ(job.GetErrorCode(), CodecJob::kErrOutput);

    // Truncated: decodes what is there. FFmpeg's complaints about the cut go to the
    // program's log at debug level, not to the terminal.
    std::mutex logLock;
    std::vector<std::pair<cld::LogLevel, std::string>> lines;
    const cld::LogLevel oldLevel = cld::logLevel();
    cld::setLogLevel(cld::LogLevel::Debug);
    const cld::LogSink oldSink = cld::setLogSink([&](cld::LogLevel level, const std::string& t) {
        std::lock_guard lock(logLock);
        lines.emplace_back(level, t);
    });
    auto bytes = readFile(dir.file("in.wma"));
    bytes.resize(bytes.size() / 2);
    writeFile(dir.file("half.wma"), bytes);
    ASSERT_EQ(job.Open(dir.file("half.wma").string(), dir.file("half.wav").string()), 1);
    ASSERT_EQ(job.Start(), 1);
    ASSERT_TRUE(waitIdle(job));
    cld::setLogSink(oldSink);
    cld::setLogLevel(oldLevel);
    const Pcm half = readWav(dir.file("half.wav"));
    EXPECT_GT(half.samples.size(), 0u);
    EXPECT_LT(half.samples.size(), static_cast<size_t>(2 * kRate));
    std::lock_guard lock(logLock);
    size_t fromFfmpeg = 0;
    for (const auto& [level, text] : lines) {
        if (text.rfind("ffmpeg: ", 0) == 0) {
            ++fromFfmpeg;
            EXPECT_EQ(level, cld::LogLevel::Debug) << text;
        }
    }
    EXPECT_GT(fromFfmpeg, 0u);
}

namespace {

// A profile file of one audio stream.
void writeAudioProfile(const fs::path& folder, const std::string& name, int rate, int channels,
                       int bitrate) {
    const std::string text = "[Profile]\nName=" + name +
                             "\nDescription=test\n[Stream]\n"
                             "Type=Audio\nCodec=wmav2\nBitrate=" +
                             std::to_string(bitrate) + "\nSampleRate=" + std::to_string(rate) +
                             "\nChannels=" + std::to_string(channels) + "\n";
    writeFile(folder / (name + ".prx"), std::vector<uint8_t>(text.begin(), text.end()));
}

// A rising tone, whose correlation with itself has one clear peak even over a few hundred
// samples (the two-sine signal repeats itself closely every 104 samples).
std::vector<int16_t> makeChirp(int frames, int rate, int channels) {
    std::vector<int16_t> s;
    double phase = 0;
    for (int i = 0; i < frames; ++i) {
        const double f = 300.0 + 3000.0 * i / frames;
        phase += 2 * 3.14159265358979323846 * f / rate;
        for (int c = 0; c < channels; ++c)
            s.push_back(static_cast<int16_t>(std::lround(12000 * std::sin(phase + c))));
    }
    return s;
}

Pcm decodeWithJob(const fs::path& wma, const fs::path& wav) {
    WmaDecodeJob job;
    EXPECT_EQ(job.Open(wma.string(), wav.string()), 1);
    EXPECT_EQ(job.Start(), 1);
    EXPECT_TRUE(waitIdle(job));
    EXPECT_EQ(job.GetErrorCode(), 0);
    return readWav(wav);
}

} // namespace

TEST(WmaEncodeJob, DecodedAudioStartsWithTheInputsFirstSample) {
    cldtest::TempDir dir;
    cldtest::TempDir user;
    struct Case {
        int rate;
        int channels;
        int frames;
    };
    const std::vector<Case> cases = {{44100, 2, 2 * 44100}, {44100, 1, 2 * 44100},
                                     {48000, 2, 2 * 48000}, {48000, 1, 2 * 48000},
                                     {44100, 2, 1000},      {48000, 1, 1000}};
    for (const Case& c : cases) {
        const std::string name =
            "lag " + std::to_string(c.rate) + " " + std::to_string(c.channels) + "ch";
        SCOPED_TRACE(name + ", " + std::to_string(c.frames) + " frames");
        writeAudioProfile(user.path(), name, c.rate, c.channels, c.channels * 64000);
        const bool shortInput = c.frames < 5000;
        const Pcm ref{c.rate, c.channels,
                      shortInput ? makeChirp(c.frames, c.rate, c.channels)
                                 : makeSignal(c.frames, c.rate, c.channels)};
        writeWav(dir.file("in.wav"), ref.samples, c.rate, c.channels);
        auto job = makeJob(name, user.path().string());
        job->EncodeFile(dir.file("in.wav").string(), dir.file("out.wma").string());
        ASSERT_TRUE(waitStopped(*job));
        ASSERT_EQ(job->GetLastErrorCode(), 0u);
        const int maxLag = shortInput ? 300 : 4096;
        for (const Pcm& dec : {decodeWithJob(dir.file("out.wma"), dir.file("out.wav")),
                               decodeWithFfmpeg(dir.file("out.wma"))}) {
            ASSERT_EQ(dec.channels, c.channels);
            ASSERT_EQ(dec.rate, c.rate);
            const size_t frames = dec.samples.size() / static_cast<size_t>(c.channels);
            // Every input sample is there; at most the codec's last frame of silence more.
            EXPECT_GE(frames, static_cast<size_t>(c.frames));
            EXPECT_LE(frames, static_cast<size_t>(c.frames) + 2048);
            const Alignment a = align(ref, dec, maxLag);
            EXPECT_EQ(a.lag, 0);
            EXPECT_GT(a.snrDb, 12.0);
        }
    }
}
