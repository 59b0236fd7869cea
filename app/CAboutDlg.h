#pragma once

#include "ResourceIds.h"

#include <QDialog>

// The About box: the program icon, name and version, and the credit for the MP3 encoder.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static constexpr int kDialogId = cld::IDD_ABOUT;
};
