#pragma once

#include "ResourceSource.h"

#include <cstddef>
#include <span>

class CLDResLibrary;

// Raw resource data compiled into the program: type ("BITMAP", "ICON", "PNG") and id.
using ResourceDataLookup = std::span<const unsigned char> (*)(const char* type, int id);

// The program's own resources: the built-in string table, the bitmaps and icons compiled
// into the program, and the PNG images of the resource library beside it.
class BuiltinResources : public ResourceSource {
public:
    // programData may be null (no compiled-in pictures); cldRes may be null (no resource
    // library). The resource library is not owned.
    BuiltinResources(ResourceDataLookup programData, const CLDResLibrary* cldRes);

    QString string(int id) const override;
    QString dialogCaption(int id) const override;
    QImage bitmap(int id) const override;
    QImage image(const QString& type, int id) const override;
    QIcon icon(int id) const override;

private:
    QImage decode(const char* type, int id) const;

    ResourceDataLookup m_programData;
    const CLDResLibrary* m_cldRes;
};
