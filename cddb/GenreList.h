#pragma once

#include <string>
#include <string_view>
#include <vector>

// The fixed list of music genre names: the ID3v1 genres 0-79 and the common extension
// 80-144. A genre's number is its index, the number an ID3v1 tag carries.
class GenreList {
public:
    GenreList() = default;

    // Fills the list; calling it again leaves the same 145 names.
    void buildGenreList();

    int genreCount() const;
    // Empty text for a number outside the list.
    std::string genreName(int number) const;
    // Number of the name (exact, case-sensitive), -1 when it is not in the list.
    int genreNumber(std::string_view name) const;
    const std::vector<std::string>& names() const { return m_names; }

private:
    std::vector<std::string> m_names;
};

// How a choice box selects an entry from a text: the first entry, in the box's own order,
// whose text begins with `text`, compared without regard to ASCII case. Returns the
// index in `entries`, or -1 when nothing matches (or `text` is empty), in which case the
// box keeps its selection. A FreeDB category "rock" selects "Rock"; "newage" and "misc"
// select nothing.
int matchGenrePrefix(const std::vector<std::string>& entries, std::string_view text);

// The genre names in the order a sorting choice box shows them (case-insensitive, as the
// box sorts), each with its genre number.
struct GenreEntry {
    std::string name;
    int number = -1;
};
std::vector<GenreEntry> sortedGenreEntries(const GenreList& genres);
