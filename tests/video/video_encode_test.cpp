// The media layer's video path: files and the screen to WMV through WmEncoderControl,
// with preview and postview views, judged by ffprobe.
#include "GetErrorText.h"
#include "MediaDuration.h"
#include "MediaFixtures.h"
#include "PostviewDecoder.h"
#include "Processes.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VideoTestKit.h"
#include "WMException.h"
#include "WmDataView.h"
#include "WmEncoderControl.h"
#include "WmErrors.h"
#include "WmVideoErrors.h"
#include "WmVideoSource.h"
#include "WmViewCollection.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <chrono>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace videotest;
namespace fs = std::filesystem;

namespace {

const std::string kProfiles = CLD_PROFILE_SOURCE_DIR;
const std::string kBroadband = "Video for broadband (384 Kbps, 320x240)";

int indexOf(const WmEncoderControl& enc, const std::string& name) {
    for (int i = 0; i < enc.GetProfileCount(); ++i) {
        if (enc.GetProfileInfo(i).name == name)
            return i;
    }
    return -1;
}

bool waitStopped(const WmEncoderControl& enc, int seconds = 120) {
    return codectest::waitWhile([&] { return enc.GetRunState() == WmEncoderControl::kRunning; },
                                seconds);
}

uint32_t codeOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const WMException& e) {
        return e.GetCode();
    }
    return 0;
}

class VideoEncode : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new cldtest::TempDir;
        makeClip(s_dir->file("clip.avi"), "avi", 3.0);
        makeClip(s_dir->file("clip.mpg"), "mpg", 3.0, 352, 288);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }

    // Configures a conversion the way the progress dialog does and starts it.
    void StartConversion(WmEncoderControl& enc, const std::string& audioIn,
                         const std::string& videoIn, const fs::path& out, WmDataView* preview,
                         WmDataView* postview, const std::function<void()>& beforeStart = {}) {
        const int profile = indexOf(enc, kBroadband);
        ASSERT_GE(profile, 0);
        enc.PrepareForFile();
        WmSourceGroup& group = enc.AddSourceGroup();
        group.SetInput(audioIn);
        group.AddVideoSource(videoIn, preview, postview);
        group.SetProfile(enc.GetProfile(profile));
        group.Activate();
        enc.SetOutputFile(out.string());
        if (beforeStart)
            beforeStart();
        enc.Start();
    }

    static cldtest::TempDir* s_dir;
    cldtest::TempDir m_out;
};

cldtest::TempDir* VideoEncode::s_dir = nullptr;

