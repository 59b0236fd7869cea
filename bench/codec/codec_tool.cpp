// Runs one codec job from the command line, for the benchmark, for scripts and for trying
// files by hand. It is a developer's tool; the program is the product.
//
//   codec_tool mp3-encode IN.wav OUT.mp3 [cbr KBPS | vbr | abr KBPS] [quality Q] [vbrq Q]
//              [min KBPS] [mode stereo|joint|ms|mono|auto]
//              [title T] [artist A] [album A] [year Y] [comment C] [track N] [genre N]
//   codec_tool mp3-decode IN.mp3 OUT.wav
//   codec_tool wma-encode IN OUT.wma PROFILE-FOLDER "PROFILE NAME"
//              [author A] [title T] [copyright C] [description D] [rating R]
//   codec_tool wma-decode IN.wma OUT.wav
//   codec_tool wmv IN.avi OUT.wmv PROFILE-FOLDER ["PROFILE NAME"]   (first video profile
//              when no name is given; the display options of wma-encode apply)
//   codec_tool id3 FILE.mp3                                         (prints the ID3 v1 tag)
//
// Every command also takes "progress", which prints a progress line to standard error
// about four times a second. A failure prints what went wrong and exits with 1; wrong
// arguments exit with 2. FFmpeg's own messages stay quiet unless CLD_FFMPEG_LOG=verbose.
#include "GetErrorText.h"
#include "Id3v1Tag.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"
#include "WMException.h"
#include "WmaDecodeJob.h"
#include "WmaEncodeJob.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr, "usage: codec_tool mp3-encode|mp3-decode|wma-encode|wma-decode|wmv IN OUT "
                         "[options] [progress]\n"
                         "       codec_tool id3 FILE.mp3\n");
    return 2;
}

// Command-line words after IN and OUT: "name value" pairs and single flags.
struct Options {
    std::vector<std::string> positional; // words that are neither
    std::map<std::string, std::string> values;
    bool progress = false;

    // Whether the option was given. Never looked up with values[...]: that would add the
    // option, and a later has() would find it.
    bool has(const std::string& key) const { return values.count(key) != 0; }
    // The option's value, or "" when it was not given.
    std::string value(const std::string& key) const {
        const auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    }
};

bool parseOptions(int argc, char** argv, int first, const std::vector<std::string>& withValue,
                  const std::vector<std::string>& flags, Options& out) {
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "progress") {
            out.progress = true;
        } else if (std::find(withValue.begin(), withValue.end(), a) != withValue.end()) {
            if (i + 1 >= argc)
                return false;
            out.values[a] = argv[++i];
        } else if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
            out.values[a] = "1";
        } else {
            out.positional.push_back(a);
        }
    }
    return true;
}

bool parseInt(const std::string& text, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < -1000000 || v > 1000000)
        return false;
    value = static_cast<int>(v);
    return true;
}

// What a job's error code means, by the kind of job.
std::string codeText(const std::string& kind, int code) {
    switch (code) {
    case CodecJob::kErrInput:
        return kind == "mp3-encode" ? "the input cannot be opened as an audio file"
                                    : "the input file cannot be opened";
    case CodecJob::kErrOutput:
        return "the output file cannot be created or written";
    case CodecJob::kErrEncoder:
        return kind == "mp3-encode" ? "the encoder refused the parameters"
                                    : "the input has no audio";
    case CodecJob::kErrHeader:
        return kind == "mp3-decode" ? "no MPEG audio found in the input"
                                    : "the WAV file cannot take the audio's format";
    case CodecJob::kErrStart:
        return "the reader did not start";
    default:
        return "unknown failure";
    }
}

int fail(const std::string& kind, int code, uint32_t detail) {
    std::string text =
        "codec_tool: " + kind + " failed (" + std::to_string(code) + "): " + codeText(kind, code);
    if (detail != 0)
        text += ": " + GetErrorText(detail);
    std::fprintf(stderr, "%s\n", text.c_str());
    return 1;
}

int failWm(const std::string& kind, uint32_t code) {
    std::fprintf(stderr, "codec_tool: %s failed (0x%08X): %s\n", kind.c_str(), code,
                 GetErrorText(code).c_str());
    return 1;
}

