#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The names of one piece of music as the jobs carry them from a source (a disc's names,
// an input file's own tags) to an output file's tags. Texts are UTF-8; an empty text or a
// zero number means "not known" and is not written.
struct AudioTags {
    std::string title;
    std::string artist;
    std::string album;
    std::string albumArtist; // the artist of the whole album, when the source names one
    std::string year;        // as the source gives it, usually four digits
    std::string genre;       // the genre's name
    int genreNumber = 255;   // the genre's ID3 version 1 number; 255 = none
    int track = 0;           // 1-based; 0 = none
    int trackTotal = 0;      // 0 = unknown
    std::string discId;      // the disc's CDDB id in 8 hex digits, when ripped from a CD
    std::string comment;
    std::string isrc;    // the track's ISRC (12 characters), when the disc carries one
    std::string barcode; // the disc's media catalogue number (13 digits), when it has one
    // The cover picture's bytes and MIME type ("image/jpeg", "image/png"), when known.
    std::vector<std::uint8_t> cover;
    std::string coverMime;
    // ReplayGain 2.0 values, when measured: gains in dB against -18 LUFS, peaks as a
    // fraction of full scale.
    std::optional<double> trackGainDb;
    std::optional<double> trackPeak;
    std::optional<double> albumGainDb;
    std::optional<double> albumPeak;

    bool empty() const {
        return title.empty() && artist.empty() && album.empty() && albumArtist.empty() &&
               year.empty() && genre.empty() && track == 0 && discId.empty() && comment.empty() &&
               isrc.empty() && barcode.empty();
    }
};
