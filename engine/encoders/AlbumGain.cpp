#include "AlbumGain.h"

#include "EditThroughCopy.h"
#include "Mp3Tags.h"
#include "SafeFiles.h"
#include "VorbisComments.h"
#include "WmErrors.h"

#include <cerrno>
#include <filesystem>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/opusfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>
#include <unistd.h>

namespace cld::engine {

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

void setComment(TagLib::Ogg::XiphComment* tag, const char* name, const std::string& value) {
    tag->addField(name, TagLib::String(value, TagLib::String::UTF8), true);
}

// Writes the values into the copy at `temp`; false when it is no file of its kind.
bool tagCopy(const std::string& ext, const std::string& temp, double gainDb, double peak) {
    if (ext == ".flac") {
        TagLib::FLAC::File file(temp.c_str(), false);
        if (!file.isValid())
            return false;
        TagLib::Ogg::XiphComment* tag = file.xiphComment(true);
        setComment(tag, "REPLAYGAIN_ALBUM_GAIN", replayGainText(gainDb));
        setComment(tag, "REPLAYGAIN_ALBUM_PEAK", replayPeakText(peak));
        return file.save();
    }
    if (ext == ".ogg") {
        TagLib::Ogg::Vorbis::File file(temp.c_str(), false);
        if (!file.isValid() || !file.tag())
            return false;
        setComment(file.tag(), "REPLAYGAIN_ALBUM_GAIN", replayGainText(gainDb));
        setComment(file.tag(), "REPLAYGAIN_ALBUM_PEAK", replayPeakText(peak));
        return file.save();
    }
    if (ext == ".opus") {
        TagLib::Ogg::Opus::File file(temp.c_str(), false);
        if (!file.isValid() || !file.tag())
            return false;
        setComment(file.tag(), "R128_ALBUM_GAIN", std::to_string(r128Gain(gainDb)));
        return file.save();
    }
    TagLib::MP4::File file(temp.c_str(), false);
    if (!file.isValid() || !file.tag())
        return false;
    file.tag()->setItem("----:com.apple.iTunes:replaygain_album_gain",
                        TagLib::MP4::Item(TagLib::StringList(replayGainText(gainDb))));
    file.tag()->setItem("----:com.apple.iTunes:replaygain_album_peak",
                        TagLib::MP4::Item(TagLib::StringList(replayPeakText(peak))));
    return file.save();
}

} // namespace

uint32_t addAlbumGain(const std::string& path, double gainDb, double peak) {
    const std::string ext = lowerExtension(path);
    if (ext == ".mp3")
        return cld::addMp3AlbumGain(path, gainDb, peak);
    if (ext != ".flac" && ext != ".ogg" && ext != ".opus" && ext != ".m4a")
        return 0;
    // The values go into a copy of the file, which then takes the file's place.
    return editThroughCopy(path, [&](const std::string& copy) {
        return tagCopy(ext, copy, gainDb, peak) ? CopyEdit::Changed : CopyEdit::Failed;
    });
}

} // namespace cld::engine
