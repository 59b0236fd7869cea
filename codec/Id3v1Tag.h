#pragma once

#include <string>

// The 128-byte ID3 version 1 (1.1 with a track number) block at the end of an MP3 file.
// Texts are UTF-8 here and Latin-1 in the file; characters Latin-1 lacks become '?'.
class Id3v1Tag {
public:
    std::string title;
    std::string artist;
    std::string album;
    std::string comment;
    std::string year;
    int track = 0;   // 0 = none; written clamped to 1..255
    int genre = 255; // 255 = none

    // Reads the tag at the end of `path`, if any, and remembers the path. Returns true
    // when the file could be read (a file without a tag leaves the fields empty).
    bool Load(const std::string& path);
    // Writes the tag to `path` (or the remembered path when empty), replacing an
    // existing one in place; with `removeOnly` only cuts an existing tag off. Returns 1
    // on success, 0 on failure.
    int Write(const std::string& path = {}, bool removeOnly = false);

private:
    std::string m_path;
};
