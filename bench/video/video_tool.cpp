// Converts one video file to WMV the way the conversion dialog drives the encoder, for
// the benchmark:
//   video_tool PROFILE_FOLDER "PROFILE NAME" INPUT OUTPUT [--views]
// With --views a preview and a postview run and count their pictures.
#include "GetErrorText.h"
#include "IWmFrameSink.h"
#include "WMException.h"
#include "WmDataView.h"
#include "WmEncoderControl.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

class CountingSink : public IWmFrameSink {
public:
    void OnVideoFrame(const WmVideoFrame&) override { ++count; }
    std::atomic<int> count{0};
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: video_tool PROFILE_FOLDER PROFILE INPUT OUTPUT [--views]\n");
        return 2;
    }
    const bool views = argc > 5 && std::strcmp(argv[5], "--views") == 0;
    try {
        WmEncoderControl enc(argv[1], "");
        int profile = -1;
        for (int i = 0; i < enc.GetProfileCount(); ++i) {
            if (enc.GetProfileInfo(i).name == argv[2])
                profile = i;
        }
        if (profile < 0) {
            std::fprintf(stderr, "video_tool: no profile \"%s\"\n", argv[2]);
            return 2;
        }
        WmDataView preview;
        WmDataView postview;
        CountingSink previewSink;
        CountingSink postviewSink;
        const std::string input = std::string("FILE://") + argv[3];
        enc.PrepareForFile();
        WmSourceGroup& group = enc.AddSourceGroup();
        group.SetInput(input);
        group.AddVideoSource(input, views ? &preview : nullptr, views ? &postview : nullptr);
        group.SetProfile(enc.GetProfile(profile));
        group.Activate();
        enc.SetOutputFile(argv[4]);
        enc.Start();
        if (views) {
            preview.SetWindow(&previewSink);
            preview.StartView();
            postview.SetWindow(&postviewSink);
            postview.StartView();
        }
        while (enc.GetRunState() == WmEncoderControl::kRunning)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        preview.StopView();
        postview.StopView();
        if (enc.GetLastErrorCode() != 0) {
            std::fprintf(stderr, "video_tool: %s\n", GetErrorText(enc.GetLastErrorCode()).c_str());
            return 1;
        }
        if (views)
            std::printf("preview %d postview %d\n", previewSink.count.load(),
                        postviewSink.count.load());
    } catch (const WMException& e) {
        std::fprintf(stderr, "video_tool: %s\n", GetErrorText(e.GetCode()).c_str());
        return 1;
    }
    return 0;
}
