#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CDRipObject;

// The ripper library (libcldrip.so), bound from the program's own folder as the program
// binds it, and its grab object. Bound on first use only, so that commands which need no
// drive start without it.
namespace cld::cli {

// The folder of the program's own files, ending in "/": the running program's folder, or
// the installation's private folder (lib/calderine), as the program finds it.
std::string programFolder();

// One audio track of the disc in a drive.
struct DiscTrack {
    int number = 0;
    int32_t firstSector = 0;
    int32_t lastSector = 0; // inclusive
    uint32_t seconds = 0;
    std::string title; // CD-TEXT, empty when none
};

struct DiscContents {
    uint32_t cddbId = 0;
    bool cdText = false;
    std::string artist;
    std::string title;
    std::vector<DiscTrack> tracks;
};

class RipperLibrary {
public:
    // The process-wide binding (the library stays loaded until the process ends).
    static RipperLibrary& instance();
    ~RipperLibrary();
    RipperLibrary(const RipperLibrary&) = delete;
    RipperLibrary& operator=(const RipperLibrary&) = delete;

    // The grab object, or null (error() says why).
    CDRipObject* ripObject();
    const std::string& error() const { return m_error; }
    const std::string& path() const { return m_path; }

    std::vector<std::string> driveNames();
    // Picks the drive a --drive value names: its number in the list, its whole name, or a
    // part of its name that only one drive's name holds (any case). -1 and `why` when
    // none fits.
    int findDrive(const std::string& drive, std::string& why);
    bool selectDrive(int index);
    // The disc in the active drive; false (and `why`) without one.
    bool readDisc(DiscContents& disc, std::string& why);

private:
    RipperLibrary();
    void bind();

    bool m_tried = false;
    void* m_handle = nullptr;
    CDRipObject* m_object = nullptr;
    std::string m_path;
    std::string m_error;
};

} // namespace cld::cli
