// Runs one codec job from the command line, for the benchmark and for trying files by
// hand:
//   codec_tool mp3-encode IN.wav OUT.mp3 [cbr KBPS | vbr | abr KBPS] [quality Q]
//   codec_tool mp3-decode IN.mp3 OUT.wav
//   codec_tool wma-encode IN OUT.wma PROFILE-FOLDER "PROFILE NAME"
//   codec_tool wma-decode IN.wma OUT.wav
#include "GetErrorText.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "WMException.h"
#include "WmaDecodeJob.h"
#include "WmaEncodeJob.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

void WaitIdle(const CodecJob& job) {
    while (job.IsRunning())
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

int Usage() {
    std::fprintf(stderr, "usage: codec_tool mp3-encode|mp3-decode|wma-encode|wma-decode IN OUT "
                         "[options]\n");
    return 2;
}

int Mp3Encode(int argc, char** argv) {
    Mp3EncoderParams p; // automatic channels, quality 1, CBR 128: the settings' defaults
    for (int i = 4; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "cbr" && i + 1 < argc) {
            p.vbrMethod = 0;
            p.bitrate = std::atoi(argv[++i]);
        } else if (a == "vbr") {
            p.vbrMethod = 3;
        } else if (a == "abr" && i + 1 < argc) {
            p.vbrMethod = 2;
            p.abrMeanBitrate = std::atoi(argv[++i]);
        } else if (a == "quality" && i + 1 < argc) {
            p.quality = std::atoi(argv[++i]);
        } else if (a == "vbrq" && i + 1 < argc) {
            p.vbrQuality = std::atoi(argv[++i]);
        } else if (a == "min" && i + 1 < argc) {
            p.bitrate = std::atoi(argv[++i]);
        } else {
            return Usage();
        }
    }
    Mp3EncodeJob job;
    job.SetParams(p);
    job.SetInput(argv[2]);
    job.SetOutput(argv[3]);
    if (!job.Start()) {
        std::fprintf(stderr, "start failed: %d\n", job.GetErrorCode());
        return 1;
    }
    WaitIdle(job);
    return job.GetErrorCode() == 0 ? 0 : 1;
}

int Mp3Decode(char** argv) {
    Mp3DecodeJob job;
    job.SetInput(argv[2]);
    job.SetOutput(argv[3]);
    if (!job.Start()) {
        std::fprintf(stderr, "start failed: %d\n", job.GetErrorCode());
        return 1;
    }
    WaitIdle(job);
    return job.GetErrorCode() == 0 ? 0 : 1;
}

int WmaEncode(int argc, char** argv) {
    if (argc < 6)
        return Usage();
    try {
        auto enc = std::make_unique<WmEncoderControl>(argv[4], "");
        int index = -1;
        for (int i = 0; i < enc->GetProfileCount(); ++i) {
            if (enc->GetProfileInfo(i).name == argv[5])
                index = i;
        }
        if (index < 0) {
            std::fprintf(stderr, "no profile named \"%s\"\n", argv[5]);
            return 1;
        }
        WmaEncodeJob job(std::move(enc));
        job.SetProfileIndex(index);
        job.EncodeFile(argv[2], argv[3]);
        while (job.IsEncoding())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (job.GetLastErrorCode() != 0) {
            std::fprintf(stderr, "%s\n", GetErrorText(job.GetLastErrorCode()).c_str());
            return 1;
        }
    } catch (const WMException& e) {
        std::fprintf(stderr, "%s\n", GetErrorText(e.GetCode()).c_str());
        return 1;
    }
    return 0;
}

int WmaDecode(char** argv) {
    WmaDecodeJob job;
    if (!job.Open(argv[2], argv[3]) || !job.Start()) {
        std::fprintf(stderr, "failed: %d\n", job.GetErrorCode());
        return 1;
    }
    WaitIdle(job);
    return job.GetErrorCode() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4)
        return Usage();
    const std::string mode = argv[1];
    if (mode == "mp3-encode")
        return Mp3Encode(argc, argv);
    if (mode == "mp3-decode")
        return Mp3Decode(argv);
    if (mode == "wma-encode")
        return WmaEncode(argc, argv);
    if (mode == "wma-decode")
        return WmaDecode(argv);
    return Usage();
}
