#pragma once

#include "AudioTags.h"
#include "WmEncoderControl.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

// Drives the media encoder through one file after another for the WMA progress dialog:
// configuration in its fixed order, the run state, abort, and the figures the dialog
// shows. All calls come from one thread; failures of the encoder throw WMException.
class WmaEncodeJob {
public:
    // What a statistics refresh shows.
    struct Figures {
        int64_t encodedSeconds = 0;
        int barPosition = 0;      // encoded seconds, never beyond the bar's range end
        std::string bitrateText;  // "%Ld Kbps"
        std::string fileSizeText; // "%.1f MB"
    };

    // Takes over the encoder that listed the profiles.
    explicit WmaEncodeJob(std::unique_ptr<WmEncoderControl> encoder);
    ~WmaEncodeJob();
    WmaEncodeJob(const WmaEncodeJob&) = delete;
    WmaEncodeJob& operator=(const WmaEncodeJob&) = delete;

    WmEncoderControl& GetEncoder() { return *m_encoder; }
    void SetProfileIndex(int index) { m_profileIndex = index; }
    int GetProfileIndex() const { return m_profileIndex; }
    // Whether a regular file at an output's name may be replaced (true unless set).
    void SetReplaceExisting(bool replace) { m_replaceExisting = replace; }

    // Configures the encoder for one file and starts it. `tags` is given for CD tracks
    // only: the artist and title become the content description, the rest the standard
    // attributes (a file input's own tags are used otherwise). On a failure the source
    // group is released before the exception leaves.
    void EncodeFile(const std::string& input, const std::string& output,
                    const AudioTags* tags = nullptr);
    bool IsEncoding() const;
    void AbortEncoding();
    // Waits while the encoder is still starting, at most `limit`. Returns true once it
    // has left that state.
    bool WaitWhileStarting(std::chrono::milliseconds limit) const;
    Figures RefreshStatistics(int barRangeEnd) const;
    // When the encoder has stopped and a source group is still held: releases the group
    // and returns true (the caller refreshes its figures once more).
    bool OnStopped();
    // The failure that ended the last file early, 0 when it ran to its end.
    uint32_t GetLastErrorCode() const;
    std::time_t GetCurrentFileStartTime() const { return m_fileStart; }

    // Output names of the three encoding modes.
    static std::string CdOutputName(const std::string& folder, const std::string& artist,
                                    const std::string& trackTitle);
    static std::string FolderOutputName(const std::string& folder, const std::string& input);

private:
    std::unique_ptr<WmEncoderControl> m_encoder;
    int m_profileIndex = 0;
    bool m_replaceExisting = true;
    std::time_t m_fileStart = 0;
};
