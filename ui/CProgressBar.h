#pragma once

#include <QColor>
#include <QWidget>

// A custom-drawn progress bar: a sunken track filled from the left with a glossy band.
// Positions outside the range are held at its ends; an empty range shows nothing.
class CProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit CProgressBar(QWidget* parent = nullptr);

    void setRange(int lower, int upper);
    void setPos(int pos);
    void setStep(int step) { m_step = step; }
    // Advances by the step, wrapping to the lower end past the upper one.
    void stepIt();

    int lower() const { return m_lower; }
    int upper() const { return m_upper; }
    int pos() const { return m_pos; }
    void setBarColour(QColor colour);

    // Width in pixels of the filled part for a bar `width` pixels wide.
    int filledWidth(int width) const;

    QSize sizeHint() const override { return {200, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_lower = 0;
    int m_upper = 100;
    int m_pos = 0;
    int m_step = 10;
    QColor m_colour{0x2f, 0x7f, 0xd8};
};
