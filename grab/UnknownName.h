#pragma once

#include <QString>
#include <string>

namespace cld {

// The grabber's stand-in for an artist or album the disc does not name. What is kept (the
// shared selection, the cache, the tags and the file names) is the program's own "Unknown";
// what the fields and the track list show is that word in the chosen language.

// The text shown for a kept name: the stand-in in the chosen language, any other name as
// it is.
QString shownName(const std::string& kept);

// The name kept for a shown text: the program's own stand-in for the shown one, any other
// text as it is (UTF-8).
std::string keptName(const QString& shown);

} // namespace cld
