#pragma once

#include "CddbMatch.h"

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CHyperLink;
class QTreeWidget;
class SettingsRecord;

namespace cld {
class FreeDBLookup;
}

// Asks FreeDB for the disc as soon as it opens, lists the matches and, on OK, reads the
// chosen entry: artist, album title, category and track titles for the grabber.
class CFreeDBQueryDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 154;
    static constexpr int kList = 1143;
    static constexpr int kLink = 1144;

    // What the grabber knows of the disc in the drive.
    struct Disc {
        std::uint32_t discId = 0;
        std::vector<std::string> startTexts; // "m:ss.ff" per track
        std::uint32_t discSeconds = 0;
    };
    struct Result {
        std::string artist;
        std::string album;
        std::string category;
        std::vector<std::string> titles; // first = track 1; UTF-8
    };

    CFreeDBQueryDlg(const SettingsRecord& settings, Disc disc, QWidget* parent = nullptr);
    ~CFreeDBQueryDlg() override;

    // Valid after the dialog closed with OK.
    const Result& lookupResult() const { return m_result; }
    // True once the query that runs on opening has ended (whatever its outcome).
    bool queryDone() const { return m_queryDone; }
    const std::vector<CddbMatch>& matches() const { return m_matches; }

    // The header texts of the list, in column order.
    static QStringList columnHeaders();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showFailure(int stringId);
    void runQuery();

    std::unique_ptr<cld::FreeDBLookup> m_lookup;
    Disc m_disc;
    std::vector<CddbMatch> m_matches;
    Result m_result;
    QTreeWidget* m_list;
    CHyperLink* m_link;
    bool m_queryStarted = false;
    bool m_queryDone = false;
};
