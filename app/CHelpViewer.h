#pragma once

#include "HelpBundle.h"

#include <QDialog>
#include <QTextBrowser>

// Shows the pages of the help file. Links between pages and the pictures they show are
// served from the bundle; web links open in the desktop's browser.
class CHelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    CHelpBrowser(const HelpBundle& bundle, QWidget* parent);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    const HelpBundle& m_bundle;
};

class CHelpViewer : public QDialog {
    Q_OBJECT
public:
    // Takes over a bundle that loaded successfully and shows its default topic.
    CHelpViewer(HelpBundle bundle, QWidget* parent = nullptr);

    CHelpBrowser* browser() const { return m_browser; }
    QString currentPage() const;

private:
    HelpBundle m_bundle;
    CHelpBrowser* m_browser;
};
