#include "CAboutDlg.h"

#include "AppResources.h"
#include "CHyperLink.h"
#include "StringTable.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setProperty("cld_id", kDialogId);
    setWindowTitle(AppResources::caption(kDialogId));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(AppResources::icon(cld::IDI_PROGRAM).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto* version = new QLabel(AppResources::string(cld::IDS_ABOUT_VERSION), this);
    version->setObjectName(QStringLiteral("version"));
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);

    auto* credit = new QLabel(AppResources::string(cld::IDS_LAME_CREDIT), this);
    credit->setObjectName(QStringLiteral("credit"));
    credit->setWordWrap(true);

    auto* link = new CHyperLink(QStringLiteral("https://lame.sourceforge.io"),
                                QUrl(QStringLiteral("https://lame.sourceforge.io")), this);
    link->setObjectName(QStringLiteral("lamelink"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(version);
    text->addSpacing(6);
    text->addWidget(credit);
    text->addWidget(link);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setFixedWidth(380);
}
