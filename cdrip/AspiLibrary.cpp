#include "AspiLibrary.h"

#include <cstdlib>
#include <dlfcn.h>

namespace cld {

AspiLibrary::~AspiLibrary() {
    unload();
}

bool AspiLibrary::tryOpen(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    auto info = reinterpret_cast<GetASPI32SupportInfoFn>(dlsym(handle, "GetASPI32SupportInfo"));
    auto send = reinterpret_cast<SendASPI32CommandFn>(dlsym(handle, "SendASPI32Command"));
    if (!info || !send) {
        dlclose(handle);
        return false;
    }
    m_handle = handle;
    m_supportInfo = info;
    m_sendCommand = send;
    m_path = path;
    return true;
}

bool AspiLibrary::load() {
    unload();
    if (const char* forced = std::getenv("CLD_ASPI_LIBRARY"); forced && *forced)
        return tryOpen(forced);
    if (tryOpen(kPlainName))
        return true;
    for (const char* dir :
         {"/usr/local/lib", "/usr/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib", "/lib"}) {
        if (tryOpen(std::string(dir) + "/" + kPlainName))
            return true;
    }
    return false;
}

void AspiLibrary::unload() {
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
    m_supportInfo = nullptr;
    m_sendCommand = nullptr;
    m_path.clear();
}

} // namespace cld
