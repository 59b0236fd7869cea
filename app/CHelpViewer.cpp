#include "CHelpViewer.h"

#include "AppResources.h"
#include "ProductIdentity.h"
#include "ResourceIds.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kScheme = QStringLiteral("cldhelp");
}

CHelpBrowser::CHelpBrowser(const HelpBundle& bundle, QWidget* parent)
    : QTextBrowser(parent), m_bundle(bundle) {
    setOpenLinks(true);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            QDesktopServices::openUrl(url);
    });
}

QVariant CHelpBrowser::loadResource(int type, const QUrl& name) {
    if (name.scheme() == QLatin1String("http") || name.scheme() == QLatin1String("https"))
        return {};
    QString path = name.path();
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    const std::string* page = m_bundle.find(path.toStdString());
    if (!page)
        return {};
    const QByteArray bytes(page->data(), static_cast<qsizetype>(page->size()));
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(bytes);
    return bytes;
}

CHelpViewer::CHelpViewer(HelpBundle bundle, QWidget* parent)
    : QDialog(parent), m_bundle(std::move(bundle)) {
    setObjectName(QStringLiteral("help"));
    setWindowTitle(QString::fromUtf8(cld::identity::kProduct) + QStringLiteral(" Help"));
    setWindowIcon(AppResources::icon(cld::IDI_PROGRAM));
    setAttribute(Qt::WA_DeleteOnClose);
    m_browser = new CHelpBrowser(m_bundle, this);

    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    auto* home = new QPushButton(QStringLiteral("&Contents"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    back->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(home, &QPushButton::clicked, m_browser, &QTextBrowser::home);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* bar = new QHBoxLayout;
    bar->addWidget(back);
    bar->addWidget(home);
    bar->addStretch(1);
    bar->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser, 1);
    layout->addLayout(bar);
    resize(640, 560);

    // The pages share one style sheet; the document applies it to every page it shows.
    if (const std::string* css = m_bundle.find("style.css"))
        m_browser->document()->setDefaultStyleSheet(
            QString::fromUtf8(css->data(), static_cast<qsizetype>(css->size())));

    QUrl start;
    start.setScheme(kScheme);
    start.setPath(QLatin1Char('/') + QString::fromStdString(m_bundle.defaultTopic()));
    m_browser->setSource(start, QTextDocument::HtmlResource);
}

QString CHelpViewer::currentPage() const {
    QString path = m_browser->source().path();
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}
