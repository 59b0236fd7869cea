#pragma once

#include "CddbServer.h"

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

class QTreeWidget;
class SettingsRecord;

namespace cld {
class FreeDBLookup;
}

// Asks FreeDB for its list of servers when it opens and returns the host the user picks.
class CFreeDBServersDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 177;
    static constexpr int kList = 1050;

    // `listHost` is the server asked for the list (the default public one).
    explicit CFreeDBServersDlg(const SettingsRecord& settings, QWidget* parent = nullptr,
                               std::string listHost = {});
    ~CFreeDBServersDlg() override;

    // The chosen host after OK (empty when nothing was selected).
    const std::string& chosenHost() const { return m_chosen; }
    bool listDone() const { return m_listDone; }
    const std::vector<CddbServer>& servers() const { return m_servers; }

    static QStringList columnHeaders();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void runList();

    std::unique_ptr<cld::FreeDBLookup> m_lookup;
    std::string m_listHost;
    std::vector<CddbServer> m_servers;
    std::string m_chosen;
    QTreeWidget* m_list;
    bool m_listStarted = false;
    bool m_listDone = false;
};
