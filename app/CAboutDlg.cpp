#include "CAboutDlg.h"

#include "AppResources.h"
#include "CHyperLink.h"
#include "ProductIdentity.h"
#include "StringIds.h"
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
    icon->setAccessibleName(QString::fromUtf8(cld::identity::kProduct));

    auto* version = new QLabel(AppResources::string(cld::IDS_ABOUT_VERSION), this);
    version->setObjectName(QStringLiteral("version"));
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);

    auto* credit = new QLabel(AppResources::string(cld::IDS_LAME_CREDIT), this);
    credit->setObjectName(QStringLiteral("credit"));
    credit->setWordWrap(true);

    // The link shows the very address it opens.
    const QUrl lameSite(QString::fromLatin1(kLameSite));
    auto* link = new CHyperLink(lameSite.toString(), lameSite, this);
    link->setObjectName(QStringLiteral("lamelink"));
    link->setAccessibleName(lameSite.toString());
    link->setAccessibleDescription(credit->text());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("1"));
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

    // The box opens with OK focused (Return or Escape closes it at once); Tab reaches the link.
    ok->setDefault(true);
    ok->setFocus(Qt::OtherFocusReason);
    setAccessibleName(windowTitle());
}
