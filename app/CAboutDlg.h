#pragma once

#include "ResourceIds.h"

#include <QDialog>

// The About box: the program icon, name and version, and the credit for the MP3 encoder.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    static constexpr int kDialogId = cld::IDD_ABOUT;
    // The MP3 encoder's web site, shown and opened by the box's link.
    static constexpr const char* kLameSite = "https://lame.sourceforge.io";
};
