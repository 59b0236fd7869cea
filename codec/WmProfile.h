#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One stream of a media profile and the codec settings it is written with.
struct WmStreamConfig {
    enum class Type { Audio, Video, Script };
    Type type = Type::Audio;
    std::string codec;   // FFmpeg encoder name: wmav2, wmv2 ...
    int64_t bitrate = 0; // bit/s
    int sampleRate = 0;
    int channels = 0;
    int width = 0;
    int height = 0;
    int fps = 0;
};

// A named, described set of streams, read from a ".prx" file. The file is plain text:
//
//   [Profile]
//   Name=Audio for HI-FI CD-quality (160 Kbps stereo)
//   Description=...
//   [Stream]
//   Type=Audio
//   Codec=wmav2
//   Bitrate=160000
//   SampleRate=44100
//   Channels=2
//
// with one [Stream] section per stream (Type Audio, Video or Script; video streams give
// Width, Height and FPS). Lines starting with '#' or ';' are comments.
class WmProfile {
public:
    // Throws WMException with the damaged-profile code when the text is not a usable
    // profile.
    static WmProfile Parse(const std::string& text);
    static WmProfile Load(const std::string& path);
    // Every profile file of the system folder, then of the user folder, each folder in
    // file-name order; a profile whose name was already listed is skipped. Files that do
    // not parse are left out and named in `errors` when given.
    static std::vector<WmProfile> LoadCollection(const std::string& systemFolder,
                                                 const std::string& userFolder,
                                                 std::vector<std::string>* errors = nullptr);

    const std::string& GetName() const { return m_name; }
    const std::string& GetDescription() const { return m_description; }
    const std::string& GetPath() const { return m_path; }
    const std::vector<WmStreamConfig>& GetStreams() const { return m_streams; }
    int CountStreams(WmStreamConfig::Type type) const;
    // The first stream of the type, or nullptr.
    const WmStreamConfig* FindStream(WmStreamConfig::Type type) const;
    int64_t GetTotalBitrate() const;
    std::string ToText() const;

private:
    std::string m_name;
    std::string m_description;
    std::string m_path;
    std::vector<WmStreamConfig> m_streams;
};
