#include "MediaFixtures.h"

#include "AudioTags.h"
#include "Mp3DecodeJob.h"
#include "Mp3EncodeJob.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>

namespace codectest {

std::vector<int16_t> makeSignal(int frames, int rate, int channels) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double f1 = c == 0 ? 440.0 : 554.37;
            const double f2 = c == 0 ? 1250.0 : 1875.0;
            const double t = static_cast<double>(i) / rate;
            const double v = 0.45 * std::sin(2 * pi * f1 * t) + 0.25 * std::sin(2 * pi * f2 * t);
            s[static_cast<size_t>(i) * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(v * 32767.0));
        }
    }
    return s;
}

void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool waitWhile(const std::function<bool()>& busy, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (busy()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

namespace {
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
} // namespace

void writeWav(const std::filesystem::path& path, const std::vector<int16_t>& samples, int rate,
              int channels, int bits) {
    const uint32_t bytesPerSample = static_cast<uint32_t>(bits / 8);
    const uint32_t data = static_cast<uint32_t>(samples.size()) * bytesPerSample;
    std::vector<uint8_t> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put32(b, 36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(b, 16);
    put16(b, 1);
    put16(b, static_cast<uint16_t>(channels));
    put32(b, static_cast<uint32_t>(rate));
    put32(b, static_cast<uint32_t>(rate) * static_cast<uint32_t>(channels) * bytesPerSample);
    put16(b, static_cast<uint16_t>(static_cast<uint32_t>(channels) * bytesPerSample));
    put16(b, static_cast<uint16_t>(bits));
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put32(b, data);
    for (int16_t s : samples) {
        if (bits == 8)
            b.push_back(static_cast<uint8_t>((s >> 8) + 128));
        else
            put16(b, static_cast<uint16_t>(s));
    }
    writeFile(path, b);
}

Pcm readWav(const std::filesystem::path& path) {
    const std::vector<uint8_t> b = readFile(path);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0)
        throw std::runtime_error("not a RIFF file: " + path.string());
    Pcm pcm;
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        const uint32_t size = get32(b.data() + pos + 4);
        if (std::memcmp(b.data() + pos, "fmt ", 4) == 0) {
            pcm.channels = get16(b.data() + pos + 10);
            pcm.rate = static_cast<int>(get32(b.data() + pos + 12));
            if (get16(b.data() + pos + 22) != 16)
                throw std::runtime_error("not 16-bit");
        } else if (std::memcmp(b.data() + pos, "data", 4) == 0) {
            const size_t n = std::min<size_t>(size, b.size() - pos - 8) / 2;
            pcm.samples.resize(n);
            std::memcpy(pcm.samples.data(), b.data() + pos + 8, n * 2);
            break;
        }
        pos += 8 + size + (size & 1);
    }
    return pcm;
}

int shell(const std::string& command, std::string* out) {
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) {
        if (out)
            out->append(buf.data(), n);
    }
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quote(const std::filesystem::path& p) {
    std::string s = "'";
    for (char c : p.string()) {
        if (c == '\'')
            s += "'\\''";
        else
            s += c;
    }
    return s + "'";
}

std::map<std::string, std::string> probe(const std::filesystem::path& file,
                                         const std::string& kind) {
    std::string out;
    shell(
        "ffprobe -v error -select_streams " + kind +
            ":0 -show_entries "
            "stream=codec_name,bit_rate,channels,channel_layout,sample_rate,width,height,duration,"
            "start_time:"
            "format=duration,format_name:format_tags -of default=nw=1 " +
            quote(file) + " 2>/dev/null",
        &out);
    std::map<std::string, std::string> m;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        if (key.rfind("TAG:", 0) == 0)
            key = "tag." + key.substr(4);
        else
            key = "stream." + key;
        if (!m.count(key))
            m[key] = line.substr(eq + 1);
    }
    return m;
}

std::optional<std::map<std::string, std::string>> asfAttributes(const std::filesystem::path& file) {
    // The distribution's interpreter first: that is where its python3-mutagen lives.
    static const char* const kScript =
        "import sys\n"
        "from mutagen.asf import ASF\n"
        "f = ASF(sys.argv[1])\n"
        "for k in sorted(set(f.tags.keys())):\n"
        "    print(k + '=' + '; '.join(str(v) for v in f.tags[k]))\n";
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        if (shell(std::string(python) + " -c 'import mutagen' 2>/dev/null") != 0)
            continue;
        std::string out;
        if (shell(std::string(python) + " -c " + quote(kScript) + " " + quote(file), &out) != 0)
            return std::map<std::string, std::string>{};
        std::map<std::string, std::string> m;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            if (eq != std::string::npos)
                m[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return m;
    }
    return std::nullopt;
}

Pcm decodeWithFfmpeg(const std::filesystem::path& file) {
    const auto tmp = std::filesystem::path(file.string() + ".ffdec.wav");
    shell("ffmpeg -v error -y -i " + quote(file) + " -c:a pcm_s16le -f wav " + quote(tmp));
    Pcm pcm = readWav(tmp);
    std::filesystem::remove(tmp);
    return pcm;
}

Alignment align(const Pcm& ref, const Pcm& test, int maxLag) {
    const long ch = ref.channels;
    const long refFrames = static_cast<long>(ref.samples.size()) / ch;
    const long testFrames = static_cast<long>(test.samples.size()) / ch;
    // test frame (i + lag) is compared with ref frame i
    auto at = [&](const Pcm& p, long frame, long c) {
        return static_cast<double>(p.samples[static_cast<size_t>(frame * ch + c)]);
    };
    Alignment best;
    double bestCorr = -1e300;
    const long window = std::min<long>(refFrames, 44100) - maxLag;
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        double corr = 0;
        for (long i = maxLag; i < maxLag + window; ++i) {
            if (i + lag < 0 || i + lag >= testFrames || i >= refFrames)
                continue;
            corr += at(ref, i, 0) * at(test, i + lag, 0);
        }
        if (corr > bestCorr) {
            bestCorr = corr;
            best.lag = static_cast<int>(lag);
        }
    }
    double sig = 0;
    double noise = 0;
    for (long i = 0; i < refFrames; ++i) {
        const long j = i + best.lag;
        if (j < 0 || j >= testFrames)
            continue;
        for (long c = 0; c < ch; ++c) {
            const double r = at(ref, i, c);
            const double t = at(test, j, c);
            sig += r * r;
            noise += (r - t) * (r - t);
        }
    }
    best.snrDb = noise > 0 ? 10 * std::log10(sig / noise) : 200.0;
    return best;
}

std::vector<uint8_t> readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

int encodeMp3WithJob(const std::filesystem::path& wav, const std::filesystem::path& mp3,
                     const Mp3EncoderParams& params, const AudioTags* tags, bool id3v2) {
    Mp3EncodeJob job;
    job.SetParams(params);
    if (tags)
        job.SetTags(*tags);
    job.SetId3v2Tag(id3v2);
    job.SetInput(wav.string());
    job.SetOutput(mp3.string());
    if (!job.Start())
        return job.GetErrorCode();
    if (!waitWhile([&] { return job.IsRunning(); }))
        return -1;
    return job.GetErrorCode();
}

Pcm decodeMp3WithJob(const std::filesystem::path& mp3, const std::filesystem::path& wav) {
    Mp3DecodeJob job;
    job.SetInput(mp3.string());
    job.SetOutput(wav.string());
    if (!job.Start() || !waitWhile([&] { return job.IsRunning(); }) || job.GetErrorCode() != 0)
        return {};
    return readWav(wav);
}

} // namespace codectest
