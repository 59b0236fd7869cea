#pragma once

#include "cldrip/CDRipObject.h"
#include "cldrip/GrabStatus.h"
#include "cldrip/NameText.h"

#include <string>

// Small helpers for calls into the ripper library's objects, shared by every job that
// drives a grab.
namespace cld::engine {

// A name handed to the ripper library, destroyed with the scope.
class LibraryText {
public:
    explicit LibraryText(const std::string& text) : m_text(NameText::Create(text.c_str())) {}
    ~LibraryText() { NameText::Release(m_text); }
    LibraryText(const LibraryText&) = delete;
    LibraryText& operator=(const LibraryText&) = delete;
    NameText* get() const { return m_text; }

private:
    NameText* m_text;
};

// One status snapshot of the grab object.
struct GrabSnapshot {
    bool running = false;
    int error = 0;
    int percent = 0;
    int peak = 0;
    int jitterErrors = 0;
};

inline GrabSnapshot snapshot(CDRipObject& rip) {
    GrabSnapshot s;
    if (GrabStatus* status = rip.GetStatus()) {
        s.running = status->IsRunning() != 0;
        s.error = status->GetError();
        s.percent = status->GetPercent();
        s.peak = status->GetPeak();
        s.jitterErrors = status->GetJitterErrorCount();
        status->Destroy();
    }
    return s;
}

// The ripper's result for the one track of the last grab; false when it kept none.
inline bool lastTrackResult(CDRipObject& rip, GrabTrackResult& out) {
    GrabStatus* status = rip.GetStatus();
    if (!status)
        return false;
    const int32_t count = status->GetTrackResultCount();
    const bool found = count > 0 && status->GetTrackResult(count - 1, &out) == 0;
    status->Destroy();
    return found;
}

} // namespace cld::engine
