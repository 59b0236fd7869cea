#pragma once

#include <QDialog>

class QLabel;

namespace cld {

// The modeless window shown while the media runtime is installed at first start.
class CWMFRedistWaitDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 175;
    static constexpr int kHeadlineId = 1000;
    static constexpr int kPleaseWaitId = 1001;

    explicit CWMFRedistWaitDlg(QWidget* parent = nullptr);

    QLabel* headline() const { return m_headline; }
    QLabel* pleaseWait() const { return m_pleaseWait; }

private:
    QLabel* m_headline;
    QLabel* m_pleaseWait;
};

} // namespace cld
