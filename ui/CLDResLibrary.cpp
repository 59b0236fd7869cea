#include "CLDResLibrary.h"

#include <QByteArray>
#include <QDir>
#include <dlfcn.h>

CLDResLibrary::~CLDResLibrary() {
    if (m_handle)
        dlclose(m_handle);
}

bool CLDResLibrary::load(const QString& folder) {
    if (m_handle) {
        dlclose(m_handle);
        m_handle = nullptr;
        m_find = nullptr;
    }
    const QByteArray full = QDir(folder).filePath(QString::fromLatin1(kFileName)).toLocal8Bit();
    m_handle = dlopen(full.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
        m_handle = dlopen(kFileName, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* err = dlerror();
        m_error = QString::fromLocal8Bit(err ? err : "cannot load the resource library");
        return false;
    }
    void* sym = dlsym(m_handle, "CLDResFind");
    if (!sym) {
        m_error = QStringLiteral("the resource library has no image lookup");
        dlclose(m_handle);
        m_handle = nullptr;
        return false;
    }
    m_find = reinterpret_cast<FindFn>(sym);
    m_error.clear();
    return true;
}

QImage CLDResLibrary::image(const QString& type, int id) const {
    if (!m_find)
        return {};
    const unsigned char* data = nullptr;
    unsigned long size = 0;
    const QByteArray t = type.toLatin1();
    if (m_find(t.constData(), id, &data, &size) != 1 || !data || size == 0)
        return {};
    // A resource never legitimately exceeds a few megabytes; refuse anything absurd.
    if (size > 64ul * 1024 * 1024)
        return {};
    QImage img;
    if (!img.loadFromData(data, static_cast<int>(size)))
        return {};
    return img;
}
