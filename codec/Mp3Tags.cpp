#include "Mp3Tags.h"

#include "Id3v1Tag.h"
#include "WmErrors.h"

#include <cerrno>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tstring.h>

namespace cld {
namespace {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when none starts there.
size_t Utf8SequenceAt(std::string_view s, size_t i) {
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

TagLib::String Utf8(const std::string& text) {
    return TagLib::String(WellFormedUtf8(text), TagLib::String::UTF8);
}

void AddText(TagLib::ID3v2::Tag& tag, const char* id, const std::string& text) {
    if (text.empty())
        return;
    auto* frame =
        new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), TagLib::String::UTF8);
    frame->setText(Utf8(text));
    tag.addFrame(frame); // the tag owns its frames
}

std::string TrackText(const AudioTags& tags) {
    if (tags.track <= 0)
        return {};
    std::string text = std::to_string(tags.track);
    if (tags.trackTotal >= tags.track)
        text += "/" + std::to_string(tags.trackTotal);
    return text;
}

// Replaces any ID3 version 2 tag of the file with one holding `tags`.
bool WriteId3v2(const std::string& path, const AudioTags& tags) {
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid())
        return false;
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true); // owned by the file
    if (!tag)
        return false;
    for (const char* id : {"TIT2", "TPE1", "TALB", "TDRC", "TCON", "TRCK", "COMM", "APIC"})
        tag->removeFrames(TagLib::ByteVector(id));
    if (auto* old = TagLib::ID3v2::UserTextIdentificationFrame::find(tag, kDiscIdFrameDescription))
        tag->removeFrame(old);
    AddText(*tag, "TIT2", tags.title);
    AddText(*tag, "TPE1", tags.artist);
    AddText(*tag, "TALB", tags.album);
    AddText(*tag, "TDRC", tags.year);
    AddText(*tag, "TCON", tags.genre);
    AddText(*tag, "TRCK", TrackText(tags));
    if (!tags.comment.empty())
        tag->setComment(Utf8(tags.comment));
    if (!tags.discId.empty()) {
        auto* frame = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::UTF8);
        frame->setDescription(kDiscIdFrameDescription);
        frame->setText(Utf8(tags.discId));
        tag->addFrame(frame);
    }
    const std::string mime = tags.coverMime.empty() ? PictureMimeType(tags.cover) : tags.coverMime;
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

} // namespace

std::string WellFormedUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t len = Utf8SequenceAt(text, i);
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

std::string PictureMimeType(const std::vector<uint8_t>& p) {
    if (p.size() >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        return "image/jpeg";
    if (p.size() >= 8 && p[0] == 0x89 && p[1] == 'P' && p[2] == 'N' && p[3] == 'G' &&
        p[4] == '\r' && p[5] == '\n' && p[6] == 0x1A && p[7] == '\n')
        return "image/png";
    return {};
}

uint32_t WriteMp3Tags(const std::string& path, const AudioTags& tags, bool id3v2) {
    const bool anything = !tags.empty() || !tags.cover.empty();
    errno = 0;
    if (id3v2 && anything && !WriteId3v2(path, tags))
        return errno ? wmerr::FromErrno(errno) : wmerr::kWriteFailed;
    Id3v1Tag v1;
    v1.title = tags.title;
    v1.artist = tags.artist;
    v1.album = tags.album;
    v1.year = tags.year;
    v1.genre = tags.genreNumber >= 0 && tags.genreNumber <= 255 ? tags.genreNumber : 255;
    v1.track = 0;
    errno = 0;
    if (v1.Write(path) != 1)
        return errno ? wmerr::FromErrno(errno) : wmerr::kWriteFailed;
    return 0;
}

} // namespace cld
