#pragma once

#include "AudioTags.h"
#include "MediaTranscoder.h"
#include "VideoTranscoder.h"
#include "WmProfile.h"
#include "WmSourceGroup.h"
#include "WmSourcePlugins.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the profile list shows of one profile.
struct WmProfileInfo {
    std::string name;
    std::string description;
    int audioStreams = 0;
    int videoStreams = 0;
    int scriptStreams = 0;
};

struct WmStatistics {
    int64_t encodedMilliseconds = 0;
    int64_t fileSize = 0; // bytes
    int64_t bitrate = 0;  // bit/s
};

// The media encoder: a profile collection, one source group at a time, an output file
// and its content description. Start() checks and opens everything at once (throwing
// WMException) and then encodes on a thread of its own; the run state is exact from the
// moment Start() returns. Used from one thread (the user-interface thread).
class WmEncoderControl {
public:
    enum RunState { kStarting = 1, kRunning = 2, kPaused = 3, kStopping = 4, kStopped = 5 };

    // The profile collection is the system folder's profiles and then the user folder's.
    WmEncoderControl(std::string systemProfileFolder, std::string userProfileFolder);
    ~WmEncoderControl();
    WmEncoderControl(const WmEncoderControl&) = delete;
    WmEncoderControl& operator=(const WmEncoderControl&) = delete;

    int GetProfileCount() const;
    WmProfileInfo GetProfileInfo(int index) const;
    WmProfile GetProfile(int index) const;
    // Profile files that were left out because they did not parse.
    const std::vector<std::string>& GetDamagedProfiles() const { return m_damaged; }

    // Clears the previous file's output, content description and error.
    void PrepareForFile();
    // A new group named "SOURCE_GROUP #n" (n counts the groups of the process); it
    // replaces the current one. The reference stays valid until the next
    // AddSourceGroup or ReleaseSourceGroup.
    WmSourceGroup& AddSourceGroup();
    void ReleaseSourceGroup();
    bool HasSourceGroup() const { return m_group != nullptr; }
    void SetOutputFile(const std::string& path);
    // Whether a regular file at the output's name may be replaced (true unless set).
    void SetReplaceExisting(bool replace) { m_replaceExisting = replace; }
    const std::string& GetOutputFile() const { return m_output; }
    // Each non-empty text replaces the stored one.
    void SetDisplayInfo(const std::string& author, const std::string& title,
                        const std::string& copyright, const std::string& description,
                        const std::string& rating);
    // The music's names for an audio file (album, album artist, year, genre, track
    // number); they replace the stored ones. The cover is not stored.
    void SetMusicTags(const AudioTags& tags);
    void Start();
    int GetRunState() const;
    // Ends encoding after the current block; the file is complete when this returns.
    void Stop();
    WmStatistics GetStatistics() const;
    // The failure code that ended the last encoding early (0 when none); kept until the
    // next PrepareForFile or Start.
    uint32_t GetLastErrorCode() const;
    // How the last video encoding or recording ended beyond its code: the output's name,
    // a recording kept up to a failure, a file input that ended before its declared
    // length. Kept until the next Start.
    const cld::VideoTranscoder::RunReport& GetLastRunReport() const { return m_lastReport; }

    // The capture inputs: the count asks the device layer again, GetSourcePluginInfo
    // reads from that last listing (throws WMException for an index outside it).
    int GetSourcePluginCount();
    WmSourcePluginInfo GetSourcePluginInfo(int index);

private:
    void ActivateSourceGroup(WmSourceGroup* group);
    void Join();

    std::vector<WmProfile> m_profiles;
    std::vector<std::string> m_damaged;
    std::unique_ptr<WmSourceGroup> m_group;
    WmSourceGroup* m_active = nullptr;
    std::string m_output;
    bool m_replaceExisting = true;
    cld::ContentDescription m_info;

    std::unique_ptr<cld::Transcoder> m_transcoder;
    // The same transcoder when it encodes a video or a recording, for its run report.
    cld::VideoTranscoder* m_videoTranscoder = nullptr;
    std::vector<WmSourcePluginInfo> m_plugins;
    bool m_pluginsListed = false;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_state{kStopped};
    std::atomic<uint32_t> m_error{0};
    WmStatistics m_lastStats;
    cld::VideoTranscoder::RunReport m_lastReport;
};
