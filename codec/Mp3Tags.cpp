#include "Mp3Tags.h"

#include "EditThroughCopy.h"
#include "Id3v1Tag.h"
#include "OutputFile.h"
#include "WmErrors.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tstring.h>
#include <unistd.h>

namespace cld {
namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when none starts there.
size_t utf8SequenceAt(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    size_t len = 0;
    uint32_t cp = 0;
    uint32_t min = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1Fu;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0Fu;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07u;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

TagLib::String utf8Text(const std::string& text) {
    return TagLib::String(wellFormedUtf8(text), TagLib::String::UTF8);
}

void addText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& text) {
    if (text.empty())
        return;
    auto* frame =
        new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), TagLib::String::UTF8);
    frame->setText(utf8Text(text));
    tag.addFrame(frame); // the tag owns its frames
}

void addUserText(TagLib::ID3v2::Tag& tag, const char* description, const std::string& text) {
    auto* frame = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::UTF8);
    frame->setDescription(description);
    frame->setText(utf8Text(text));
    tag.addFrame(frame);
}

// "-6.48 dB" and "0.988553", as players expect them (a point, whatever the locale).
std::string gainText(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.2f dB", db);
    return text;
}

std::string peakText(double peak) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", peak);
    return text;
}

std::string trackText(const AudioTags& tags) {
    if (tags.track <= 0)
        return {};
    std::string text = std::to_string(tags.track);
    if (tags.trackTotal >= tags.track)
        text += "/" + std::to_string(tags.trackTotal);
    return text;
}

// Replaces any ID3 version 2 tag of the file with one holding `tags`.
bool writeId3v2(const std::string& path, const AudioTags& tags) {
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid())
        return false;
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true); // owned by the file
    if (!tag)
        return false;
    for (const char* id : {"TIT2", "TPE1", "TALB", "TDRC", "TCON", "TRCK", "COMM", "APIC", "TSRC"})
        tag->removeFrames(TagLib::ByteVector(id));
    for (const char* description :
         {kDiscIdFrameDescription, "REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK",
          "REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_ALBUM_PEAK", "BARCODE"}) {
        if (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(tag, description))
            tag->removeFrame(old);
    }
    addText(*tag, "TIT2", tags.title);
    addText(*tag, "TPE1", tags.artist);
    addText(*tag, "TALB", tags.album);
    addText(*tag, "TDRC", tags.year);
    addText(*tag, "TCON", tags.genre);
    addText(*tag, "TRCK", trackText(tags));
    addText(*tag, "TSRC", tags.isrc);
    if (!tags.barcode.empty())
        addUserText(*tag, "BARCODE", tags.barcode);
    if (!tags.comment.empty())
        tag->setComment(utf8Text(tags.comment));
    if (!tags.discId.empty())
        addUserText(*tag, kDiscIdFrameDescription, tags.discId);
    if (tags.trackGainDb)
        addUserText(*tag, "REPLAYGAIN_TRACK_GAIN", gainText(*tags.trackGainDb));
    if (tags.trackPeak)
        addUserText(*tag, "REPLAYGAIN_TRACK_PEAK", peakText(*tags.trackPeak));
    if (tags.albumGainDb)
        addUserText(*tag, "REPLAYGAIN_ALBUM_GAIN", gainText(*tags.albumGainDb));
    if (tags.albumPeak)
        addUserText(*tag, "REPLAYGAIN_ALBUM_PEAK", peakText(*tags.albumPeak));
    const std::string mime = tags.coverMime.empty() ? pictureMimeType(tags.cover) : tags.coverMime;
    if (!tags.cover.empty() && !mime.empty()) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setTextEncoding(TagLib::String::UTF8);
        frame->setMimeType(mime);
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(tags.cover.data()),
                                             static_cast<unsigned int>(tags.cover.size())));
        tag->addFrame(frame);
    }
    // Only the version 2 tag is written here: the version 1 tag is ours, in its own form.
    return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                     TagLib::File::DoNotDuplicate);
}

void replaceUserText(TagLib::ID3v2::Tag& tag, const char* description, const std::string& text) {
    if (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, description))
        tag.removeFrame(old);
    addUserText(tag, description, text);
}

} // namespace

uint32_t addMp3AlbumGain(const std::string& path, double gainDb, double peak) {
    // The values go into a copy of the file, which then takes the file's place.
    return editThroughCopy(path, [&](const std::string& copy) {
        TagLib::MPEG::File file(copy.c_str(), false);
        if (!file.isValid() || !file.hasID3v2Tag())
            return CopyEdit::Unchanged;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(); // owned by the file
        replaceUserText(*tag, "REPLAYGAIN_ALBUM_GAIN", gainText(gainDb));
        replaceUserText(*tag, "REPLAYGAIN_ALBUM_PEAK", peakText(peak));
        return file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                         TagLib::File::DoNotDuplicate)
                   ? CopyEdit::Changed
                   : CopyEdit::Failed;
    });
}

std::string wellFormedUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t len = utf8SequenceAt(text, i);
        if (len > 0) {
            out.append(text.substr(i, len));
            i += len;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i++]);
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

std::string pictureMimeType(const std::vector<uint8_t>& p) {
    if (p.size() >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        return "image/jpeg";
    if (p.size() >= 8 && p[0] == 0x89 && p[1] == 'P' && p[2] == 'N' && p[3] == 'G' &&
        p[4] == '\r' && p[5] == '\n' && p[6] == 0x1A && p[7] == '\n')
        return "image/png";
    return {};
}

uint32_t writeMp3Tags(const std::string& path, const AudioTags& tags, bool id3v2) {
    const bool loudness = tags.trackGainDb || tags.albumGainDb;
    const bool anything = !tags.empty() || !tags.cover.empty() || loudness;
    errno = 0;
    if (id3v2 && anything && !writeId3v2(path, tags))
        return errno ? wmerr::fromErrno(errno) : wmerr::kWriteFailed;
    // The version 1 tag has room for names only.
    if (tags.empty())
        return 0;
    Id3v1Tag v1;
    v1.title = tags.title;
    v1.artist = tags.artist;
    v1.album = tags.album;
    v1.year = tags.year;
    v1.genre = tags.genreNumber >= 0 && tags.genreNumber <= 255 ? tags.genreNumber : 255;
    v1.track = 0;
    errno = 0;
    if (v1.Write(path) != 1)
        return errno ? wmerr::fromErrno(errno) : wmerr::kWriteFailed;
    return 0;
}

} // namespace cld
