#include "GenreList.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr std::array<const char*, 145> kGenreNames = {"Blues",
                                                      "Classic Rock",
                                                      "Country",
                                                      "Dance",
                                                      "Disco",
                                                      "Funk",
                                                      "Grunge",
                                                      "Hip-Hop",
                                                      "Jazz",
                                                      "Metal",
                                                      "New Age",
                                                      "Oldies",
                                                      "Other",
                                                      "Pop",
                                                      "R&B",
                                                      "Rap",
                                                      "Reggae",
                                                      "Rock",
                                                      "Techno",
                                                      "Industrial",
                                                      "Alternative",
                                                      "Ska",
                                                      "Death Metal",
                                                      "Pranks",
                                                      "Soundtrack",
                                                      "Euro-Techno",
                                                      "Ambient",
                                                      "Trip-Hop",
                                                      "Vocal",
                                                      "Jazz+Funk",
                                                      "Fusion",
                                                      "Trance",
                                                      "Classical",
                                                      "Instrumental",
                                                      "Acid",
                                                      "House",
                                                      "Game",
                                                      "Sound Clip",
                                                      "Gospel",
                                                      "Noise",
                                                      "Alternative Rock",
                                                      "Bass",
                                                      "Soul",
                                                      "Punk",
                                                      "Space",
                                                      "Meditative",
                                                      "Instrumental Pop",
                                                      "Instrumental Rock",
                                                      "Ethnic",
                                                      "Gothic",
                                                      "Darkwave",
                                                      "Techno-Industrial",
                                                      "Electronic",
                                                      "Pop-Folk",
                                                      "Eurodance",
                                                      "Dream",
                                                      "Southern Rock",
                                                      "Comedy",
                                                      "Cult",
                                                      "Gangsta",
                                                      "Top 40",
                                                      "Christian Rap",
                                                      "Pop/Funk",
                                                      "Jungle",
                                                      "Native US",
                                                      "Cabaret",
                                                      "New Wave",
                                                      "Psychadelic",
                                                      "Rave",
                                                      "Showtunes",
                                                      "Trailer",
                                                      "Lo-Fi",
                                                      "Tribal",
                                                      "Acid Punk",
                                                      "Acid Jazz",
                                                      "Polka",
                                                      "Retro",
                                                      "Musical",
                                                      "Rock & Roll",
                                                      "Hard Rock",
                                                      "Folk",
                                                      "Folk-Rock",
                                                      "National Folk",
                                                      "Swing",
                                                      "Fast Fusion",
                                                      "Bebob",
                                                      "Latin",
                                                      "Revival",
                                                      "Celtic",
                                                      "Bluegrass",
                                                      "Avantgarde",
                                                      "Gothic Rock",
                                                      "Progressive Rock",
                                                      "Psychedelic Rock",
                                                      "Symphonic Rock",
                                                      "Slow Rock",
                                                      "Big Band",
                                                      "Chorus",
                                                      "Easy Listening",
                                                      "Acoustic",
                                                      "Humour",
                                                      "Speech",
                                                      "Chanson",
                                                      "Opera",
                                                      "Chamber Music",
                                                      "Sonata",
                                                      "Symphony",
                                                      "Booty Bass",
                                                      "Primus",
                                                      "Porn Groove",
                                                      "Satire",
                                                      "Slow Jam",
                                                      "Club",
                                                      "Tango",
                                                      "Samba",
                                                      "Folklore",
                                                      "Ballad",
                                                      "Power Ballad",
                                                      "Rhytmic Soul",
                                                      "Freestyle",
                                                      "Duet",
                                                      "Punk Rock",
                                                      "Drum Solo",
                                                      "Acapella",
                                                      "Euro-House",
                                                      "Dance Hall",
                                                      "Goa",
                                                      "Drum & Bass",
                                                      "Club-House",
                                                      "Hardcore",
                                                      "Terror",
                                                      "Indie",
                                                      "BritPop",
                                                      "Negerpunk",
                                                      "Polsk Punk",
                                                      "Beat",
                                                      "Christian Gangsta Rap",
                                                      "Heavy Metal",
                                                      "Black Metal",
                                                      "Crossover",
                                                      "Contemporary Christian",
                                                      "Christian Rock",
                                                      "Merengue",
                                                      "Salsa",
                                                      "Trash Metal"};

char lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

bool lessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
    });
}

} // namespace

void GenreList::buildGenreList() {
    m_names.assign(kGenreNames.begin(), kGenreNames.end());
}

int GenreList::genreCount() const {
    return static_cast<int>(m_names.size());
}

std::string GenreList::genreName(int number) const {
    if (number < 0 || number >= genreCount())
        return {};
    return m_names[static_cast<std::size_t>(number)];
}

int GenreList::genreNumber(std::string_view name) const {
    const auto it = std::find(m_names.begin(), m_names.end(), name);
    return it == m_names.end() ? -1 : static_cast<int>(it - m_names.begin());
}

int matchGenrePrefix(const std::vector<std::string>& entries, std::string_view text) {
    if (text.empty())
        return -1;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (startsWithNoCase(entries[i], text))
            return static_cast<int>(i);
    return -1;
}

std::vector<GenreEntry> sortedGenreEntries(const GenreList& genres) {
    std::vector<GenreEntry> entries;
    entries.reserve(genres.names().size());
    for (int i = 0; i < genres.genreCount(); ++i)
        entries.push_back({genres.genreName(i), i});
    std::stable_sort(entries.begin(), entries.end(), [](const GenreEntry& a, const GenreEntry& b) {
        return lessNoCase(a.name, b.name);
    });
    return entries;
}
