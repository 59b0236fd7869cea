#pragma once

#include <string>
#include <vector>

namespace cldtest {

// Answers a loopback MusicBrainz or Cover Art Archive server plays, built by the tests.
struct MbTestRelease {
    std::string id;
    std::string title;
    std::string artist;
    std::string date;
    std::string genre;  // one tag with a count of 3, none when empty
    std::string discId; // the disc the (only) medium lists
    std::vector<std::string> tracks;
};

// A disc id answer that lists these releases.
std::string mbDiscJson(const std::vector<MbTestRelease>& releases);
// An HTTP/1.1 answer with a Content-Length (and any extra header lines, each ending CRLF).
std::string mbHttp(int status, const std::string& reason, const std::string& body,
                   const std::string& contentType = "application/json",
                   const std::string& extraHeader = {});
// A small JPEG-looking picture (its magic bytes and a recognisable tail).
std::string mbJpeg(const std::string& tail = "cover");

} // namespace cldtest
