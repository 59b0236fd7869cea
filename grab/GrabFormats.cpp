#include "GrabFormats.h"

#include <algorithm>

namespace cld {

namespace {

struct Entry {
    std::string encoder;
    std::string key;
    std::string value;
};

std::vector<Entry> entriesOf(const std::string& kept) {
    std::vector<Entry> out;
    std::size_t at = 0;
    while (at <= kept.size()) {
        std::size_t end = kept.find(';', at);
        if (end == std::string::npos)
            end = kept.size();
        const std::string item = kept.substr(at, end - at);
        at = end + 1;
        const std::size_t dot = item.find('.');
        const std::size_t equals = item.find('=');
        if (dot == std::string::npos || equals == std::string::npos || dot == 0 ||
            equals <= dot + 1)
            continue;
        out.push_back(
            {item.substr(0, dot), item.substr(dot + 1, equals - dot - 1), item.substr(equals + 1)});
    }
    return out;
}

std::string cleaned(std::string text, bool key) {
    text.erase(std::remove_if(text.begin(), text.end(),
                              [key](char c) {
                                  return c == ';' || c == '\n' || c == '\r' ||
                                         (key && (c == '=' || c == '.'));
                              }),
               text.end());
    return text;
}

} // namespace

std::vector<GrabFormat> grabFormats() {
    const engine::EncoderRegistry& registry = engine::EncoderRegistry::instance();
    std::vector<std::string> names = registry.names();
    std::vector<std::string> ordered;
    for (const char* first : {"wav", "flac"})
        if (std::find(names.begin(), names.end(), first) != names.end())
            ordered.push_back(first);
    for (const std::string& name : names)
        if (std::find(ordered.begin(), ordered.end(), name) == ordered.end())
            ordered.push_back(name);
    std::vector<GrabFormat> out;
    for (const std::string& name : ordered)
        out.push_back(describedFormat(registry, name));
    return out;
}

std::string encoderExtension(const std::string& name) {
    const auto encoder = engine::EncoderRegistry::instance().make(name);
    return encoder ? encoder->extension() : std::string();
}

engine::EncoderOptions grabOptionsOf(const std::string& kept, const std::string& encoder) {
    engine::EncoderOptions out;
    for (const Entry& e : entriesOf(kept))
        if (e.encoder == encoder)
            out[e.key] = e.value;
    return out;
}

std::string withGrabOptions(const std::string& kept, const std::string& encoder,
                            const engine::EncoderOptions& options) {
    std::string out;
    const auto add = [&out](const std::string& name, const std::string& key,
                            const std::string& value) {
        if (key.empty())
            return;
        if (!out.empty())
            out += ';';
        out += name + "." + key + "=" + value;
    };
    for (const Entry& e : entriesOf(kept))
        if (e.encoder != encoder)
            add(e.encoder, e.key, e.value);
    const std::string name = cleaned(encoder, true);
    for (const auto& [key, value] : options)
        add(name, cleaned(key, true), cleaned(value, false));
    return out;
}

} // namespace cld
