#include "LibraryBinding.h"

#include "InstallLayout.h"

#include <array>
#include <dlfcn.h>
#include <unistd.h>

LibraryBinding::LibraryBinding(const std::string& folder, const std::string& fileName,
                               const char* exportName)
    : m_path(folder + fileName) {
    // Only the file in the given folder: never whatever the loader would find elsewhere.
    // The library keeps process-wide state (its drive engine) until the process ends, so
    // it stays mapped after the binding lets go of it: its objects stay valid and its
    // own destructors run at exit.
    m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!m_handle) {
        const char* err = dlerror();
        m_error = err ? err : "cannot load " + m_path;
        return;
    }
    dlerror();
    m_entry = dlsym(m_handle, exportName);
    if (!m_entry) {
        const char* err = dlerror();
        m_error = err ? err : std::string("no export ") + exportName;
    }
}

LibraryBinding::~LibraryBinding() {
    if (m_handle)
        dlclose(m_handle);
}

std::string LibraryBinding::programFolder() {
    std::array<char, 4096> buf{};
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return "./";
    std::string path(buf.data(), static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return "./";
    path.resize(slash + 1);
    // An installed program keeps its libraries and data apart from bin/.
    return cld::privateFolderFor(path);
}

LibraryBinding& LibraryBinding::ripper() {
    static LibraryBinding binding(programFolder(), "libcldrip.so", "GetClassObject");
    return binding;
}

namespace {
// Binds the ripper library during static initialisation, as the program always has.
[[maybe_unused]] const LibraryBinding& g_ripperAtStart = LibraryBinding::ripper();
} // namespace
