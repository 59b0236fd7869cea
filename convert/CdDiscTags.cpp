#include "CdDiscTags.h"

#include "GenreList.h"
#include "JobContext.h"
#include "Mp3Tags.h"
#include "cldrip/CDRipObject.h"
#include "cldrip/DiscInfo.h"

#include <cstdio>
#include <string>

namespace cld {

AudioTags cdDiscTags(const JobContext& context) {
    const GrabSelection& sel = context.grabSelection;
    AudioTags tags;
    tags.artist = sel.artist;
    tags.album = sel.album;
    // The grabber names one artist for the whole disc.
    tags.albumArtist = sel.artist;
    if (sel.year > 0)
        tags.year = std::to_string(sel.year);
    tags.genre = context.genres.genreName(sel.genreIndex);
    tags.genreNumber = sel.genreIndex >= 0 && sel.genreIndex <= 255 ? sel.genreIndex : 255;
    tags.trackTotal = static_cast<int>(sel.trackNames.size());
    if (context.ripObject) {
        if (DiscInfo* disc = context.ripObject->GetDiscInfo()) {
            if (disc->GetTrackCount() > 0)
                tags.trackTotal = disc->GetTrackCount();
            if (const uint32_t id = disc->GetDiscId()) {
                char text[16];
                std::snprintf(text, sizeof text, "%08X", id);
                tags.discId = text;
            }
            disc->Destroy();
        }
    }
    if (!sel.coverImage.empty()) {
        tags.cover.assign(sel.coverImage.begin(), sel.coverImage.end());
        tags.coverMime = pictureMimeType(tags.cover);
    }
    return tags;
}

} // namespace cld
