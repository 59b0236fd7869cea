#include "TrackInfoImpl.h"

#include "cldrip/NameText.h"

#include <cstdio>

namespace cld {
namespace {

constexpr uint64_t kSectorBytes = 2352;
constexpr uint64_t kBytesPerSecond = 176400;

} // namespace

TrackInfoImpl::TrackInfoImpl(int32_t first, int32_t last, std::string title, TrackDetails details)
    : m_first(first), m_last(last), m_title(std::move(title)), m_details(std::move(details)) {}

uint64_t TrackInfoImpl::sectors() const {
    const int64_t n = static_cast<int64_t>(m_last) - m_first + 1;
    return n > 0 ? static_cast<uint64_t>(n) : 0;
}

int32_t TrackInfoImpl::GetFirstSector() {
    return m_first;
}

int32_t TrackInfoImpl::GetLastSector() {
    return m_last;
}

uint32_t TrackInfoImpl::GetSizeKB() {
    m_sizeKB = static_cast<uint32_t>(sectors() * kSectorBytes / 1024);
    return m_sizeKB;
}

uint32_t TrackInfoImpl::GetDurationSeconds() {
    return static_cast<uint32_t>(sectors() * kSectorBytes / kBytesPerSecond);
}

uint32_t TrackInfoImpl::GetStartSeconds() {
    const uint64_t first = m_first > 0 ? static_cast<uint64_t>(m_first) : 0;
    return static_cast<uint32_t>(first * kSectorBytes / kBytesPerSecond);
}

NameText* TrackInfoImpl::GetLengthText() {
    const uint64_t n = sectors();
    char text[64];
    std::snprintf(text, sizeof(text), "%u:%02u", static_cast<unsigned>(n / 4500),
                  static_cast<unsigned>((n % 4500) / 75));
    return NameText::Create(text);
}

NameText* TrackInfoImpl::GetSizeText() {
    char text[64];
    std::snprintf(text, sizeof(text), "%u MB",
                  static_cast<unsigned>(sectors() * kSectorBytes / 1048576));
    return NameText::Create(text);
}

NameText* TrackInfoImpl::GetStartText() {
    const auto s = static_cast<uint32_t>(m_first);
    char text[64];
    std::snprintf(text, sizeof(text), "%u:%02u.%02u", s / 4500, (s % 4500) / 75, s % 75);
    return NameText::Create(text);
}

NameText* TrackInfoImpl::GetTitle() {
    return NameText::Create(m_title.c_str());
}

void TrackInfoImpl::Destroy() {
    delete this;
}

NameText* TrackInfoImpl::GetIsrc() {
    return NameText::Create(m_details.isrc.c_str());
}

int32_t TrackInfoImpl::GetPreEmphasis() {
    return (m_details.control & 0x01) != 0 ? 1 : 0;
}

int32_t TrackInfoImpl::GetIndexZeroSector() {
    return m_details.indexZero;
}

int32_t TrackInfoImpl::GetControl() {
    return m_details.control;
}

} // namespace cld
