#pragma once

#include "WmProfile.h"

#include <optional>
#include <string>

class WmEncoderControl;

// One input to encode and the profile to encode it with. Groups are made by
// WmEncoderControl::AddSourceGroup and belong to the encoder.
class WmSourceGroup {
public:
    WmSourceGroup(WmEncoderControl& owner, std::string name);

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

private:
    WmEncoderControl& m_owner;
    std::string m_name;
    std::string m_input;
    std::optional<WmProfile> m_profile;
};
