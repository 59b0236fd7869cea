#pragma once

#include <string>

// Binds a shared library that sits in the program's own folder and looks up its one
// export. The ripper library is bound this way by a process-wide instance built during
// static initialisation, before any start-up code runs, and freed at process exit.
class LibraryBinding {
public:
    // Loads folder + fileName; a missing library or export leaves the entry null.
    LibraryBinding(const std::string& folder, const std::string& fileName, const char* exportName);
    ~LibraryBinding();
    LibraryBinding(const LibraryBinding&) = delete;
    LibraryBinding& operator=(const LibraryBinding&) = delete;

    // The export's address, or null.
    void* entry() const { return m_entry; }
    const std::string& path() const { return m_path; }
    // Why the library or its export could not be bound (empty when bound).
    const std::string& errorText() const { return m_error; }

    // Folder of the program's own files, ending in "/": the running program file's folder,
    // or the installation's private folder (see InstallLayout.h).
    static std::string programFolder();

    // The process-wide binding of the ripper library ("libcldrip.so", "GetClassObject").
    static LibraryBinding& ripper();

private:
    void* m_handle = nullptr;
    void* m_entry = nullptr;
    std::string m_path;
    std::string m_error;
};
