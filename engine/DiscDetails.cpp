#include "DiscDetails.h"

#include "cldrip/CDRipDriveSettings.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/DiscInfo.h"
#include "cldrip/NameText.h"
#include "cldrip/TrackInfo.h"

namespace cld::engine {
namespace {

std::string take(NameText* text) {
    std::string s = text ? text->text() : "";
    NameText::Release(text);
    return s;
}

accurip::HiddenAudio hiddenOf(int32_t state) {
    switch (state) {
    case DiscInfo::HiddenNone:
        return accurip::HiddenAudio::None;
    case DiscInfo::HiddenSilent:
        return accurip::HiddenAudio::Silent;
    case DiscInfo::HiddenAudio:
        return accurip::HiddenAudio::Audio;
    case DiscInfo::HiddenUnreadable:
        return accurip::HiddenAudio::Unreadable;
    default:
        return accurip::HiddenAudio::NotLooked;
    }
}

} // namespace

accurip::DiscDetails readDiscDetails(CDRipObject* rip) {
    accurip::DiscDetails d;
    DiscInfo* disc = rip ? rip->GetDiscInfo() : nullptr;
    if (!disc)
        return d;
    if (disc->GetTrackCount() > 0) {
        disc->DetectGaps();
        d.read = true;
        d.catalog = take(disc->GetCatalogNumber());
        int32_t sectors = 0;
        d.hidden = hiddenOf(disc->GetHiddenTrack(&sectors));
        d.hiddenSectors = sectors;
        d.subChannelReads = disc->GetSubChannelReads();
        for (int i = 0; i < disc->GetTrackCount(); ++i) {
            TrackInfo* t = disc->GetTrack(i);
            if (!t)
                continue;
            accurip::TrackCodes c;
            c.number = i + 1;
            c.isrc = take(t->GetIsrc());
            c.control = t->GetControl();
            c.indexZero = t->GetIndexZeroSector();
            d.tracks.push_back(c);
            t->Destroy();
        }
    }
    disc->Destroy();
    return d;
}

std::vector<std::string> driveFeatures(CDRipDriveSettings* drives,
                                       const accurip::DiscDetails& details) {
    std::vector<std::string> out;
    const int correction = drives ? drives->GetErrorCorrection() : -1;
    // Only the sub-channel is measured here; the rest is what the reading assumes.
    if (details.read)
        out.push_back(std::string("Q sub-channel: ") + (details.subChannelReads > 0
                                                            ? "readable (measured)"
                                                            : "not readable (measured)"));
    out.push_back(correction == 0 ? "Accurate stream: assumed (reads are appended unchecked)"
                                  : "Accurate stream: not assumed (reads overlap and are "
                                    "joined, or verified by the paranoia reader)");
    out.push_back("Audio cache: assumed present; not defeated (re-reads may come from it)");
    out.push_back("C2 error pointers: not used (assumed unreliable)");
    out.push_back("Overread into the lead-in and lead-out: not used (samples beyond the disc's "
                  "edge are silence)");
    return out;
}

} // namespace cld::engine
