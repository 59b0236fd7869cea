#include "BuiltinResources.h"

#include "CLDResLibrary.h"
#include "ResourceIds.h"
#include "StringTable.h"

#include <QPixmap>

BuiltinResources::BuiltinResources(ResourceDataLookup programData, const CLDResLibrary* cldRes)
    : m_programData(programData), m_cldRes(cldRes) {}

QString BuiltinResources::string(int id) const {
    const char* text = cld::findEntry(cld::builtinStrings(), id);
    return text ? QString::fromUtf8(text) : QString();
}

QString BuiltinResources::dialogCaption(int id) const {
    const char* text = cld::findEntry(cld::builtinDialogCaptions(), id);
    return text ? QString::fromUtf8(text) : QString();
}

QImage BuiltinResources::decode(const char* type, int id) const {
    if (!m_programData)
        return {};
    const std::span<const unsigned char> data = m_programData(type, id);
    if (data.empty())
        return {};
    QImage img;
    if (!img.loadFromData(data.data(), static_cast<int>(data.size())))
        return {};
    return img;
}

QImage BuiltinResources::bitmap(int id) const {
    return decode(cld::kBitmapType, id);
}

QImage BuiltinResources::image(const QString& type, int id) const {
    // Images compiled into the program win; the resource library beside it holds the rest.
    const QByteArray t = type.toUpper().toLatin1();
    QImage img = decode(t.constData(), id);
    if (img.isNull() && m_cldRes)
        img = m_cldRes->image(type, id);
    return img;
}

QIcon BuiltinResources::icon(int id) const {
    const QImage img = decode(cld::kIconType, id);
    if (img.isNull())
        return {};
    QIcon icon(QPixmap::fromImage(img));
    // The picture with twice the pixels, for title bars and task bars of high-density
    // screens.
    const QByteArray sharpType = QByteArray(cld::kIconType) + cld::kDoubleResolutionSuffix;
    QImage sharp = decode(sharpType.constData(), id);
    if (!sharp.isNull()) {
        QPixmap pixmap = QPixmap::fromImage(sharp);
        pixmap.setDevicePixelRatio(2.0);
        icon.addPixmap(pixmap);
    }
    return icon;
}
