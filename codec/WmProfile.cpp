#include "WmProfile.h"

#include "WMException.h"
#include "WmErrors.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr size_t kMaxProfileBytes = 64 * 1024;
constexpr size_t kMaxStreams = 16;

[[noreturn]] void damaged() {
    throw WMException(cld::wmerr::kProfileInvalid);
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

int64_t number(const std::string& v, int64_t lo, int64_t hi) {
    int64_t n = 0;
    const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    if (ec != std::errc() || p != v.data() + v.size() || n < lo || n > hi)
        damaged();
    return n;
}

void check(const WmStreamConfig& s) {
    using T = WmStreamConfig::Type;
    if (s.type == T::Audio) {
        if ((s.codec != "wmav2" && s.codec != "wmav1") || s.bitrate == 0 || s.sampleRate == 0 ||
            s.channels == 0)
            damaged();
    } else if (s.type == T::Video) {
        if ((s.codec != "wmv2" && s.codec != "wmv1") || s.bitrate == 0 || s.width == 0 ||
            s.height == 0 || s.fps == 0 || s.width % 2 || s.height % 2)
            damaged();
    }
}

} // namespace

WmProfile WmProfile::Parse(const std::string& text) {
    if (text.size() > kMaxProfileBytes)
        damaged();
    WmProfile p;
    std::istringstream in(text);
    std::string line;
    enum class Section { None, Profile, Stream } section = Section::None;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            const std::string name = lower(line);
            if (name == "[profile]") {
                section = Section::Profile;
            } else if (name == "[stream]") {
                if (p.m_streams.size() >= kMaxStreams)
                    damaged();
                p.m_streams.emplace_back();
                section = Section::Stream;
            } else {
                damaged();
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            damaged();
        const std::string key = lower(trim(line.substr(0, eq)));
        const std::string value = trim(line.substr(eq + 1));
        if (section == Section::Profile) {
            if (key == "name")
                p.m_name = value;
            else if (key == "description")
                p.m_description = value;
        } else if (section == Section::Stream) {
            WmStreamConfig& s = p.m_streams.back();
            if (key == "type") {
                const std::string t = lower(value);
                if (t == "audio")
                    s.type = WmStreamConfig::Type::Audio;
                else if (t == "video")
                    s.type = WmStreamConfig::Type::Video;
                else if (t == "script")
                    s.type = WmStreamConfig::Type::Script;
                else
                    damaged();
            } else if (key == "codec") {
                s.codec = lower(value);
            } else if (key == "bitrate") {
                s.bitrate = number(value, 8000, 20000000);
            } else if (key == "samplerate") {
                s.sampleRate = static_cast<int>(number(value, 8000, 48000));
            } else if (key == "channels") {
                s.channels = static_cast<int>(number(value, 1, 2));
            } else if (key == "width") {
                s.width = static_cast<int>(number(value, 16, 1920));
            } else if (key == "height") {
                s.height = static_cast<int>(number(value, 16, 1088));
            } else if (key == "fps") {
                s.fps = static_cast<int>(number(value, 1, 60));
            }
        } else {
            damaged();
        }
    }
    if (p.m_name.empty() || p.m_streams.empty())
        damaged();
    for (const auto& s : p.m_streams)
        check(s);
    return p;
}

WmProfile WmProfile::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw WMException(cld::wmerr::kProfileInvalid);
    std::string text(kMaxProfileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    WmProfile p = Parse(text);
    p.m_path = path;
    return p;
}

std::vector<WmProfile> WmProfile::LoadCollection(const std::string& systemFolder,
                                                 const std::string& userFolder,
                                                 std::vector<std::string>* errors) {
    std::vector<WmProfile> result;
    std::set<std::string> names;
    for (const std::string& folder : {systemFolder, userFolder}) {
        if (folder.empty())
            continue;
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (lower(it->path().extension().string()) == ".prx" && it->is_regular_file(ec))
                files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        std::vector<WmProfile> loaded;
        for (const auto& f : files) {
            try {
                loaded.push_back(Load(f.string()));
            } catch (const WMException&) {
                if (errors)
                    errors->push_back(f.string());
            }
        }
        // Audio-only profiles first, each kind from the lowest bitrate up.
        std::stable_sort(loaded.begin(), loaded.end(), [](const auto& a, const auto& b) {
            const int va = a.CountStreams(WmStreamConfig::Type::Video);
            const int vb = b.CountStreams(WmStreamConfig::Type::Video);
            if ((va > 0) != (vb > 0))
                return va == 0;
            return a.GetTotalBitrate() < b.GetTotalBitrate();
        });
        for (auto& p : loaded) {
            if (names.insert(p.GetName()).second)
                result.push_back(std::move(p));
        }
    }
    return result;
}

int WmProfile::CountStreams(WmStreamConfig::Type type) const {
    return static_cast<int>(std::count_if(m_streams.begin(), m_streams.end(),
                                          [type](const auto& s) { return s.type == type; }));
}

const WmStreamConfig* WmProfile::FindStream(WmStreamConfig::Type type) const {
    for (const auto& s : m_streams) {
        if (s.type == type)
            return &s;
    }
    return nullptr;
}

int64_t WmProfile::GetTotalBitrate() const {
    int64_t total = 0;
    for (const auto& s : m_streams)
        total += s.bitrate;
    return total;
}

std::string WmProfile::ToText() const {
    std::ostringstream out;
    out << "[Profile]\nName=" << m_name << "\nDescription=" << m_description << "\n";
    for (const auto& s : m_streams) {
        out << "\n[Stream]\nType="
            << (s.type == WmStreamConfig::Type::Audio   ? "Audio"
                : s.type == WmStreamConfig::Type::Video ? "Video"
                                                        : "Script")
            << "\n";
        if (!s.codec.empty())
            out << "Codec=" << s.codec << "\n";
        if (s.bitrate)
            out << "Bitrate=" << s.bitrate << "\n";
        if (s.sampleRate)
            out << "SampleRate=" << s.sampleRate << "\nChannels=" << s.channels << "\n";
        if (s.width)
            out << "Width=" << s.width << "\nHeight=" << s.height << "\nFPS=" << s.fps << "\n";
    }
    return out.str();
}
