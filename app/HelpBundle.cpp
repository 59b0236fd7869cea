#include "HelpBundle.h"

#include <fstream>
#include <system_error>

namespace {

bool readU16(std::string_view& in, std::uint32_t& out) {
    if (in.size() < 2)
        return false;
    out = static_cast<std::uint8_t>(in[0]) |
          static_cast<std::uint32_t>(static_cast<std::uint8_t>(in[1])) << 8;
    in.remove_prefix(2);
    return true;
}

bool readU32(std::string_view& in, std::uint32_t& out) {
    if (in.size() < 4)
        return false;
    out = 0;
    for (int i = 3; i >= 0; --i)
        out = (out << 8) | static_cast<std::uint8_t>(in[static_cast<std::size_t>(i)]);
    in.remove_prefix(4);
    return true;
}

void putU16(std::string& out, std::size_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void putU32(std::string& out, std::size_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Entry names are relative paths inside the bundle: no empty name, no absolute path, no
// parent step, no control characters.
bool validName(std::string_view name) {
    if (name.empty() || name.front() == '/')
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\')
            return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = name.find('/', start);
        const std::string_view part = name.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return true;
}

} // namespace

bool HelpBundle::fail(std::string text) {
    m_entries.clear();
    m_defaultTopic.clear();
    m_error = std::move(text);
    return false;
}

bool HelpBundle::parse(std::string_view in) {
    m_entries.clear();
    m_defaultTopic.clear();
    m_error.clear();
    if (in.size() < kMagic.size() || in.substr(0, kMagic.size()) != kMagic)
        return fail("not a help file");
    in.remove_prefix(kMagic.size());
    std::uint32_t count = 0;
    if (!readU32(in, count))
        return fail("the help file is truncated");
    if (count == 0 || count > kMaxEntries)
        return fail("the help file has an invalid number of pages");
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t nameLen = 0;
        if (!readU16(in, nameLen) || in.size() < nameLen)
            return fail("the help file is truncated");
        std::string name(in.substr(0, nameLen));
        in.remove_prefix(nameLen);
        if (!validName(name))
            return fail("the help file holds an invalid page name");
        std::uint32_t dataLen = 0;
        if (!readU32(in, dataLen) || in.size() < dataLen)
            return fail("the help file is truncated");
        if (m_entries.count(name))
            return fail("the help file holds a page twice");
        if (i == 0)
            m_defaultTopic = name;
        m_entries.emplace(std::move(name), std::string(in.substr(0, dataLen)));
        in.remove_prefix(dataLen);
    }
    if (!in.empty())
        return fail("the help file has trailing data");
    return true;
}

bool HelpBundle::load(const std::filesystem::path& file) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec)
        return fail("cannot open the help file");
    if (size > kMaxFileSize)
        return fail("the help file is too large");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return fail("cannot open the help file");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), static_cast<std::streamsize>(size)))
        return fail("cannot read the help file");
    return parse(bytes);
}

std::string HelpBundle::build(const std::string& defaultTopic,
                              const std::map<std::string, std::string>& entries) {
    std::string out(kMagic);
    putU32(out, entries.size());
    auto put = [&out](const std::string& name, const std::string& data) {
        putU16(out, name.size());
        out += name;
        putU32(out, data.size());
        out += data;
    };
    if (auto it = entries.find(defaultTopic); it != entries.end())
        put(it->first, it->second);
    for (const auto& [name, data] : entries) {
        if (name != defaultTopic)
            put(name, data);
    }
    return out;
}

const std::string* HelpBundle::find(const std::string& name) const {
    const auto it = m_entries.find(name);
    return it == m_entries.end() ? nullptr : &it->second;
}
