#include "VideoJobState.h"

#include "JobContext.h"
#include "WmEncoderControl.h"

#include <memory>

namespace cld {

VideoJobState& videoJobState() {
    static VideoJobState state;
    return state;
}

std::string videoSystemProfileFolder(const JobContext& context) {
    return context.programFolder.toStdString() + "profiles";
}

std::string videoUserProfileFolder(const JobContext&) {
    // Profiles a user adds live beside the settings store.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base = config && *config ? config : (home ? std::string(home) + "/.config" : "");
    return base.empty() ? std::string() : base + "/Quorvane/Calderine 2002/profiles";
}

WmEncoderControl& sharedVideoEncoder(const JobContext& context) {
    static std::unique_ptr<WmEncoderControl> encoder;
    if (!encoder)
        encoder = std::make_unique<WmEncoderControl>(videoSystemProfileFolder(context),
                                                     videoUserProfileFolder(context));
    return *encoder;
}

} // namespace cld
