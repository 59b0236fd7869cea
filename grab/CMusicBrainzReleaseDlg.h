#pragma once

#include "MbParse.h"

#include <QDialog>
#include <vector>

class QTreeWidget;

// The releases MusicBrainz knows for the disc, listed like FreeDB's inexact matches: the
// user picks one (OK or a double click) and the grabber takes its names.
class CMusicBrainzReleaseDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 2520;
    static constexpr int kList = 2521;

    CMusicBrainzReleaseDlg(const std::vector<cld::mb::MbRelease>& releases,
                           QWidget* parent = nullptr);

    // The row chosen, valid after OK.
    int chosen() const { return m_chosen; }
    static QStringList columnHeaders();

public slots:
    void accept() override;

private:
    QTreeWidget* m_list;
    int m_chosen = -1;
};
