#pragma once

#include "cldrip/Aspi.h"

#include <string>

namespace cld {

// An ASPI-style plug-in library loaded with dlopen. CLD_ASPI_LIBRARY, when set, names
// the one file to load; otherwise the plain name is tried on the loader's path, then in
// the system library folders.
class AspiLibrary {
public:
    static constexpr const char* kPlainName = "libwnaspi32.so";

    AspiLibrary() = default;
    ~AspiLibrary();
    AspiLibrary(const AspiLibrary&) = delete;
    AspiLibrary& operator=(const AspiLibrary&) = delete;

    // True when a library with both entries was loaded.
    bool load();
    void unload();

    GetASPI32SupportInfoFn supportInfo() const { return m_supportInfo; }
    SendASPI32CommandFn sendCommand() const { return m_sendCommand; }
    const std::string& loadedPath() const { return m_path; }

private:
    bool tryOpen(const std::string& path);

    void* m_handle = nullptr;
    GetASPI32SupportInfoFn m_supportInfo = nullptr;
    SendASPI32CommandFn m_sendCommand = nullptr;
    std::string m_path;
};

} // namespace cld
