#include "DriveRegistry.h"

#include "CueSheet.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <mutex>
#include <sstream>

namespace vdrive {
namespace {

std::string readFile(const std::string& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    std::ostringstream s;
    if (ok)
        s << in.rdbuf();
    return s.str();
}

bool parseInt(const std::string& s, int64_t& out) {
    return parseDecimal(s, std::numeric_limits<int64_t>::max(), out);
}

// The text after the first word of line, without blanks around it.
std::string restAfter(const std::string& line, const std::string& key) {
    const size_t at = line.find(key);
    std::string rest = at == std::string::npos ? std::string() : line.substr(at + key.size());
    const size_t from = rest.find_first_not_of(" \t");
    if (from == std::string::npos)
        return {};
    rest.erase(0, from);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t'))
        rest.pop_back();
    return rest;
}

std::string unquoted(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

} // namespace

DriveRegistry& DriveRegistry::instance() {
    static DriveRegistry registry;
    return registry;
}

std::vector<DriveRegistry::Entry> DriveRegistry::parseConfig(const std::string& text,
                                                             const std::string& source,
                                                             std::string& errors) {
    struct Pending {
        std::string cue;
        Faults faults;
        int target = -1;
        int lun = 0;
        std::string product = "Virtual CD-ROM";
        int line = 0;
        bool bad = false;
    };
    std::vector<Pending> images;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto complain = [&](const std::string& what) {
        errors += source + ":" + std::to_string(lineNo) + ": " + what + "\n";
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string key;
        std::istringstream(line) >> key;
        if (key.empty() || key[0] == '#')
            continue;
        // A path or a product text is the rest of the line, taken whole (it may hold
        // blanks and '#'); quotes around it are dropped. Other lines may end in a
        // comment that starts with '#' after a blank.
        const bool textLine = key == "image" || key == "product";
        const std::string rest = restAfter(line, key);
        if (!textLine) {
            for (size_t at = 0; (at = line.find('#', at)) != std::string::npos; ++at) {
                if (at == 0 || line[at - 1] == ' ' || line[at - 1] == '\t') {
                    line.erase(at);
                    break;
                }
            }
        }
        std::istringstream words(line);
        words >> key;
        std::vector<std::string> args;
        for (std::string w; words >> w;)
            args.push_back(w);
        if (key == "image") {
            const std::string path = unquoted(rest);
            if (path.empty()) {
                complain("image needs a cue sheet path");
                continue;
            }
            images.push_back({});
            images.back().cue = path;
            images.back().line = lineNo;
            continue;
        }
        if (images.empty()) {
            complain("'" + key + "' before any image line");
            continue;
        }
        Pending& img = images.back();
        int64_t a = 0, b = 0;
        const bool one = args.size() >= 1 && parseInt(args[0], a);
        const bool two = args.size() >= 2 && parseInt(args[1], b);
        if (key == "product") {
            img.product = unquoted(rest);
        } else if (key == "offset") {
            // A signed sample count; real drives lie within a few thousand samples.
            const std::string w = args.empty() ? std::string() : args[0];
            const bool negative = !w.empty() && w[0] == '-';
            int64_t n = 0;
            if (!parseDecimal(negative ? w.substr(1) : w, 20000, n)) {
                complain("offset needs a sample count between -20000 and 20000");
                img.bad = true;
                continue;
            }
            img.faults.readOffset = negative ? -n : n;
        } else if (!one) {
            complain("'" + key + "' needs a number");
            img.bad = true;
        } else if (key == "jitter") {
            img.faults.jitterFrames = static_cast<int>(std::min<int64_t>(a, 588 * 4));
        } else if (key == "fail" || key == "scratch" || key == "c2") {
            Faults::Range r{a, two ? b : a};
            if (r.last < r.first) {
                complain("range ends before it starts");
                img.bad = true;
                continue;
            }
            (key == "fail"      ? img.faults.failing
             : key == "scratch" ? img.faults.scratched
                                : img.faults.c2)
                .push_back(r);
        } else if (key == "media-changed") {
            img.faults.mediaChanged = static_cast<int>(std::min<int64_t>(a, 1000));
        } else if (key == "slow") {
            img.faults.slowMicrosPerSector = std::min<int64_t>(a, 10'000'000);
        } else if (key == "slow-command") {
            img.faults.slowMicrosPerCommand = std::min<int64_t>(a, 60'000'000);
        } else if (key == "address") {
            if (!two || a > 15 || b > 7) {
                complain("address needs a target (0..15) and a LUN (0..7)");
                img.bad = true;
                continue;
            }
            img.target = static_cast<int>(a);
            img.lun = static_cast<int>(b);
        } else {
            complain("unknown setting '" + key + "'");
            img.bad = true;
        }
    }
    std::vector<Entry> entries;
    for (size_t i = 0; i < images.size(); ++i) {
        Pending& img = images[i];
        if (img.bad)
            continue;
        std::string error;
        std::unique_ptr<DiscImage> disc = DiscImage::load(img.cue, error);
        if (!disc) {
            errors += error + "\n";
            continue;
        }
        Entry e;
        e.target = static_cast<uint8_t>(img.target >= 0 ? img.target : static_cast<int>(i % 12));
        e.lun = static_cast<uint8_t>(img.target >= 0 ? img.lun : static_cast<int>(i / 12));
        bool clash = false;
        for (const Entry& other : entries)
            clash = clash || (other.target == e.target && other.lun == e.lun);
        if (clash) {
            errors += source + ":" + std::to_string(img.line) + ": address already in use\n";
            continue;
        }
        e.drive = std::make_shared<VirtualDrive>(std::shared_ptr<const DiscImage>(std::move(disc)),
                                                 img.faults, img.product);
        entries.push_back(std::move(e));
    }
    return entries;
}

void DriveRegistry::refresh() {
    std::string text;
    std::string source;
    if (const char* config = std::getenv("CLD_VDRIVE_CONFIG"); config && *config) {
        bool ok = false;
        text = readFile(config, ok);
        source = config;
        if (!ok) {
            std::cerr << "vdrive: " << config << ": cannot read the configuration file\n";
            text.clear();
        }
    } else if (const char* images = std::getenv("CLD_VDRIVE_IMAGES"); images && *images) {
        source = "CLD_VDRIVE_IMAGES";
        std::istringstream list(images);
        for (std::string cue; std::getline(list, cue, ':');)
            if (!cue.empty())
                text += "image " + cue + "\n";
    } else {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        std::string dir = xdg && *xdg ? xdg : (home ? std::string(home) + "/.config" : "");
        bool ok = false;
        if (!dir.empty()) {
            source = dir + "/calderine/vdrive.conf";
            text = readFile(source, ok);
        }
        // Without any configuration the plug-in serves no drive; say once how to
        // give it images, or a user sees only "no drive".
        static std::atomic<bool> told{false};
        if (!ok && !told.exchange(true)) {
            std::cerr << "vdrive: no disc images configured; name a configuration file in "
                         "CLD_VDRIVE_CONFIG, cue sheets separated by ':' in CLD_VDRIVE_IMAGES, "
                         "or write "
                      << (source.empty() ? std::string("~/.config/calderine/vdrive.conf") : source)
                      << " (lines \"image <cue sheet path>\")\n"
                      << std::flush;
        }
    }
    const std::string key = source + '\n' + text;
    std::unique_lock lock(m_mutex);
    if (key == m_key)
        return;
    m_key = key;
    std::string errors;
    m_entries = parseConfig(text, source, errors);
    std::istringstream lines(errors);
    for (std::string line; std::getline(lines, line);)
        std::cerr << "vdrive: " << line << '\n';
    std::cerr << std::flush;
}

std::shared_ptr<VirtualDrive> DriveRegistry::find(uint8_t adapter, uint8_t target, uint8_t lun) {
    if (adapter != 0)
        return nullptr;
    std::shared_lock lock(m_mutex);
    for (const Entry& e : m_entries)
        if (e.target == target && e.lun == lun)
            return e.drive;
    return nullptr;
}

size_t DriveRegistry::size() {
    std::shared_lock lock(m_mutex);
    return m_entries.size();
}

} // namespace vdrive
