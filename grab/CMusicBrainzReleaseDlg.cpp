#include "CMusicBrainzReleaseDlg.h"

#include "AppResources.h"
#include "ControlTag.h"
#include "FreeDBText.h"
#include "MessageService.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using cld::tagControl;

namespace {

QString text(int control, const char* english) {
    return AppResources::controlText(CMusicBrainzReleaseDlg::kDialogId, control,
                                     QString::fromUtf8(english));
}

QString qs(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

QStringList CMusicBrainzReleaseDlg::columnHeaders() {
    return {QStringLiteral("           Artist           "),
            QStringLiteral("            Title            "),
            QStringLiteral("  Year  "),
            QStringLiteral(" Country "),
            QStringLiteral(" Disc "),
            QStringLiteral(" Tracks ")};
}

CMusicBrainzReleaseDlg::CMusicBrainzReleaseDlg(const std::vector<cld::mb::MbRelease>& releases,
                                               QWidget* parent)
    : QDialog(parent) {
    tagControl(this, kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    m_list = tagControl(new QTreeWidget(this), kList);
    m_list->setHeaderLabels(columnHeaders());
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setRootIsDecorated(false);
    cld::styleReportList(m_list);
    for (int c = 2; c < 6; ++c)
        m_list->headerItem()->setTextAlignment(c, Qt::AlignCenter);
    for (const cld::mb::MbRelease& release : releases) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, qs(release.artist));
        item->setText(1, qs(release.album));
        item->setText(2, release.year > 0 ? QString::number(release.year) : QString());
        item->setText(3, qs(release.country));
        item->setText(
            4, release.mediumCount > 1
                   ? QStringLiteral("%1/%2").arg(release.mediumPosition).arg(release.mediumCount)
                   : QString());
        item->setText(5, QString::number(release.trackTitles.size()));
        for (int c = 2; c < 6; ++c)
            item->setTextAlignment(c, Qt::AlignCenter);
    }
    cld::sizeColumnsToHeaders(m_list);
    if (m_list->topLevelItemCount() > 0) {
        m_list->setCurrentItem(m_list->topLevelItem(0));
        m_list->topLevelItem(0)->setSelected(true);
    }

    auto* buttons = new QDialogButtonBox(this);
    tagControl(buttons->addButton(text(1, "O&K"), QDialogButtonBox::AcceptRole), 1);
    tagControl(buttons->addButton(text(2, "&Cancel"), QDialogButtonBox::RejectRole), 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &CMusicBrainzReleaseDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CMusicBrainzReleaseDlg::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text(-1, "MusicBrainz Releases of this Disc:"), this));
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(620, 300);
}

void CMusicBrainzReleaseDlg::accept() {
    QTreeWidgetItem* item = m_list->currentItem();
    const int row = item && item->isSelected() ? m_list->indexOfTopLevelItem(item) : -1;
    if (row < 0) {
        // The same "select an entry" message as FreeDB's list.
        MessageService::message(148, MessageIcon::None, MessageButtons::Ok, this);
        return;
    }
    m_chosen = row;
    QDialog::accept();
}