// Polls until `busy` turns false, printing `line()` every 250 ms when asked to: on a
// terminal the line is redrawn in place, otherwise each one is a line of its own.
void wait(const std::function<bool()>& busy, bool progress,
          const std::function<std::string()>& line) {
    const bool tty = isatty(STDERR_FILENO) != 0;
    auto next = std::chrono::steady_clock::now();
    while (busy()) {
        if (progress && std::chrono::steady_clock::now() >= next) {
            std::fprintf(stderr, tty ? "\r%s   " : "%s\n", line().c_str());
            next += std::chrono::milliseconds(250);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (progress)
        std::fprintf(stderr, tty ? "\r%s   \n" : "%s\n", line().c_str());
}

std::string jobLine(const CodecJob& job) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "progress %3d%%  %u s left  %u KB/s", job.GetProgress(),
                  job.GetRemainingSeconds(), job.GetKilobytesPerSecond());
    return buf;
}

// The mp3-encode options that fill the ID3 v1 tag.
constexpr const char* kTagOptions[] = {"title",   "artist", "album", "year",
                                       "comment", "track",  "genre"};

int mp3Encode(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, 4,
                      {"cbr", "abr", "quality", "vbrq", "min", "mode", "title", "artist", "album",
                       "year", "comment", "track", "genre"},
                      {"vbr"}, o) ||
        !o.positional.empty())
        return usage();
    Mp3EncoderParams p; // automatic channels, quality 1, CBR 128: the settings' defaults
    auto number = [&o](const char* key, int32_t& field) {
        int v = 0;
        if (!o.has(key))
            return true;
        if (!parseInt(o.value(key), v))
            return false;
        field = v;
        return true;
    };
    if (o.has("cbr"))
        p.vbrMethod = 0;
    if (o.has("vbr"))
        p.vbrMethod = 3;
    if (o.has("abr"))
        p.vbrMethod = 2;
    if (!number("cbr", p.bitrate) || !number("abr", p.abrMeanBitrate) ||
        !number("quality", p.quality) || !number("vbrq", p.vbrQuality) || !number("min", p.bitrate))
        return usage();
    if (o.has("mode")) {
        static const std::map<std::string, int> kModes = {
            {"stereo", 0}, {"joint", 1}, {"ms", 2}, {"mono", 3}, {"auto", 4}};
        const auto it = kModes.find(o.value("mode"));
        if (it == kModes.end())
            return usage();
        p.channelMode = it->second;
    }
    // The file gets a tag only when a tag field was given.
    Id3v1Tag tag;
    tag.title = o.value("title");
    tag.artist = o.value("artist");
    tag.album = o.value("album");
    tag.year = o.value("year");
    tag.comment = o.value("comment");
    if (!number("track", tag.track) || !number("genre", tag.genre))
        return usage();
    const bool tagged = std::any_of(std::begin(kTagOptions), std::end(kTagOptions),
                                    [&o](const char* key) { return o.has(key); });

    Mp3EncodeJob job;
    job.SetParams(p);
    job.SetInput(argv[2]);
    job.SetOutput(argv[3]);
    if (!job.Start())
        return fail("mp3-encode", job.GetErrorCode(), job.GetErrorDetail());
    wait([&] { return job.IsRunning(); }, o.progress, [&] { return jobLine(job); });
    if (job.GetErrorCode() != 0)
        return fail("mp3-encode", job.GetErrorCode(), job.GetErrorDetail());
    if (tagged && tag.Write(argv[3]) != 1) {
        std::fprintf(stderr, "codec_tool: the ID3 tag could not be written to %s\n", argv[3]);
        return 1;
    }
    return 0;
}

int mp3Decode(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, 4, {}, {}, o) || !o.positional.empty())
        return usage();
    Mp3DecodeJob job;
    job.SetInput(argv[2]);
    job.SetOutput(argv[3]);
    if (!job.Start())
        return fail("mp3-decode", job.GetErrorCode(), job.GetErrorDetail());
    wait([&] { return job.IsRunning(); }, o.progress, [&] { return jobLine(job); });
    if (job.GetErrorCode() != 0)
        return fail("mp3-decode", job.GetErrorCode(), job.GetErrorDetail());
    return 0;
}

