#include "EngineFixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/wait.h>

namespace enginetest {

std::vector<std::uint8_t> tone(std::size_t frames, int channels, int rate) {
    std::vector<std::uint8_t> out(frames * static_cast<std::size_t>(channels) * 2);
    std::uint32_t noise = 2463534242u;
    std::size_t at = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double t = static_cast<double>(i) / rate;
            const double v = 20000.0 * std::sin(2 * M_PI * (440.0 + 110.0 * c) * t) +
                             static_cast<double>(static_cast<int>(noise % 2001) - 1000);
            const auto s = static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
            out[at++] = static_cast<std::uint8_t>(s & 0xFF);
            out[at++] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
        }
    }
    return out;
}

std::string run(const std::string& command, int& status) {
    std::string out;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    const int s = pclose(pipe);
    status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return out;
}

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string quoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string()) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string probe(const std::filesystem::path& file, const std::string& entry) {
    int status = 0;
    std::string out = run("ffprobe -v error -select_streams a:0 -show_entries " + entry +
                              " -of default=noprint_wrappers=1:nokey=1 " + quoted(file),
                          status);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return status == 0 ? out : std::string();
}

} // namespace enginetest
