#include "MbAnswers.h"

namespace cldtest {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string mbDiscJson(const std::vector<MbTestRelease>& releases) {
    std::string json = "{\"id\":\"x\",\"sectors\":1,\"releases\":[";
    for (std::size_t r = 0; r < releases.size(); ++r) {
        const MbTestRelease& release = releases[r];
        if (r)
            json += ",";
        json += "{\"id\":" + quoted(release.id) + ",\"title\":" + quoted(release.title) +
                ",\"date\":" + quoted(release.date) + ",\"country\":\"XE\"," +
                "\"artist-credit\":[{\"name\":" + quoted(release.artist) +
                ",\"joinphrase\":\"\"}],";
        json += "\"tags\":[";
        if (!release.genre.empty())
            json += "{\"name\":" + quoted(release.genre) + ",\"count\":3}";
        json += "],\"media\":[{\"position\":1,\"format\":\"CD\",\"discs\":[{\"id\":" +
                quoted(release.discId) + "}],\"tracks\":[";
        for (std::size_t t = 0; t < release.tracks.size(); ++t) {
            if (t)
                json += ",";
            json += "{\"position\":" + std::to_string(t + 1) +
                    ",\"title\":" + quoted(release.tracks[t]) + "}";
        }
        json += "]}]}";
    }
    return json + "]}";
}

std::string mbHttp(int status, const std::string& reason, const std::string& body,
                   const std::string& contentType, const std::string& extraHeader) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeader + "\r\n" +
           body;
}

std::string mbJpeg(const std::string& tail) {
    return std::string("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11) + tail + "\xff\xd9";
}

} // namespace cldtest