// Encodes with the media encoder: a named profile (or, for video, the first profile with
// a video stream) and the display texts given as options.
int encodeWithProfile(const std::string& kind, int argc, char** argv, bool video) {
    Options o;
    if (argc < 5 ||
        !parseOptions(argc, argv, 5, {"author", "title", "copyright", "description", "rating"}, {},
                      o) ||
        o.positional.size() > 1 || (!video && o.positional.empty()))
        return usage();
    try {
        auto enc = std::make_unique<WmEncoderControl>(argv[4], "");
        int index = -1;
        for (int i = 0; i < enc->GetProfileCount() && index < 0; ++i) {
            const WmProfileInfo info = enc->GetProfileInfo(i);
            if (o.positional.empty() ? info.videoStreams > 0 : info.name == o.positional[0])
                index = i;
        }
        if (index < 0) {
            std::fprintf(stderr, "codec_tool: no %s in %s\n",
                         o.positional.empty()
                             ? "video profile"
                             : ("profile named \"" + o.positional[0] + "\"").c_str(),
                         argv[4]);
            return 1;
        }
        WmEncoderControl& e = *enc;
        WmaEncodeJob job(std::move(enc));
        job.SetProfileIndex(index);
        // The job's own sequence, with every display text the encoder takes.
        e.PrepareForFile();
        WmSourceGroup& group = e.AddSourceGroup();
        group.SetInput(std::string("FILE://") + argv[2]);
        group.Activate();
        group.SetProfile(e.GetProfile(index));
        e.SetOutputFile(argv[3]);
        e.SetDisplayInfo(o.value("author"), o.value("title"), o.value("copyright"),
                         o.value("description"), o.value("rating"));
        e.Start();
        const int64_t bitrate = e.GetStatistics().bitrate;
        wait([&] { return job.IsEncoding(); }, o.progress,
             [&] {
                 const WmStatistics st = e.GetStatistics();
                 char buf[128];
                 std::snprintf(buf, sizeof buf, "encoded %.1f s  %.1f MB  %lld Kbps",
                               static_cast<double>(st.encodedMilliseconds) / 1000.0,
                               static_cast<double>(st.fileSize) / 1024.0 / 1024.0,
                               static_cast<long long>(bitrate / 1000));
                 return std::string(buf);
             });
        if (job.GetLastErrorCode() != 0)
            return failWm(kind, job.GetLastErrorCode());
    } catch (const WMException& e) {
        return failWm(kind, e.GetCode());
    }
    return 0;
}

int wmaDecode(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, 4, {}, {}, o) || !o.positional.empty())
        return usage();
    WmaDecodeJob job;
    if (!job.Open(argv[2], argv[3]) || !job.Start())
        return fail("wma-decode", job.GetErrorCode(), job.GetErrorDetail());
    wait([&] { return job.IsRunning(); }, o.progress, [&] { return jobLine(job); });
    if (job.GetErrorCode() != 0)
        return fail("wma-decode", job.GetErrorCode(), job.GetErrorDetail());
    return 0;
}

// Whether the file ends in an ID3 v1 tag ("TAG" 128 bytes before its end). Id3v1Tag::Load
// also succeeds on a file without one, with every field empty.
bool hasId3v1Tag(const char* path) {
    std::ifstream in(path, std::ios::binary);
    char head[3] = {};
    return in.seekg(-128, std::ios::end) && in.read(head, sizeof head) &&
           std::memcmp(head, "TAG", 3) == 0;
}

int printId3(const char* path) {
    Id3v1Tag tag;
    if (!hasId3v1Tag(path) || !tag.Load(path)) {
        std::fprintf(stderr, "codec_tool: no ID3 v1 tag in %s\n", path);
        return 1;
    }
    std::printf("title=%s\nartist=%s\nalbum=%s\nyear=%s\ncomment=%s\ntrack=%d\ngenre=%d\n",
                tag.title.c_str(), tag.artist.c_str(), tag.album.c_str(), tag.year.c_str(),
                tag.comment.c_str(), tag.track, tag.genre);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "id3") == 0)
        return printId3(argv[2]);
    if (argc < 4)
        return usage();
    const std::string mode = argv[1];
    if (mode == "mp3-encode")
        return mp3Encode(argc, argv);
    if (mode == "mp3-decode")
        return mp3Decode(argc, argv);
    if (mode == "wma-encode")
        return encodeWithProfile(mode, argc, argv, false);
    if (mode == "wmv")
        return encodeWithProfile(mode, argc, argv, true);
    if (mode == "wma-decode")
        return wmaDecode(argc, argv);
    return usage();
}
