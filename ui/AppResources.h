#pragma once

#include "ResourceSource.h"

#include <QIcon>
#include <QImage>
#include <QString>
#include <memory>

// The process-wide resource lookup. Every dialog takes its strings, captions, bitmaps,
// images and icons from here, so that switching the source (a language library) switches
// the whole user interface.
class AppResources {
public:
    // Makes source the current resource source and returns the previous one. A null
    // source makes every lookup answer empty.
    static std::unique_ptr<ResourceSource> setSource(std::unique_ptr<ResourceSource> source);
    static const ResourceSource* source();

    static QString string(int id);
    static QString caption(int id);
    // The text of a dialog's control: the source's text, or `english` when it has none.
    // Every dialog sets its control texts through this, so a language library can
    // replace them.
    static QString controlText(int dialogId, int controlId, const QString& english);
    static QImage bitmap(int id);
    static QImage png(int id);
    static QIcon icon(int id);
};
