#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// Where the user interface takes its texts and pictures from. The program's built-in
// resources are one source; a language library is another that replaces it for the
// whole process.
class ResourceSource {
public:
    virtual ~ResourceSource() = default;

    // Text of a string-table id; empty when the id is unknown.
    virtual QString string(int id) const = 0;
    // Caption of a dialog template; empty when the id is unknown.
    virtual QString dialogCaption(int id) const = 0;
    // A bitmap resource (window mask, background, button images); null when absent.
    virtual QImage bitmap(int id) const = 0;
    // An image of the given resource type ("PNG"); null when absent.
    virtual QImage image(const QString& type, int id) const = 0;
    // An icon resource; null when absent.
    virtual QIcon icon(int id) const = 0;
    // Text of control `controlId` in dialog `dialogId`; empty when the source has none
    // (the dialog then keeps its built-in English text).
    virtual QString controlText(int dialogId, int controlId) const {
        (void)dialogId;
        (void)controlId;
        return {};
    }
};