TEST_F(VideoEncode, AviAndMpgBecomeWmvWithTheProfilesStreamsAndViewsSeeFrames) {
    for (const char* name : {"clip.avi", "clip.mpg"}) {
        SCOPED_TRACE(name);
        const fs::path in = s_dir->file(name);
        const fs::path out = m_out.file(std::string(name) + ".wmv");
        const int64_t duration = cld::getMediaDuration("FILE://" + in.string());
        ASSERT_NEAR(static_cast<double>(duration), 3e7, 0.1e7);

        WmEncoderControl enc(kProfiles, "");
        WmDataView preview;
        WmDataView postview;
        CountingSink previewSink;
        CountingSink postviewSink;
        // The views run before the encoder starts: a short clip on a fast machine may be
        // encoded whole before a view started afterwards sees a key picture.
        ASSERT_NO_FATAL_FAILURE(StartConversion(
            enc, "FILE://" + in.string(), "file://" + in.string(), out, &preview, &postview, [&] {
                preview.SetWindow(&previewSink);
                preview.StartView();
                postview.SetWindow(&postviewSink);
                postview.StartView();
            }));
        ASSERT_TRUE(waitStopped(enc));
        preview.StopView();
        postview.StopView();
        EXPECT_EQ(enc.GetLastErrorCode(), 0u) << GetErrorText(enc.GetLastErrorCode());

        EXPECT_EQ(probeField(out, "format", "format_name"), "asf");
        EXPECT_EQ(probeField(out, "v", "codec_name"), "wmv2");
        EXPECT_EQ(probeField(out, "v", "width"), "320");
        EXPECT_EQ(probeField(out, "v", "height"), "240");
        EXPECT_EQ(probeField(out, "a", "codec_name"), "wmav2");
        EXPECT_EQ(probeField(out, "a", "sample_rate"), "44100");
        EXPECT_EQ(probeField(out, "a", "channels"), "2");
        EXPECT_EQ(probeField(out, "a", "bit_rate"), "64000");
        // Within one picture (1/25 s) of the input's length.
        EXPECT_NEAR(probeDuration(out), static_cast<double>(duration) / 1e7, 0.04);

        // The whole input was encoded, so the progress figure reaches the end.
        const WmStatistics st = enc.GetStatistics();
        EXPECT_GE(st.encodedMilliseconds, duration / 10'000 - 40);
        EXPECT_EQ(st.fileSize, static_cast<int64_t>(fs::file_size(out)));

        // The preview is handed every picture its sink takes. The postview decodes on a
        // thread that yields to the encoder; on a busy machine it skips to the next key
        // picture, so it may show only the first few.
        EXPECT_EQ(previewSink.count(), 75);
        EXPECT_GE(postviewSink.count(), 1);
        EXPECT_EQ(previewSink.width(), 320);
        EXPECT_EQ(postviewSink.height(), 240);
        EXPECT_TRUE(previewSink.varied());
        EXPECT_TRUE(postviewSink.varied());
    }
}

// A sink with the box, refresh interval and readiness of a window.
class WindowSink : public CountingSink {
public:
    WindowSink(int boxWidth, int boxHeight, std::chrono::nanoseconds interval, bool oneAtATime)
        : m_boxWidth(boxWidth), m_boxHeight(boxHeight), m_interval(interval),
          m_oneAtATime(oneAtATime) {}
    int BoxWidth() const override { return m_boxWidth; }
    int BoxHeight() const override { return m_boxHeight; }
    std::chrono::nanoseconds MinInterval() const override { return m_interval; }
    // A window that never gets to paint: its first picture is never shown.
    bool ReadyForFrame() const override { return !m_oneAtATime || count() == 0; }

private:
    int m_boxWidth;
    int m_boxHeight;
    std::chrono::nanoseconds m_interval;
    bool m_oneAtATime;
};

TEST(ViewBox, PicturesFitTheBoxKeepingTheirShape) {
    struct Case {
        int w, h, boxW, boxH, outW, outH;
    };
    const Case cases[] = {
        {640, 480, 270, 200, 266, 200}, // height-bound
        {640, 480, 270, 300, 270, 202}, // width-bound
        {320, 240, 640, 480, 640, 480}, // scaled up to fill the box
        {640, 480, 0, 0, 640, 480},     // no box: its own size
        {1000, 10, 50, 50, 50, 1},      // never below one line
    };
    for (const Case& c : cases) {
        int w = 0;
        int h = 0;
        WmViewCollection::FitInBox(c.w, c.h, c.boxW, c.boxH, w, h);
        EXPECT_EQ(w, c.outW) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
        EXPECT_EQ(h, c.outH) << c.w << "x" << c.h << " in " << c.boxW << "x" << c.boxH;
    }
}

// Pictures are made only for views that can show them, at their size: a view that takes
// every picture gets all of them, one that refreshes once an hour or never paints gets
// exactly one.
TEST_F(VideoEncode, ViewsTakeOnlyThePicturesTheirWindowsCanShow) {
    const fs::path in = s_dir->file("clip.avi");
    const fs::path out = m_out.file("views.wmv");
    WmEncoderControl enc(kProfiles, "");
    WmDataView everyPicture;
    WmDataView hourly;
    WmDataView neverPainted;
    WmDataView postview;
    WindowSink everySink(100, 100, std::chrono::nanoseconds(0), false);
    WindowSink hourlySink(200, 200, std::chrono::hours(1), false);
    WindowSink neverSink(160, 120, std::chrono::nanoseconds(0), true);
    WindowSink postSink(120, 120, std::chrono::nanoseconds(0), false);
    const int profile = indexOf(enc, kBroadband);
    ASSERT_GE(profile, 0);
    enc.PrepareForFile();
    WmSourceGroup& group = enc.AddSourceGroup();
    group.SetInput("FILE://" + in.string());
    group.AddVideoSource("FILE://" + in.string(), &everyPicture, &postview);
    // More views on the same preview, as further windows would add.
    hourly.Attach(*group.GetVideoSource(), WmVideoSource::kPreview);
    neverPainted.Attach(*group.GetVideoSource(), WmVideoSource::kPreview);
    group.SetProfile(enc.GetProfile(profile));
    group.Activate();
    enc.SetOutputFile(out.string());
    for (auto [view, sink] : {std::pair{&everyPicture, &everySink},
                              {&hourly, &hourlySink},
                              {&neverPainted, &neverSink},
                              {&postview, &postSink}}) {
        view->SetWindow(sink);
        view->StartView();
    }
    enc.Start();
    ASSERT_TRUE(waitStopped(enc));
    for (WmDataView* view : {&everyPicture, &hourly, &neverPainted, &postview})
        view->StopView();
    ASSERT_EQ(enc.GetLastErrorCode(), 0u) << GetErrorText(enc.GetLastErrorCode());

    // The clip's 3 s at 25 pictures a second.
    const int pictures = 75;
    EXPECT_EQ(everySink.count(), pictures);
    EXPECT_EQ(everySink.width(), 100);
    EXPECT_EQ(everySink.height(), 75);
    EXPECT_TRUE(everySink.varied());
    EXPECT_EQ(hourlySink.count(), 1);
    EXPECT_EQ(hourlySink.width(), 200);
    EXPECT_EQ(hourlySink.height(), 150);
    EXPECT_EQ(neverSink.count(), 1);
    EXPECT_EQ(neverSink.width(), 160);
    // The postview decodes what was written, on its own thread; one that falls behind
    // skips ahead to the next key picture, so it may get fewer.
    EXPECT_GE(postSink.count(), 1);
    EXPECT_LE(postSink.count(), pictures);
    EXPECT_EQ(postSink.width(), 120);
    EXPECT_EQ(postSink.height(), 90);
    EXPECT_TRUE(postSink.varied());
}

TEST_F(VideoEncode, ViewsGetNothingOnceStoppedAndGroupsCountOn) {
    WmEncoderControl enc(kProfiles, "");
    const fs::path in = s_dir->file("clip.avi");
    WmDataView preview;
    CountingSink sink;
    ASSERT_NO_FATAL_FAILURE(StartConversion(enc, "FILE://" + in.string(), "FILE://" + in.string(),
                                            m_out.file("a.wmv"), &preview, nullptr));
    EXPECT_GE(preview.GetCookie(), 0);
    preview.SetWindow(&sink);
    preview.StartView();
    preview.StartView(); // a running view restarts
    EXPECT_TRUE(preview.IsRunning());
    codectest::waitWhile([&] { return sink.count() < 3; });
    preview.StopView();
    EXPECT_FALSE(preview.IsRunning());
    EXPECT_EQ(preview.GetCookie(), -1);
    const int seen = sink.count();
    ASSERT_TRUE(waitStopped(enc));
    EXPECT_EQ(sink.count(), seen);
    preview.StopView(); // a stopped view: nothing happens

    // A view without a source cannot start; the source groups keep counting.
    WmDataView loose;
    EXPECT_EQ(codeOf([&] { loose.StartView(); }), cld::wmerr::kPointer);
    const std::string first = enc.AddSourceGroup().GetName();
    const std::string second = enc.AddSourceGroup().GetName();
    EXPECT_EQ(std::stoul(second.substr(second.find('#') + 1)),
              std::stoul(first.substr(first.find('#') + 1)) + 1);
    WmVideoSource source("FILE://x");
    EXPECT_EQ(codeOf([&] { loose.Attach(source, 3); }), cld::wmerr::kInvalidArg);
}

TEST_F(VideoEncode, StopKeepsAPlayablePartialFile) {
    cldtest::TempDir dir;
    const fs::path in = dir.file("long.avi");
    makeClip(in, "avi", 20.0);
    const fs::path out = m_out.file("partial.wmv");
    WmEncoderControl enc(kProfiles, "");
    ASSERT_NO_FATAL_FAILURE(StartConversion(enc, "FILE://" + in.string(), "FILE://" + in.string(),
                                            out, nullptr, nullptr));
    codectest::waitWhile([&] { return enc.GetStatistics().encodedMilliseconds < 1000; });
    enc.Stop();
    EXPECT_EQ(enc.GetRunState(), WmEncoderControl::kStopped);
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(probeField(out, "format", "format_name"), "asf");
    EXPECT_EQ(probeField(out, "v", "codec_name"), "wmv2");
    const double d = probeDuration(out);
    EXPECT_GT(d, 0.5);
    EXPECT_LT(d, 19.0);
}

TEST_F(VideoEncode, BadInputsFailAtStartAndCreateNoOutput) {
    cldtest::TempDir dir;
    std::vector<uint8_t> junk(200000);
    uint32_t x = 12345;
    for (auto& b : junk) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    codectest::writeFile(dir.file("junk.avi"), junk);
    codectest::writeWav(dir.file("sound.wav"), codectest::makeSignal(44100, 44100, 2), 44100, 2);

    struct Case {
        std::string input;
        uint32_t code;
    };
    const std::vector<Case> cases{
        {"FILE://" + dir.file("junk.avi").string(), cld::wmerr::kInputOpen},
        {"FILE://" + dir.file("missing.avi").string(), cld::wmerr::kInputOpen},
        {"FILE://" + dir.file("sound.wav").string(), cld::wmerr::kNoVideo},
        {"FILE://" + dir.path().string(), cld::wmerr::kInputOpen},
        {"HTTP://example.invalid/clip.avi", cld::wmerr::kInputOpen},
        {"DEVICE:///dev/video97", cld::wmerr::kDeviceMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        WmEncoderControl enc(kProfiles, "");
        const fs::path out = dir.file("out.wmv");
        EXPECT_EQ(codeOf([&] { StartConversion(enc, c.input, c.input, out, nullptr, nullptr); }),
                  c.code);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_EQ(enc.GetRunState(), WmEncoderControl::kStopped);
        EXPECT_FALSE(GetErrorText(c.code).empty());
    }
    EXPECT_EQ(cld::getMediaDuration(dir.file("junk.avi").string()), 0);
    EXPECT_EQ(cld::getMediaDuration(dir.file("missing.avi").string()), 0);

    // An audio-only profile cannot encode a video source.
    WmEncoderControl enc(kProfiles, "");
    const std::string clip = "FILE://" + s_dir->file("clip.avi").string();
    enc.PrepareForFile();
    WmSourceGroup& group = enc.AddSourceGroup();
    group.SetInput(clip);
    group.AddVideoSource(clip, nullptr, nullptr);
    group.SetProfile(enc.GetProfile(indexOf(enc, "Audio for voice (32 Kbps mono)")));
    group.Activate();
    enc.SetOutputFile(dir.file("voice.wmv").string());
    EXPECT_EQ(codeOf([&] { enc.Start(); }), cld::wmerr::kNoVideoStream);
}

TEST_F(VideoEncode, ScreenCaptureUnderXvfbGivesAWmvAndDeadDisplaysFail) {
    if (!cldtest::haveTool("Xvfb"))
        GTEST_SKIP() << "Xvfb is not installed";
    XvfbServer x;
    ASSERT_TRUE(x.running());
    cldtest::ScopedEnv display("DISPLAY", x.display());

    WmEncoderControl enc(kProfiles, "");
    bool screen = false;
    bool alsa = false;
    for (int i = 0; i < enc.GetSourcePluginCount(); ++i) {
        const WmSourcePluginInfo p = enc.GetSourcePluginInfo(i);
        if (p.scheme == "ScreenCap" && p.name == kScreenPluginName) {
            screen = true;
            EXPECT_EQ(p.mediaTypes, WmSourcePluginInfo::kVideo);
            EXPECT_FALSE(p.hasResources);
        }
        if (p.name == kAlsaPluginName) {
            alsa = true;
            EXPECT_EQ(p.scheme, "DEVICE");
            EXPECT_EQ(p.mediaTypes, WmSourcePluginInfo::kAudio);
        }
    }
    EXPECT_TRUE(screen);
    EXPECT_TRUE(alsa);
    EXPECT_EQ(codeOf([&] { enc.GetSourcePluginInfo(enc.GetSourcePluginCount()); }),
              cld::wmerr::kInvalidArg);

    const fs::path out = m_out.file("screen.wmv");
    WmDataView preview;
    CountingSink sink;
    ASSERT_NO_FATAL_FAILURE(StartConversion(enc, "DEVICE://null",
                                            std::string("ScreenCap://") + kScreenPluginName, out,
                                            &preview, nullptr));
    preview.SetWindow(&sink);
    preview.StartView();
    // Three seconds of the screen, as the encoder counts them, and the views fed meanwhile.
    EXPECT_TRUE(cldtest::waitUntil([&] {
        return enc.GetRunState() != WmEncoderControl::kRunning ||
               (enc.GetStatistics().encodedMilliseconds >= 3000 && sink.count() > 20);
    }));
    EXPECT_EQ(enc.GetRunState(), WmEncoderControl::kRunning);
    EXPECT_GE(enc.GetStatistics().encodedMilliseconds, 3000);
    enc.Stop();
    const WmStatistics stopped = enc.GetStatistics();
    EXPECT_EQ(enc.GetLastErrorCode(), 0u) << GetErrorText(enc.GetLastErrorCode());
    EXPECT_EQ(probeField(out, "format", "format_name"), "asf");
    EXPECT_EQ(probeField(out, "v", "codec_name"), "wmv2");
    EXPECT_EQ(probeField(out, "a", "codec_name"), "wmav2");
    EXPECT_NEAR(probeDuration(out), stopped.encodedMilliseconds / 1000.0, 1.0);
    EXPECT_GT(sink.count(), 20);
    EXPECT_EQ(sink.width(), 320);

    // The display goes away while recording: the encoder ends by itself with its reason
    // and the file written so far stays playable.
    const fs::path cut = m_out.file("cut.wmv");
    WmEncoderControl enc4(kProfiles, "");
    ASSERT_NO_FATAL_FAILURE(StartConversion(enc4, "DEVICE://null",
                                            std::string("ScreenCap://") + kScreenPluginName, cut,
                                            nullptr, nullptr));
    // The display goes once a second of it is in the file.
    EXPECT_TRUE(cldtest::waitUntil([&] {
        return enc4.GetRunState() != WmEncoderControl::kRunning ||
               enc4.GetStatistics().encodedMilliseconds >= 1000;
    }));
    x.stop();
    EXPECT_TRUE(waitStopped(enc4));
    EXPECT_EQ(enc4.GetLastErrorCode(), cld::wmerr::kDeviceLost);
    EXPECT_EQ(probeField(cut, "v", "codec_name"), "wmv2");
    EXPECT_GT(probeDuration(cut), 0.5);

    // A display nobody serves, and a sound device that does not exist.
    {
        cldtest::ScopedEnv dead("DISPLAY", ":7391");
        WmEncoderControl enc2(kProfiles, "");
        EXPECT_EQ(codeOf([&] {
                      StartConversion(enc2, "DEVICE://null", "ScreenCap://X", m_out.file("d.wmv"),
                                      nullptr, nullptr);
                  }),
                  cld::wmerr::kNoDisplay);
    }
    WmEncoderControl enc3(kProfiles, "");
    EXPECT_EQ(codeOf([&] {
                  StartConversion(enc3, "DEVICE://no_such_pcm_device",
                                  "FILE://" + s_dir->file("clip.avi").string(), m_out.file("e.wmv"),
                                  nullptr, nullptr);
              }),
              cld::wmerr::kDeviceMissing);
    EXPECT_FALSE(fs::exists(m_out.file("e.wmv")));
}

} // namespace

namespace {

// 60 pictures of 160x120 in Windows Media Video 8, a key picture every 20, as packets.
std::vector<AVPacket*> encodedPictures(AVCodecParameters* par) {
    std::vector<AVPacket*> packets;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
    AVCodecContext* enc = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!enc)
        return packets;
    enc->width = 160;
    enc->height = 120;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = {1, 30};
    enc->gop_size = 20;
    enc->bit_rate = 300000;
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    if (avcodec_open2(enc, codec, nullptr) == 0 && frame && pkt) {
        avcodec_parameters_from_context(par, enc);
        frame->format = enc->pix_fmt;
        frame->width = enc->width;
        frame->height = enc->height;
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i <= 60; ++i) {
            AVFrame* in = nullptr;
            if (i < 60) {
                av_frame_make_writable(frame);
                for (int plane = 0; plane < 3; ++plane)
                    for (int y = 0; y < (plane ? 60 : 120); ++y)
                        for (int x = 0; x < (plane ? 80 : 160); ++x)
                            frame->data[plane][y * frame->linesize[plane] + x] =
                                static_cast<uint8_t>(x * 3 + y + i * 5 + plane * 40);
                frame->pts = i;
                in = frame;
            }
            avcodec_send_frame(enc, in);
            while (avcodec_receive_packet(enc, pkt) == 0) {
                packets.push_back(av_packet_clone(pkt));
                av_packet_unref(pkt);
            }
        }
    }
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&enc);
    return packets;
}

