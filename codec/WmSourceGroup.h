#pragma once

#include "WmProfile.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class WmDataView;
class WmVideoSource;

// One input to encode and the profile to encode it with. Groups are made by the encoder
// and belong to it; a group knows only the call that makes it the active one.
class WmSourceGroup {
public:
    using ActivateFn = std::function<void(WmSourceGroup*)>;
    WmSourceGroup(std::string name, ActivateFn activate);

    const std::string& GetName() const { return m_name; }
    // The source, as "FILE://" followed by a path (the prefix in any case).
    void SetInput(const std::string& input);
    const std::string& GetInput() const { return m_input; }
    // The local path of the source, without its prefix.
    std::string GetInputPath() const;
    // Makes this group the one the encoder works on.
    void Activate();
    void SetProfile(const WmProfile& profile);
    const std::optional<WmProfile>& GetProfile() const { return m_profile; }
    // Adds the video source (the audio input stays the one of SetInput) and attaches
    // each given view: the preview to the source's preview collection, the postview to
    // its postview collection. A group holds one video source; a second call replaces it.
    WmVideoSource& AddVideoSource(const std::string& input, WmDataView* preview,
                                  WmDataView* postview);
    // The video source, or nullptr for an audio-only group.
    const WmVideoSource* GetVideoSource() const { return m_video.get(); }

private:
    ActivateFn m_activate;
    std::string m_name;
    std::string m_input;
    std::optional<WmProfile> m_profile;
    std::shared_ptr<WmVideoSource> m_video;
};
