#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cldtest {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path file(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// The program's temporary output files in `folder` (".cld-XXXXXX.part"), the names an
// output has while it is written.
std::vector<std::filesystem::path> temporaryFilesIn(const std::filesystem::path& folder);

} // namespace cldtest
