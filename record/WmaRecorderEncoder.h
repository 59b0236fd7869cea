#pragma once

#include <functional>
#include <memory>
#include <string>

class WmEncoderControl;

namespace cld {

// The media encoder of the WMA recorder: one per process, made by the settings dialog
// when there is none and released when the recording dialog goes away.
class WmaRecorderEncoder {
public:
    using Factory = std::function<std::unique_ptr<WmEncoderControl>()>;

    // The encoder, made first when there is none (may throw WMException).
    static WmEncoderControl& Get(const std::string& programFolder);
    static WmEncoderControl* Current();
    // Stops and releases the encoder; the next Get makes a new one.
    static void Release();
    // Replaces how the encoder is made (the program's profile folders by default).
    static void SetFactory(Factory factory);
};

} // namespace cld
