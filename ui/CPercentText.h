#pragma once

#include <QLabel>

// A label that shows a percentage ("42%"), kept within 0 to 100.
class CPercentText : public QLabel {
    Q_OBJECT
public:
    explicit CPercentText(QWidget* parent = nullptr);

    void setPercent(int percent);
    int percent() const { return m_percent; }

    // Percentage of done out of total, rounded down; 0 when total is not positive.
    static int percentOf(qint64 done, qint64 total);

private:
    int m_percent = 0;
};
