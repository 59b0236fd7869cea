#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
struct JobContext;

// Verifies a rip made earlier, from its cue sheet and files alone, against AccurateRip
// and CTDB, and shows the report: each track's verdicts, the disc's, and which database
// confirms the rip. Reached from the grabber.
class CVerifyRipDlg : public QDialog {
public:
    static constexpr int kDialogId = 2640;
    static constexpr int kCueSheet = 2641;
    static constexpr int kBrowse = 2642;
    static constexpr int kVerify = 2643;
    static constexpr int kReport = 2644;
    // The grabber's button that opens this dialog.
    static constexpr int kOpenButton = 2645;
    static QString openButtonText();

    CVerifyRipDlg(JobContext& context, QWidget* parent = nullptr);

    // Verifies the cue sheet in the field (waiting with the program's events flowing) and
    // shows the report; also what the Verify button does.
    void verify();
    QString report() const;

private:
    JobContext& m_context;
    QLineEdit* m_cue = nullptr;
    QPlainTextEdit* m_report = nullptr;
    QPushButton* m_verifyButton = nullptr;
};

// The report of a checked rip, as the rip log words its verdicts (English, as the log).
namespace cld::engine {
struct RipCheck;
}
std::string verifyReportText(const cld::engine::RipCheck& check);
