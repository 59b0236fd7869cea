#include "MbDiscId.h"

#include <discid/discid.h>
#include <memory>

namespace cld::mb {

bool MbToc::valid() const {
    if (firstTrack < 1 || lastTrack < firstTrack || lastTrack > 99)
        return false;
    if (offsets.size() != static_cast<std::size_t>(lastTrack - firstTrack + 1))
        return false;
    std::int32_t previous = 149;
    for (std::int32_t offset : offsets) {
        if (offset <= previous)
            return false;
        previous = offset;
    }
    // libdiscid refuses lead-outs past 90 minutes of sectors (and so does a pressed disc).
    return leadOut > previous && leadOut <= 90 * 60 * 75 + 150;
}

MbToc tocFromSectors(const std::vector<std::int32_t>& firstSectors, std::int32_t lastSector) {
    MbToc toc;
    toc.firstTrack = 1;
    toc.lastTrack = static_cast<int>(firstSectors.size());
    for (std::int32_t sector : firstSectors)
        toc.offsets.push_back(sector + 150);
    toc.leadOut = lastSector + 1 + 150;
    return toc;
}

std::string musicBrainzDiscId(const MbToc& toc) {
    if (!toc.valid())
        return {};
    std::unique_ptr<DiscId, void (*)(DiscId*)> disc(discid_new(), discid_free);
    if (!disc)
        return {};
    // discid_put takes the lead-out at index 0 and track N at index N.
    int offsets[100] = {};
    offsets[0] = toc.leadOut;
    for (int t = toc.firstTrack; t <= toc.lastTrack; ++t)
        offsets[t] = toc.offsets[static_cast<std::size_t>(t - toc.firstTrack)];
    if (!discid_put(disc.get(), toc.firstTrack, toc.lastTrack, offsets))
        return {};
    const char* id = discid_get_id(disc.get());
    return id ? std::string(id) : std::string();
}

std::string tocParameter(const MbToc& toc) {
    std::string text = std::to_string(toc.firstTrack) + "+" + std::to_string(toc.lastTrack) + "+" +
                       std::to_string(toc.leadOut);
    for (std::int32_t offset : toc.offsets)
        text += "+" + std::to_string(offset);
    return text;
}

} // namespace cld::mb
