#include "LanguageResources.h"

#include "ResourceIds.h"

#include <QPixmap>
#include <dlfcn.h>

namespace cld {

namespace {
// A picture resource never legitimately exceeds a few megabytes; refuse anything absurd.
constexpr unsigned long kLargestPicture = 64ul * 1024 * 1024;
} // namespace

LanguageResources::LanguageResources(void* libraryHandle, std::unique_ptr<ResourceSource> fallback)
    : m_fallback(std::move(fallback)) {
    if (libraryHandle) {
        m_text = reinterpret_cast<langabi::TextFn>(dlsym(libraryHandle, langabi::kTextExport));
        m_resource =
            reinterpret_cast<langabi::ResourceFn>(dlsym(libraryHandle, langabi::kResourceExport));
    }
}

QString LanguageResources::text(int kind, int id, int controlId) const {
    if (!m_text)
        return {};
    const char* t = m_text(kind, id, controlId);
    return t ? QString::fromUtf8(t) : QString();
}

QImage LanguageResources::picture(const char* type, int id) const {
    if (!m_resource)
        return {};
    const unsigned char* data = nullptr;
    unsigned long size = 0;
    if (m_resource(type, id, &data, &size) != 1 || !data || size == 0 || size > kLargestPicture)
        return {};
    QImage img;
    if (!img.loadFromData(data, static_cast<int>(size)))
        return {};
    return img;
}

QString LanguageResources::string(int id) const {
    QString t = text(langabi::kString, id, 0);
    if (t.isEmpty() && m_fallback)
        t = m_fallback->string(id);
    return t;
}

QString LanguageResources::dialogCaption(int id) const {
    QString t = text(langabi::kCaption, id, 0);
    if (t.isEmpty() && m_fallback)
        t = m_fallback->dialogCaption(id);
    return t;
}

QString LanguageResources::controlText(int dialogId, int controlId) const {
    QString t = text(langabi::kControl, dialogId, controlId);
    if (t.isEmpty() && m_fallback)
        t = m_fallback->controlText(dialogId, controlId);
    return t;
}

QImage LanguageResources::bitmap(int id) const {
    QImage img = picture(kBitmapType, id);
    if (img.isNull() && m_fallback)
        img = m_fallback->bitmap(id);
    return img;
}

QImage LanguageResources::image(const QString& type, int id) const {
    const QByteArray t = type.toUpper().toLatin1();
    QImage img = picture(t.constData(), id);
    if (img.isNull() && m_fallback)
        img = m_fallback->image(type, id);
    return img;
}

QIcon LanguageResources::icon(int id) const {
    const QImage img = picture(kIconType, id);
    if (!img.isNull())
        return QIcon(QPixmap::fromImage(img));
    return m_fallback ? m_fallback->icon(id) : QIcon();
}

} // namespace cld
