#pragma once

#include "CVideoProgressDlg.h"
#include "ResourceIds.h"

#include <cstdint>

struct JobContext;

// Converts the chosen file (dialog 170): the encoder runs while this dialog shows the
// input pictures (preview), the encoded pictures (postview), the encoded time, the output
// size and the progress. The run starts by itself once the dialog is shown.
class CAVI2WMVProgressDlg : public CVideoProgressDlg {
    Q_OBJECT

public:
    static constexpr int kDialogId = cld::IDD_AVI2WMV_PROGRESS;

    CAVI2WMVProgressDlg(JobContext& context, QWidget* parent);

protected:
    void prepareRun() override;
    void addSources(WmSourceGroup& group) override;
    bool toldIncompleteEnd() override;
    int writeFailureText(uint32_t code) const override;
};