// The pictures a postview shows of those packets, with the given share of the processor.
int postviewPictures(const std::vector<AVPacket*>& packets, const AVCodecParameters* par,
                     double share) {
    auto views = std::make_shared<WmViewCollection>();
    CountingSink sink;
    const int cookie = views->Add();
    views->SetSink(cookie, &sink);
    views->SetRunning(cookie, true);
    cld::PostviewDecoder decoder(views, par, AVRational{1, 30});
    EXPECT_TRUE(decoder.usable());
    decoder.setCpuShare(share);
    for (const AVPacket* p : packets) {
        decoder.push(p);
        // The first picture is decoded before the next packet comes, so that the decoder
        // has used some time of its own.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (share > 0 && decoder.decodeCpu() == 0 && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    decoder.finish();
    views->SetRunning(cookie, false);
    return sink.count();
}

} // namespace

// Without a limit the postview shows every picture it keeps up with; with its share of
// the processor used up it shows only the key pictures, which it never skips.
TEST(Postview, AShareOfTheProcessorLeavesOnlyTheKeyPictures) {
    AVCodecParameters* par = avcodec_parameters_alloc();
    ASSERT_NE(par, nullptr);
    const std::vector<AVPacket*> packets = encodedPictures(par);
    ASSERT_EQ(packets.size(), 60u);
    int keys = 0;
    for (const AVPacket* p : packets)
        keys += (p->flags & AV_PKT_FLAG_KEY) != 0;
    EXPECT_EQ(keys, 3);
    EXPECT_EQ(postviewPictures(packets, par, 0), 60);
    // A share too small for any decoding: each key picture still shows, nothing else.
    EXPECT_EQ(postviewPictures(packets, par, 1e-9), keys);
    for (AVPacket* p : packets) {
        AVPacket* owned = p;
        av_packet_free(&owned);
    }
    avcodec_parameters_free(&par);
}
