#include "GrabStatusImpl.h"

#include "cldrip/NameText.h"

namespace cld {

NameText* GrabStatusImpl::GetFileName() {
    return NameText::Create(m_values.fileName.c_str());
}

int32_t GrabStatusImpl::GetTrackResult(int32_t n, GrabTrackResult* out) {
    if (!out || n < 0 || n >= GetTrackResultCount())
        return 1;
    *out = m_values.tracks[static_cast<std::size_t>(n)];
    return 0;
}

void GrabStatusImpl::Destroy() {
    delete this;
}

int32_t GrabStatusImpl::GetTrackCopy(int32_t n, GrabCopyResult* out) {
    if (!out || n < 0 || n >= GetTrackCopyCount())
        return 1;
    *out = m_values.copies[static_cast<size_t>(n)];
    return 0;
}

} // namespace cld
