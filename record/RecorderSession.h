#pragma once

#include <string>

namespace cld {

// What the recorder dialogs hand on to each other for the life of the process: the
// folder recordings go into (shared by both recorders), the MP3 bitrate and the media
// profile chosen last.
struct RecorderSession {
    std::string folder;
    int mp3Bitrate = 128;
    int wmaProfileIndex = 0;

    static RecorderSession& Instance();
};

} // namespace cld
