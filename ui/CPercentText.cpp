#include "CPercentText.h"

#include <algorithm>

CPercentText::CPercentText(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    setText(QStringLiteral("0%"));
}

void CPercentText::setPercent(int percent) {
    m_percent = std::clamp(percent, 0, 100);
    setText(QString::number(m_percent) + QLatin1Char('%'));
}

int CPercentText::percentOf(qint64 done, qint64 total) {
    if (total <= 0 || done <= 0)
        return 0;
    if (done >= total)
        return 100;
    // done < total here, so done * 100 / total stays below 100 without overflow worries
    // for any realistic byte or sample count.
    return static_cast<int>(static_cast<long double>(done) * 100.0L / total);
}
