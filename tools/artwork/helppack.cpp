// cld_helppack OUT DEFAULT_TOPIC FILE...
//
// Packs help pages into the program's help file. Each file is stored under its own file
// name; DEFAULT_TOPIC names the page the viewer opens first.
#include "HelpBundle.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: cld_helppack OUT DEFAULT_TOPIC FILE...\n");
        return 2;
    }
    std::map<std::string, std::string> entries;
    for (int i = 3; i < argc; ++i) {
        const std::filesystem::path file(argv[i]);
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        std::ifstream in(file, std::ios::binary);
        std::string data(ec ? 0 : static_cast<std::size_t>(size), '\0');
        if (ec || !in || !in.read(data.data(), static_cast<std::streamsize>(data.size()))) {
            std::fprintf(stderr, "cld_helppack: cannot read %s\n", argv[i]);
            return 1;
        }
        entries[file.filename().string()] = std::move(data);
    }
    if (!entries.count(argv[2])) {
        std::fprintf(stderr, "cld_helppack: the default topic %s is not among the pages\n",
                     argv[2]);
        return 1;
    }
    const std::string bytes = HelpBundle::build(argv[2], entries);
    HelpBundle check;
    if (!check.parse(bytes)) {
        std::fprintf(stderr, "cld_helppack: %s\n", check.errorText().c_str());
        return 1;
    }
    const std::filesystem::path out(argv[1]);
    const std::filesystem::path tmp = out.string() + ".tmp";
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        o.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!o.flush()) {
            std::fprintf(stderr, "cld_helppack: cannot write %s\n", tmp.c_str());
            return 1;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, out, ec);
    if (ec) {
        std::fprintf(stderr, "cld_helppack: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
