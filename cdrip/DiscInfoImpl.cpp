#include "DiscInfoImpl.h"

#include "CdTextParser.h"
#include "SubChannel.h"
#include "TrackInfoImpl.h"
#include "cldrip/CDDAObject.h"
#include "cldrip/NameText.h"

#include <algorithm>
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
    for (const TrackRange& range : toc::audioTracks(entries)) {
        const TocEntry& e = entries[static_cast<size_t>(range.tocIndex)];
        Track track{range, {}, e.trackNumber, {}};
        track.details.control = e.controlAdr & 0x0F;
        m_tracks.push_back(track);
    }

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
        return new TrackInfoImpl(t.range.first, t.range.last, t.title, t.details);
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

int32_t DiscInfoImpl::DetectGaps() {
    try {
        detectGaps();
    } catch (...) {
        // Out of memory part way: what was found so far stands.
        return 1;
    }
    return m_qReadable ? 0 : 1;
}

void DiscInfoImpl::detectGaps() {
    m_qReads = 0;
    m_qReadable = false;
    char mcn[14] = {};
    m_catalog = m_cdda->ReadCatalogNumber(mcn) == 0 ? std::string(mcn) : std::string();
    for (Track& t : m_tracks) {
        char isrc[13] = {};
        t.details.isrc =
            m_cdda->ReadTrackIsrc(t.trackNumber, isrc) == 0 ? std::string(isrc) : std::string();
        t.details.indexZero = -1;
    }
    if (m_tracks.empty()) {
        m_hidden = HiddenNone;
        return;
    }
    int reads = 0;
    const subq::ReadQ readQ = [&](int32_t lba, QFrame& frame) {
        uint8_t q[12] = {};
        if (m_cdda->ReadSubChannelQ(lba, q) != 0)
            return false;
        m_qReadable = true;
        return subq::decode(q, frame);
    };
    // Track 1's pregap is what lies before it on the disc; every later audio track's is
    // searched for between the track before it and its own start. A track after the
    // end of a session (the data track of an enhanced CD) is not searched.
    m_tracks.front().details.indexZero = 0;
    for (size_t i = 1; i < m_tracks.size(); ++i) {
        Track& t = m_tracks[i];
        const Track& before = m_tracks[i - 1];
        if (before.range.last + 1 != t.range.first)
            continue;
        t.details.indexZero =
            subq::findIndexZero(readQ, before.range.first, t.range.first, t.trackNumber, reads);
    }
    m_qReads = reads;
    m_hidden = lookBeforeFirstTrack();
}

int32_t DiscInfoImpl::lookBeforeFirstTrack() {
    const int32_t first = m_tracks.front().range.first;
    if (first <= 0)
        return HiddenNone;
    // Read through the ripper as a track would be (read offset applied, errors
    // corrected): anything it cannot deliver is reported, not guessed.
    int32_t bufferSize = 0;
    if (m_cdda->OpenRipper(&bufferSize, 0, first - 1) != 0 || bufferSize <= 0) {
        m_cdda->CloseRipper();
        return HiddenUnreadable;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(bufferSize), 0);
    bool silent = true;
    int32_t result = HiddenSilent;
    for (;;) {
        int32_t bytes = 0;
        const int32_t code = m_cdda->RipChunk(buffer.data(), &bytes, nullptr);
        if (code == 1) {
            result = HiddenUnreadable;
            break;
        }
        const auto n = static_cast<size_t>(std::clamp(bytes, 0, bufferSize));
        silent = silent && std::all_of(buffer.begin(), buffer.begin() + static_cast<long>(n),
                                       [](uint8_t b) { return b == 0; });
        if (code == 4)
            break;
    }
    int32_t unread = 0;
    m_cdda->GetReadVerdict(nullptr, nullptr, &unread);
    m_cdda->CloseRipper();
    if (result == HiddenUnreadable || unread > 0)
        return HiddenUnreadable;
    return silent ? HiddenSilent : HiddenAudio;
}

NameText* DiscInfoImpl::GetCatalogNumber() {
    return NameText::Create(m_catalog.c_str());
}

int32_t DiscInfoImpl::GetHiddenTrack(int32_t* sectors) {
    if (sectors)
        *sectors = m_tracks.empty() ? 0 : m_tracks.front().range.first;
    return m_hidden;
}

int32_t DiscInfoImpl::GetSubChannelReads() {
    return m_qReads;
}

} // namespace cld
