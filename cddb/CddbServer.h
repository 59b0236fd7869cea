#pragma once

#include <cstdint>
#include <string>

// Where CDDB commands are sent, and the site's position as the sites command lists it.
struct CddbServer {
    std::string host; // name or dotted address
    std::int32_t port = 80;
    std::string scriptPath = "/~cddb/cddb.cgi";
    std::int32_t north = 1;    // 1 = north, 0 = south
    std::int32_t latitude = 0; // minutes of arc: degrees * 60 + minutes
    std::int32_t east = 1;     // 1 = east, 0 = west
    std::int32_t longitude = 0;
    std::string description;
};
