#pragma once

#include "CFreeDBListDlg.h"
#include "CddbMatch.h"

#include <cstdint>
#include <string>
#include <vector>

class SettingsRecord;

// Asks FreeDB for the disc as soon as it opens, lists the matches and, on OK, reads the
// chosen entry: artist, album title, category and track titles for the grabber.
//
// While a command runs the window says which server it asks; the list and OK wait, and
// Cancel ends the command at once. When the user has no e-mail address for the servers
// the dialog asks for one, once: an address given is kept in the settings, without one an
// anonymous identity is sent.
class CFreeDBQueryDlg : public CFreeDBListDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 154;
    static constexpr int kList = 1143;
    static constexpr int kLink = 1144;
    // The line that says what the dialog is waiting for ("Asking SERVER...").
    static constexpr int kStatus = 2312;
    // The question for an e-mail address and its edit field.
    static constexpr int kEmailDialogId = 2310;
    static constexpr int kEmailEdit = 2311;

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

    // An e-mail address the user gives when asked is stored in `settings`.
    CFreeDBQueryDlg(SettingsRecord& settings, Disc disc, QWidget* parent = nullptr);
    ~CFreeDBQueryDlg() override;

    // Valid after the dialog closed with OK.
    const Result& lookupResult() const { return m_result; }
    // True once the query that runs on opening has ended (whatever its outcome).
    bool queryDone() const { return m_queryDone; }
    // Forgets that the user declined to give an e-mail address in this run of the
    // program, so the next query asks again.
    static void forgetDeclinedEmail();
    const std::vector<CddbMatch>& matches() const { return m_matches; }

    // The header texts of the list, in column order.
    static QStringList columnHeaders();

public slots:
    void accept() override;

protected:
    // Asks for the disc.
    void startCommand() override;

private:
    void showFailure(int stringId);
    // Asks for an e-mail address when the settings have none (once per run).
    void askForEmail();
    // Busy or not, naming the server asked.
    void setQueryBusy(bool busy);

    SettingsRecord& m_settings;
    Disc m_disc;
    std::vector<CddbMatch> m_matches;
    Result m_result;
    bool m_queryDone = false;
};
