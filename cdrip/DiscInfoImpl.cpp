#include "DiscInfoImpl.h"

#include "CdTextParser.h"
#include "TrackInfoImpl.h"
#include "cldrip/CDDAObject.h"
#include "cldrip/NameText.h"

#include <new>

namespace cld {
namespace {

constexpr int32_t kCdTextBufferSize = 36868;

} // namespace

DiscInfoImpl* DiscInfoImpl::create(CDDAObject& cdda) {
    auto* disc = new (std::nothrow) DiscInfoImpl(cdda);
    if (!disc)
        return nullptr;
    try {
        disc->load();
    } catch (...) {
        // Out of memory while reading: an empty disc rather than an exception.
        disc->m_tracks.clear();
        disc->m_discId = 0;
        disc->m_tocSum = 0;
        disc->m_cdText = 0;
    }
    return disc;
}

void DiscInfoImpl::load() {
    m_tracks.clear();
    m_artist.clear();
    m_title.clear();
    m_tocSum = 0;
    m_discId = 0;
    m_cdText = 0;

    m_cdda->ReadToc();
    const int32_t n = m_cdda->GetTocEntryCount();
    std::vector<TocEntry> entries;
    for (int32_t i = 0; i <= n; ++i) {
        TocEntry entry;
        m_cdda->GetTocEntry(&entry, i);
        entries.push_back(entry);
    }
    // A table that cannot describe a disc (no tracks, sectors out of order) gives an
    // empty disc rather than tracks of negative length.
    if (!toc::isValid(entries))
        return;
    m_tocSum = toc::tocSum(entries);
    m_discId = toc::discId(entries);
    for (const TrackRange& range : toc::audioTracks(entries))
        m_tracks.push_back({range, {}});

    std::vector<uint8_t> buffer(kCdTextBufferSize, 0);
    int32_t length = 0;
    if (m_cdda->ReadCdText(buffer.data(), kCdTextBufferSize, &length) != 0)
        return;
    CdText text;
    if (!CdTextParser::parse(buffer.data(), static_cast<size_t>(length),
                             static_cast<int32_t>(m_tracks.size()), text))
        return;
    m_cdText = 1;
    m_artist = text.artist;
    m_title = text.title;
    for (size_t i = 0; i < m_tracks.size(); ++i)
        m_tracks[i].title = text.trackTitles[i];
}

int32_t DiscInfoImpl::GetTrackCount() {
    return static_cast<int32_t>(m_tracks.size());
}

TrackInfo* DiscInfoImpl::GetTrack(int32_t index) {
    if (index < 0 || index >= GetTrackCount())
        return nullptr;
    const Track& t = m_tracks[static_cast<size_t>(index)];
    try {
        return new TrackInfoImpl(t.range.first, t.range.last, t.title);
    } catch (...) {
        return nullptr;
    }
}

uint32_t DiscInfoImpl::GetDiscId() {
    return m_discId;
}

uint32_t DiscInfoImpl::GetTocSum() {
    return m_tocSum;
}

int32_t DiscInfoImpl::HasCdText() {
    return m_cdText;
}

NameText* DiscInfoImpl::GetArtist() {
    return NameText::Create(m_artist.c_str());
}

NameText* DiscInfoImpl::GetTitle() {
    return NameText::Create(m_title.c_str());
}

void DiscInfoImpl::Destroy() {
    delete this;
}

} // namespace cld
