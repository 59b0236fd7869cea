#include "RipperLibrary.h"

#include "InstallLayout.h"
#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/ClassObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <dlfcn.h>
#include <unistd.h>

namespace cld::cli {

std::string programFolder() {
    return cld::runningProgramFiles();
}

namespace {

// Takes a record the library handed over: its text, and the record destroyed.
std::string take(NameText* name) {
    if (!name)
        return {};
    std::string text = name->text();
    name->Destroy();
    return text;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

RipperLibrary& RipperLibrary::instance() {
    static RipperLibrary library;
    return library;
}

RipperLibrary::RipperLibrary() = default;

RipperLibrary::~RipperLibrary() {
    if (m_object)
        m_object->Dispose();
    // The library keeps process-wide state until exit (it is loaded RTLD_NODELETE).
    if (m_handle)
        dlclose(m_handle);
}

void RipperLibrary::bind() {
    if (m_tried)
        return;
    m_tried = true;
    m_path = programFolder() + "libcldrip.so";
    // Only the file in the program's folder, never whatever the loader finds elsewhere.
    m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!m_handle) {
        const char* err = dlerror();
        m_error = err ? err : "cannot load " + m_path;
        return;
    }
    dlerror();
    const auto entry = reinterpret_cast<GetClassObjectFn>(dlsym(m_handle, "GetClassObject"));
    if (!entry) {
        m_error = m_path + " has no GetClassObject";
        return;
    }
    NameText* name = NameText::Create("CDRipObject");
    if (!name) {
        m_error = "out of memory";
        return;
    }
    m_object = static_cast<CDRipObject*>(entry(name));
    name->Destroy();
    if (!m_object)
        m_error = m_path + " gave no CDRipObject";
}

CDRipObject* RipperLibrary::ripObject() {
    bind();
    return m_object;
}

std::vector<std::string> RipperLibrary::driveNames() {
    std::vector<std::string> names;
    CDRipObject* rip = ripObject();
    CDRipDriveSettings* drives = rip ? rip->GetDriveSettings() : nullptr;
    if (!drives)
        return names;
    const int count = drives->GetDriveCount();
    for (int i = 0; i < count; ++i) {
        NameText* name = nullptr;
        if (drives->GetDriveName(&name, i) == 0)
            names.push_back(take(name));
        else
            names.push_back({});
    }
    return names;
}

int RipperLibrary::findDrive(const std::string& drive, std::string& why) {
    const std::vector<std::string> names = driveNames();
    if (!ripObject()) {
        why = "no ripper library: " + m_error;
        return -1;
    }
    if (names.empty()) {
        why = "no CD drive found";
        return -1;
    }
    if (drive.empty())
        return 0;
    if (std::all_of(drive.begin(), drive.end(), [](unsigned char c) { return std::isdigit(c); })) {
        const size_t index = drive.size() > 6 ? names.size() : std::stoul(drive);
        if (index < names.size())
            return static_cast<int>(index);
        why = "no drive number " + drive + " (there are " + std::to_string(names.size()) +
              "; see 'calderine devices')";
        return -1;
    }
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == drive)
            return static_cast<int>(i);
    int found = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        if (lower(names[i]).find(lower(drive)) == std::string::npos)
            continue;
        if (found >= 0) {
            why = "more than one drive's name holds '" + drive + "'";
            return -1;
        }
        found = static_cast<int>(i);
    }
    if (found < 0)
        why = "no drive's name holds '" + drive + "' (see 'calderine devices')";
    return found;
}

bool RipperLibrary::selectDrive(int index) {
    CDRipObject* rip = ripObject();
    CDRipDriveSettings* drives = rip ? rip->GetDriveSettings() : nullptr;
    if (!drives || index < 0 || index >= drives->GetDriveCount())
        return false;
    drives->SetActiveDrive(index);
    return true;
}

bool RipperLibrary::readDisc(DiscContents& disc, std::string& why) {
    CDRipObject* rip = ripObject();
    if (!rip) {
        why = "no ripper library: " + m_error;
        return false;
    }
    DiscInfo* info = rip->GetDiscInfo();
    if (!info) {
        why = "no audio disc in the drive";
        return false;
    }
    disc = {};
    disc.cddbId = info->GetDiscId();
    disc.cdText = info->HasCdText() != 0;
    disc.artist = take(info->GetArtist());
    disc.title = take(info->GetTitle());
    const int count = info->GetTrackCount();
    for (int i = 0; i < count; ++i) {
        TrackInfo* track = info->GetTrack(i);
        if (!track)
            continue;
        DiscTrack t;
        t.number = i + 1;
        t.firstSector = track->GetFirstSector();
        t.lastSector = track->GetLastSector();
        t.seconds = track->GetDurationSeconds();
        t.title = take(track->GetTitle());
        track->Destroy();
        disc.tracks.push_back(std::move(t));
    }
    info->Destroy();
    if (disc.tracks.empty()) {
        why = "the disc has no audio tracks";
        return false;
    }
    return true;
}

} // namespace cld::cli
