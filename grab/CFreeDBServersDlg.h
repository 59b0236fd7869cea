#pragma once

#include "CFreeDBListDlg.h"
#include "CddbServer.h"

#include <string>
#include <vector>

class SettingsRecord;

// Asks FreeDB for its list of servers when it opens and returns the host the user picks.
// While the list is asked for, the window names the server and Cancel ends the command.
class CFreeDBServersDlg : public CFreeDBListDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 177;
    static constexpr int kList = 1050;
    // The line that says which server is asked.
    static constexpr int kStatus = 2312;

    // `listHost` is the server asked for the list ("host", "host:port" or an http address;
    // empty: the default public one). `email`, when not empty, is the identity sent
    // instead of the stored one (the options dialog's field before it is stored).
    explicit CFreeDBServersDlg(const SettingsRecord& settings, QWidget* parent = nullptr,
                               std::string listHost = {}, const std::string& email = {});
    ~CFreeDBServersDlg() override;

    // The chosen host after OK (empty when nothing was selected).
    const std::string& chosenHost() const { return m_chosen; }
    bool listDone() const { return m_listDone; }
    const std::vector<CddbServer>& servers() const { return m_servers; }

    static QStringList columnHeaders();

public slots:
    void accept() override;

protected:
    // Asks for the list.
    void startCommand() override;

private:
    std::string m_listHost;
    std::vector<CddbServer> m_servers;
    std::string m_chosen;
    bool m_listDone = false;
};
