#pragma once

#include "LanguageLibraryAbi.h"
#include "ResourceSource.h"

#include <memory>

namespace cld {

// The resources of a loaded language library: its texts, captions, control texts and
// pictures. Whatever the library lacks comes from the fallback (the program's own
// English resources). The library stays owned by whoever loaded it and must outlive this.
class LanguageResources : public ResourceSource {
public:
    LanguageResources(void* libraryHandle, std::unique_ptr<ResourceSource> fallback);

    QString string(int id) const override;
    QString dialogCaption(int id) const override;
    QImage bitmap(int id) const override;
    QImage image(const QString& type, int id) const override;
    QIcon icon(int id) const override;
    QString controlText(int dialogId, int controlId) const override;

    // Whether the library offers texts and pictures at all.
    bool hasTexts() const { return m_text != nullptr; }
    bool hasPictures() const { return m_resource != nullptr; }

private:
    QString text(int kind, int id, int controlId) const;
    QImage picture(const char* type, int id) const;

    langabi::TextFn m_text = nullptr;
    langabi::ResourceFn m_resource = nullptr;
    std::unique_ptr<ResourceSource> m_fallback;
};

} // namespace cld
