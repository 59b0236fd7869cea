#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

// The help file ("cld.chm"): a bundle of named pages and pictures in one file.
//
// Layout (all numbers little-endian):
//   8 bytes  "CLDHELP1"
//   4 bytes  entry count
//   per entry: 2 bytes name length, the name (UTF-8, "/"-separated, no "..")
//              4 bytes data length, the data
// The first entry is the default topic.
class HelpBundle {
public:
    static constexpr std::string_view kMagic{"CLDHELP1", 8};
    static constexpr std::uint32_t kMaxEntries = 4096;
    static constexpr std::uint64_t kMaxFileSize = 64ull * 1024 * 1024;

    // Parses a bundle held in memory. False (with errorText()) when it is damaged; the
    // bundle is then empty.
    bool parse(std::string_view bytes);
    // Reads and parses a file.
    bool load(const std::filesystem::path& file);

    // Serialises entries in the bundle's layout, the default topic first.
    static std::string build(const std::string& defaultTopic,
                             const std::map<std::string, std::string>& entries);

    bool isEmpty() const { return m_entries.empty(); }
    const std::string& defaultTopic() const { return m_defaultTopic; }
    // The data of an entry, or nullptr when the bundle has none of that name.
    const std::string* find(const std::string& name) const;
    std::size_t size() const { return m_entries.size(); }
    const std::string& errorText() const { return m_error; }

private:
    bool fail(std::string text);

    std::map<std::string, std::string> m_entries;
    std::string m_defaultTopic;
    std::string m_error;
};
