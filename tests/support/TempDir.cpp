#include "TempDir.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace cldtest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cldtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::vector<std::filesystem::path> temporaryFilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(".cld-", 0) == 0 && e.path().extension() == ".part")
            found.push_back(e.path());
    }
    return found;
}

} // namespace cldtest
