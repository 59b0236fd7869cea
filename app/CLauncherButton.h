#pragma once

#include "CImageButton.h"

// A picture button of the launcher that can be used from the keyboard: it takes the focus
// from Tab, draws a focus ring in the skin's colours while it has it, and is pressed by
// Return and Enter as well as by Space.
class CLauncherButton : public CImageButton {
    Q_OBJECT
public:
    explicit CLauncherButton(QWidget* parent = nullptr);

    // The skin's accent, which the focus ring is drawn in.
    static QColor focusColour();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
