#include "RuntimeCheck.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace cld {

std::vector<std::string> missingComponents(RuntimePart part) {
    std::vector<std::string> missing;
    if (!av_guess_format("asf", nullptr, nullptr))
        missing.emplace_back("muxer asf");
    if (part == RuntimePart::Format) {
        if (!av_find_input_format("asf"))
            missing.emplace_back("demuxer asf");
        for (const char* name : {"wmav2", "wmv2"}) {
            if (!avcodec_find_decoder_by_name(name))
                missing.push_back(std::string("decoder ") + name);
        }
    }
    for (const char* name : {"wmav2", "wmv2"}) {
        if (!avcodec_find_encoder_by_name(name))
            missing.push_back(std::string("encoder ") + name);
    }
    return missing;
}

std::string userProfileFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.local/share";
    }
    return base + "/Quorvane/Profiles";
}

} // namespace cld
