#pragma once

#include <QImage>
#include <QString>

// The picture library that sits beside the program ("libCLDRes.so"). It exports one
// lookup, CLDResFind(type, id, &data, &size), answering 1 with the bytes of an image
// resource or 0 when it has none.
class CLDResLibrary {
public:
    CLDResLibrary() = default;
    ~CLDResLibrary();
    CLDResLibrary(const CLDResLibrary&) = delete;
    CLDResLibrary& operator=(const CLDResLibrary&) = delete;

    // Loads the library from the given folder, falling back to the loader's own search
    // path with the plain file name. Returns whether the lookup is available.
    bool load(const QString& folder);
    bool isLoaded() const { return m_find != nullptr; }
    QString errorText() const { return m_error; }

    // Decoded image of a resource type and id; null when absent or undecodable.
    QImage image(const QString& type, int id) const;

    static constexpr const char* kFileName = "libCLDRes.so";

private:
    using FindFn = int (*)(const char*, int, const unsigned char**, unsigned long*);

    void* m_handle = nullptr;
    FindFn m_find = nullptr;
    QString m_error;
};
