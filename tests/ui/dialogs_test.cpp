// Every dialog of the program, opened one at a time as a user (and a screen reader) meets
// it: each control a user can reach has a name, each label with a mnemonic leads to its
// field, titles are whole, and under the German library no English is left.
#include "AppResources.h"
#include "AppTestKit.h"
#include "BuiltinResources.h"
#include "CFreeDBServersDlg.h"
#include "CLDResLibrary.h"
#include "CMP3EncoderProgressDlg.h"
#include "COptionsDlg.h"
#include "CProgressBar.h"
#include "CSignalMonitor.h"
#include "DialogGallery.h"
#include "DialogPolish.h"
#include "GenreList.h"
#include "GetErrorText.h"
#include "JobContext.h"
#include "JobSpec.h"
#include "LanguageResources.h"
#include "MediaErrorText.h"
#include "MessageService.h"
#include "ProgramIdentity.h"
#include "ProgramResources.h"
#include "SettingsRecord.h"
#include "StringIds.h"
#include "TempDir.h"
#include "TestEnv.h"
#include "VideoDialogKit.h"
#include "WmErrors.h"
#include "WmVideoErrors.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <climits>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace {

using cld::DialogGallery;

class Library {
public:
    explicit Library(const char* path) : m_handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (m_handle)
            dlclose(m_handle);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    void* handle() const { return m_handle; }

private:
    void* m_handle;
};

// A private settings store, quiet messages, the program's resources (or the German
// library over them) and the dialog polish of the program.
class DialogWalk : public ::testing::Test {
protected:
    void SetUp() override {
        cld::setUpApplication(*qobject_cast<QApplication*>(QCoreApplication::instance()));
        m_pictures.load(QString::fromStdString(cldtest::binDir().string()));
        useEnglish();
    }
    void TearDown() override { AppResources::setSource(nullptr); }

    void useEnglish() {
        AppResources::setSource(
            std::make_unique<BuiltinResources>(&cldProgramResource, &m_pictures));
    }
    void useGerman() {
        ASSERT_NE(m_german.handle(), nullptr) << dlerror();
        AppResources::setSource(std::make_unique<cld::LanguageResources>(
            m_german.handle(),
            std::make_unique<BuiltinResources>(&cldProgramResource, &m_pictures)));
    }

    // Opens every dialog in turn, shown but with its work held back, and hands it over.
    void forEachDialog(const std::function<void(const DialogGallery::Entry&, QDialog&)>& look) {
        for (const DialogGallery::Entry& entry : DialogGallery::entries()) {
            SettingsRecord settings;
            GenreList genres;
            JobContext jobs{settings, genres};
            std::unique_ptr<QDialog> dialog = entry.make(jobs, nullptr);
            ASSERT_TRUE(dialog) << entry.name.toStdString();
            dialog->installEventFilter(new cld::HoldQueuedWork(dialog.get()));
            dialog->show();
            QCoreApplication::processEvents();
            look(entry, *dialog);
            dialog->hide();
        }
    }

    cldtest::TempDir m_dir;
    cldtest::ScopedEnv m_registry{"CLD_REGISTRY_DIR", (m_dir.path() / "registry").string()};
    cldtest::ScopedEnv m_home{"HOME", m_dir.path().string()};
    cldtest::MessageScope m_messages;
    CLDResLibrary m_pictures;
    Library m_german{LANG_GERMAN_LIBRARY};
};

bool hasLetter(const QString& text) {
    for (const QChar c : text)
        if (c.isLetter())
            return true;
    return false;
}

QString describe(const QWidget* w) {
    QString text;
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        text = b->text();
    return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName() +
           (text.isEmpty() ? QString() : QStringLiteral(" \"") + text + '"');
}

bool interactiveRole(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::ProgressBar:
    case QAccessible::List:
    case QAccessible::Table:
    case QAccessible::Tree:
    case QAccessible::Link:
        return true;
    default:
        return false;
    }
}

// Walks the accessible tree below `a` and lists each visible control a user can reach
// whose name says nothing.
void walk(QAccessibleInterface* a, const QString& where, QStringList& unnamed,
          QStringList& unvalued, int depth = 0) {
    if (!a || depth > 30)
        return;
    const QAccessible::State state = a->state();
    if (state.invisible)
        return;
    if (interactiveRole(a->role())) {
        const QString name = a->text(QAccessible::Name);
        QObject* o = a->object();
        const QString what = where + QStringLiteral(": ") +
                             (o ? QString::fromLatin1(o->metaObject()->className()) +
                                      QLatin1Char(' ') + o->objectName()
                                : QStringLiteral("?"));
        if (!hasLetter(name))
            unnamed << what + QStringLiteral(" \"") + name + QLatin1Char('"');
        if (a->role() == QAccessible::ProgressBar &&
            (!a->valueInterface() || !a->valueInterface()->currentValue().isValid()))
            unvalued << what;
    }
    // A list's rows are its data, not controls.
    if (a->role() == QAccessible::List || a->role() == QAccessible::Table ||
        a->role() == QAccessible::Tree || a->role() == QAccessible::ComboBox)
        return;
    for (int i = 0; i < a->childCount(); ++i)
        walk(a->child(i), where, unnamed, unvalued, depth + 1);
}

TEST_F(DialogWalk, EveryControlAUserCanReachHasAName) {
    QStringList unnamed;
    QStringList unvalued;
    QStringList sameBrowseNames;
    int dialogs = 0;
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        ++dialogs;
        walk(QAccessible::queryAccessibleInterface(&dialog), entry.name, unnamed, unvalued);
        // Whatever has an id of its own and is not a plain caption is named too: the
        // pictures of the video dialogs, the signal monitor, value labels a click can focus.
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (!w->isVisible() || !w->property("cld_id").isValid() ||
                (qobject_cast<QLabel*>(w) && w->focusPolicy() == Qt::NoFocus))
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            const QString name = a ? a->text(QAccessible::Name) : QString();
            if (!hasLetter(name))
                unnamed << entry.name + QStringLiteral(": ") + describe(w) + QStringLiteral(" \"") +
                               name + QLatin1Char('"');
            // A level is spoken in decibels.
            if (w->inherits("CSignalMonitor") &&
                (!a || !a->text(QAccessible::Value).endsWith(QStringLiteral("dB"))))
                unvalued << entry.name + QStringLiteral(": ") + describe(w);
        }
        // The "..." buttons of one dialog can be told apart.
        QSet<QString> names;
        for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
            if (b->text() != QStringLiteral("...") || !b->isVisible())
                continue;
            const QString name = QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name);
            if (names.contains(name))
                sameBrowseNames << entry.name + QStringLiteral(": ") + name;
            names.insert(name);
        }
    });
    EXPECT_EQ(dialogs, static_cast<int>(DialogGallery::entries().size()));
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(unvalued.isEmpty()) << unvalued.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(sameBrowseNames.isEmpty()) << sameBrowseNames.join(QLatin1Char('\n')).toStdString();
}

TEST_F(DialogWalk, FieldsAreNamedByTheirLabelsAndBrowseButtonsByWhatTheyChoose) {
    std::map<QString, std::map<int, QString>> names;
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            const QVariant id = w->property("cld_id");
            if (!id.isValid())
                continue;
            if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w))
                names[entry.name][id.toInt()] = a->text(QAccessible::Name);
        }
    });
    EXPECT_EQ(names["cd_grabber"][1074], QStringLiteral("Artist Name"));
    EXPECT_EQ(names["cd_grabber"][1079], QStringLiteral("Album Name"));
    EXPECT_EQ(names["cd_grabber"][1066], QStringLiteral("Select CD-ROM Drive"));
    EXPECT_EQ(names["folder_to_mp3"][1039], QStringLiteral("Choose the input folder or file"));
    EXPECT_EQ(names["folder_to_mp3"][1037], QStringLiteral("Choose the output folder or file"));
    EXPECT_EQ(names["video_settings"][1008], QStringLiteral("Choose the input file"));
    // Text fields inside a group box are not named after the group.
    for (const auto& [id, name] : names["options"])
        EXPECT_FALSE(name.contains(QStringLiteral("Internet FreeDB Settings"))) << id;
    EXPECT_EQ(names["folder_to_wma"][1042], QStringLiteral("Windows Media Audio Profile"));
    EXPECT_EQ(names["mp3_progress"][1012], QStringLiteral("Current File Progress"));
    EXPECT_EQ(names["mp3_progress"][1010], QStringLiteral("Overall Progress"));
}

// Every list a user chooses from is labelled by a text of the dialog (a screen reader's
// "labelled by" link), not only named.
TEST_F(DialogWalk, EveryChoiceListHasALabel) {
    QStringList unlabelled;
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        for (QComboBox* combo : dialog.findChildren<QComboBox*>()) {
            if (!combo->isVisible())
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(combo);
            bool labelled = false;
            for (const auto& relation : a->relations(QAccessible::Label))
                labelled = labelled || relation.first->role() == QAccessible::StaticText;
            if (!labelled)
                unlabelled << entry.name + QStringLiteral(": ") + describe(combo);
        }
    });
    EXPECT_TRUE(unlabelled.isEmpty()) << unlabelled.join(QLatin1Char('\n')).toStdString();
}

// A server list asked of a server that cannot be reached says so, instead of calling the
// server busy.
TEST_F(DialogWalk, AnUnreachableFreeDBServerIsNotCalledBusy) {
    SettingsRecord settings;
    CFreeDBServersDlg dialog(settings, nullptr, "calderine.invalid");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.listDone(); }, 30000));
    ASSERT_FALSE(m_messages.messages().empty());
    const Message& told = m_messages.messages().back();
    EXPECT_EQ(told.stringId, cld::IDS_FREEDB_UNREACHABLE);
    EXPECT_TRUE(told.text.contains(QStringLiteral("calderine.invalid"))) << told.text.toStdString();
    EXPECT_FALSE(told.text.contains(QStringLiteral("busy"))) << told.text.toStdString();
}

TEST_F(DialogWalk, ProgressBarsSpeakTheirValue) {
    CProgressBar bar;
    bar.setRange(0, 200);
    bar.setPos(50);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&bar);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::ProgressBar);
    ASSERT_NE(a->valueInterface(), nullptr);
    EXPECT_EQ(a->valueInterface()->currentValue().toInt(), 50);
    EXPECT_EQ(a->valueInterface()->maximumValue().toInt(), 200);
    EXPECT_EQ(a->text(QAccessible::Value), QStringLiteral("25%"));
}

// The signal monitor speaks the peak of the trace it shows, in decibels below full scale.
TEST_F(DialogWalk, TheSignalMonitorSpeaksItsLevelInDecibels) {
    CSignalMonitor monitor;
    monitor.resize(320, 101);
    monitor.show();
    int width = 0;
    int height = 0;
    monitor.GetClientSize(width, height);
    ASSERT_GT(height, 70);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&monitor);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(a->valueInterface(), nullptr);
    // Silence: a flat line, or nothing drawn yet.
    EXPECT_EQ(a->text(QAccessible::Value), QStringLiteral("-96 dB"));
    const int centre = (height - 1) / 2;
    // 32 pixels from the centre are 16384 of 32768: half the full scale, -6 dB.
    monitor.DrawTrace({{0, centre}, {1, centre - 32}, {2, centre + 10}, {3, centre}});
    EXPECT_EQ(a->text(QAccessible::Value), QStringLiteral("-6 dB"));
    EXPECT_NEAR(a->valueInterface()->currentValue().toDouble(), -6.02, 0.01);
    monitor.Clear();
    EXPECT_EQ(a->text(QAccessible::Value), QStringLiteral("-96 dB"));
}

// Every label with a mnemonic has a field as its buddy, and Alt and the letter moves there
// when no other mnemonic of the dialog uses that letter.
void checkMnemonics(const DialogGallery::Entry& entry, QDialog& dialog, QStringList& faults,
                    int& reached) {
    QApplication::setActiveWindow(&dialog);
    if (!QTest::qWaitForWindowActive(&dialog, 2000)) {
        faults << entry.name + QStringLiteral(": the window never became active");
        return;
    }
    std::map<QChar, int> uses;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        QString text;
        if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        if (w->isVisible() && !cld::mnemonicOf(text).isNull())
            ++uses[cld::mnemonicOf(text)];
    }
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        const QChar letter = cld::mnemonicOf(label->text());
        if (letter.isNull() || !label->isVisible())
            continue;
        QWidget* buddy = label->buddy();
        if (!buddy) {
            faults << entry.name + QStringLiteral(": \"") + label->text() +
                          QStringLiteral("\" has no buddy");
            continue;
        }
        if (!(buddy->focusPolicy() & Qt::TabFocus))
            faults << entry.name + QStringLiteral(": the buddy of \"") + label->text() +
                          QStringLiteral("\" takes no focus");
        if (uses[letter] != 1 || !buddy->isEnabled())
            continue;
        dialog.setFocus();
        QTest::keyClick(&dialog, letter.toLatin1(), Qt::AltModifier);
        if (QApplication::focusWidget() != buddy &&
            !(buddy->focusProxy() && QApplication::focusWidget() == buddy->focusProxy()))
            faults << entry.name + QStringLiteral(": Alt+") + letter +
                          QStringLiteral(" did not reach the field of \"") + label->text() +
                          QLatin1Char('"');
        else
            ++reached;
    }
}

TEST_F(DialogWalk, MnemonicsLeadToTheirFields) {
    for (const bool german : {false, true}) {
        if (german)
            useGerman();
        QStringList faults;
        int reached = 0;
        forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
            checkMnemonics(entry, dialog, faults, reached);
        });
        EXPECT_TRUE(faults.isEmpty()) << (german ? "German:\n" : "English:\n")
                                      << faults.join(QLatin1Char('\n')).toStdString();
        // The grabber's artist and album, the paths of the video and capture dialogs, ...
        EXPECT_GE(reached, 6) << german;
    }
}

// The texts with mnemonic marks a dialog shows, as they stand: visible labels, buttons and
// group boxes.
std::vector<std::pair<QWidget*, QString>> markedTexts(QDialog& dialog) {
    std::vector<std::pair<QWidget*, QString>> out;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        if (auto* l = qobject_cast<QLabel*>(w))
            out.emplace_back(w, l->text());
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            out.emplace_back(w, b->text());
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            out.emplace_back(w, g->title());
    }
    return out;
}

// No two visible controls of a dialog share a mnemonic, and no "&" shows as a character
// where it was meant as a mark: a label without a buddy and a title show every "&" as it
// stands, so "&&" there is two ampersands.
void checkUniqueMnemonics(const DialogGallery::Entry& entry, QDialog& dialog, QStringList& faults) {
    std::map<QChar, QStringList> uses;
    for (const auto& [w, text] : markedTexts(dialog)) {
        const QChar letter = cld::mnemonicOf(text);
        auto* label = qobject_cast<QLabel*>(w);
        if (label && !label->buddy()) {
            if (text.contains(QStringLiteral("&&")) || !letter.isNull())
                faults << entry.name + QStringLiteral(": \"") + text +
                              QStringLiteral("\" shows its marks");
            continue;
        }
        if (!letter.isNull())
            uses[letter] << text;
    }
    for (const auto& [letter, texts] : uses)
        if (texts.size() > 1)
            faults << entry.name + QStringLiteral(": Alt+") + letter + QStringLiteral(" is ") +
                          texts.join(QStringLiteral(" and "));
    if (dialog.windowTitle().contains(QLatin1Char('&')) &&
        !dialog.windowTitle().contains(QStringLiteral(" & ")))
        faults << entry.name + QStringLiteral(": the title \"") + dialog.windowTitle() +
                      QLatin1Char('"');
}

TEST_F(DialogWalk, EveryDialogHasUniqueMnemonicsInEachLanguage) {
    for (const bool german : {false, true}) {
        if (german)
            useGerman();
        QStringList faults;
        forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
            checkUniqueMnemonics(entry, dialog, faults);
        });
        EXPECT_TRUE(faults.isEmpty()) << (german ? "German:\n" : "English:\n")
                                      << faults.join(QLatin1Char('\n')).toStdString();
    }
}

// The controls Tab reaches, in the order it reaches them from the dialog itself: visible,
// enabled and taking the focus by Tab, without the inner parts of a compound control.
QList<QWidget*> tabChain(QDialog& dialog) {
    QList<QWidget*> chain;
    QWidget* w = dialog.nextInFocusChain();
    for (int guard = 0; w && w != &dialog && guard < 2000; ++guard, w = w->nextInFocusChain()) {
        if (w->window() != &dialog || !w->isVisible() || !w->isEnabled() ||
            !(w->focusPolicy() & Qt::TabFocus) || w->focusProxy())
            continue;
        bool part = false;
        for (QWidget* p = w->parentWidget(); p && p != &dialog; p = p->parentWidget())
            part = part || qobject_cast<QComboBox*>(p) || p->inherits("QAbstractSpinBox") ||
                   p->inherits("QAbstractItemView");
        if (!part)
            chain << w;
    }
    return chain;
}

// True when `b` comes before `a` in reading order: compared where they part in the widget
// tree (two group boxes side by side are read one after the other), `b` lies wholly above
// `a`, or beside it on its left.
bool readBefore(const QWidget* a, const QWidget* b) {
    QList<const QWidget*> upA;
    for (const QWidget* p = a; p; p = p->parentWidget())
        upA.prepend(p);
    QList<const QWidget*> upB;
    for (const QWidget* p = b; p; p = p->parentWidget())
        upB.prepend(p);
    qsizetype i = 0;
    while (i < upA.size() && i < upB.size() && upA[i] == upB[i])
        ++i;
    if (i >= upA.size() || i >= upB.size())
        return false;
    const QRect ra = upA[i]->geometry();
    const QRect rb = upB[i]->geometry();
    if (rb.bottom() < ra.top())
        return true;
    const bool sameBand = rb.top() <= ra.bottom() && ra.top() <= rb.bottom();
    return sameBand && rb.right() < ra.left();
}

TEST_F(DialogWalk, TabVisitsTheControlsInReadingOrder) {
    for (const bool german : {false, true}) {
        if (german)
            useGerman();
        QStringList faults;
        forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
            const QList<QWidget*> chain = tabChain(dialog);
            for (qsizetype i = 1; i < chain.size(); ++i)
                if (readBefore(chain[i - 1], chain[i]))
                    faults << entry.name + QStringLiteral(": ") + describe(chain[i]) +
                                  QStringLiteral(" comes after ") + describe(chain[i - 1]);
        });
        EXPECT_TRUE(faults.isEmpty()) << (german ? "German:\n" : "English:\n")
                                      << faults.join(QLatin1Char('\n')).toStdString();
    }
}

// A label right in front of (or right above) a field names it: it has the field as its
// buddy, so that a screen reader says it with the field, and in German (whose texts carry
// the marks the designed English texts lack) Alt and its letter lead there.
void checkFieldLabels(const DialogGallery::Entry& entry, QDialog& dialog, bool german,
                      QStringList& faults) {
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->isVisible() || !hasLetter(label->text()) || label->wordWrap() ||
            label->property("cld_id").isValid())
            continue;
        QWidget* parent = label->parentWidget();
        // The control that follows the label on screen: the nearest one to its right on
        // the same line, else the nearest one starting just below it.
        QWidget* field = nullptr;
        int best = INT_MAX;
        for (QWidget* w : parent->findChildren<QWidget*>()) {
            if (w == label || !w->isVisible() || qobject_cast<QLabel*>(w) ||
                !(w->focusPolicy() & Qt::TabFocus) || w->focusProxy() ||
                qobject_cast<QAbstractButton*>(w) || w->parentWidget() != parent)
                continue;
            const QRect l = label->geometry();
            const QRect r = w->geometry();
            const bool right =
                r.left() >= l.right() && r.top() <= l.center().y() && r.bottom() >= l.center().y();
            const bool below = r.top() >= l.bottom() && r.top() - l.bottom() < l.height() &&
                               r.left() < l.right() && r.right() > l.left();
            const int distance = right ? r.left() - l.right() : r.top() - l.bottom() + 1000;
            if ((right || below) && distance < best) {
                best = distance;
                field = w;
            }
        }
        if (!field)
            continue;
        // The ends of a scale ("Low" ... "High") leave the slider to the title above them.
        bool otherLabel = false;
        for (QLabel* l : dialog.findChildren<QLabel*>())
            otherLabel = otherLabel || (l != label && l->buddy() == field);
        if (label->buddy() != field && otherLabel)
            continue;
        if (label->buddy() != field)
            faults << entry.name + QStringLiteral(": \"") + label->text() +
                          QStringLiteral("\" is not the label of ") + describe(field);
        else if (german && cld::mnemonicOf(label->text()).isNull())
            faults << entry.name + QStringLiteral(": \"") + label->text() +
                          QStringLiteral("\" has no mnemonic");
    }
}

TEST_F(DialogWalk, EveryFieldLabelIsItsBuddyAndInGermanHasAMnemonic) {
    for (const bool german : {false, true}) {
        if (german)
            useGerman();
        QStringList faults;
        forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
            checkFieldLabels(entry, dialog, german, faults);
        });
        EXPECT_TRUE(faults.isEmpty()) << (german ? "German:\n" : "English:\n")
                                      << faults.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(DialogWalk, TitlesAreWholeAndNameTheProgramOnce) {
    // Qt would append a display name to every title; the program sets none.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QStringList faults;
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        if (dialog.windowTitle() != entry.title)
            faults << entry.name + QStringLiteral(": \"") + dialog.windowTitle() +
                          QStringLiteral("\" instead of \"") + entry.title + QLatin1Char('"');
        QFont bold = QApplication::font();
        bold.setBold(true);
        const int need = QFontMetrics(bold).horizontalAdvance(dialog.windowTitle()) + 100;
        if (dialog.width() < need)
            faults << entry.name + QStringLiteral(": %1 pixels wide for a title of %2")
                                       .arg(dialog.width())
                                       .arg(need);
        // Every control lies inside the window.
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (!w->isVisible() || w->isWindow() || w->parentWidget() != &dialog)
                continue;
            if (!dialog.rect().contains(w->geometry()))
                faults << entry.name + QStringLiteral(": %1 %2 reaches past the window (%3 wide)")
                                           .arg(QString::fromLatin1(w->metaObject()->className()),
                                                w->objectName())
                                           .arg(dialog.width());
        }
        // A typical path fits in every path field.
        const QString path = QStringLiteral("/home/username/Music/Artist Name - Album Name/");
        for (QLineEdit* edit : dialog.findChildren<QLineEdit*>()) {
            const QVariant id = edit->property("cld_id");
            if (!edit->isVisible() || !id.isValid() || !edit->objectName().startsWith('1'))
                continue;
            if (edit->text().startsWith(QLatin1Char('/')) || edit->minimumWidth() > 0)
                if (edit->width() < edit->fontMetrics().horizontalAdvance(path))
                    faults << entry.name + QStringLiteral(": field %1 is %2 pixels wide")
                                               .arg(id.toInt())
                                               .arg(edit->width());
        }
    });
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
    // The two decode dialogs are told apart by their titles.
    QSet<QString> decodeTitles;
    for (const DialogGallery::Entry& e : DialogGallery::entries())
        if (e.dialogId == 168)
            decodeTitles.insert(e.title);
    EXPECT_EQ(decodeTitles.size(), 2);
}

TEST_F(DialogWalk, LongPathsAreElidedInTheMiddleWithTheWholePathAsTooltip) {
    SettingsRecord settings;
    GenreList genres;
    JobContext jobs{settings, genres};
    for (const DialogGallery::Entry& entry : DialogGallery::entries()) {
        if (entry.name != QStringLiteral("mp3_progress"))
            continue;
        std::unique_ptr<QDialog> dialog = entry.make(jobs, nullptr);
        dialog->installEventFilter(new cld::HoldQueuedWork(dialog.get()));
        dialog->show();
        auto* output = dialog->findChild<QLabel*>(QStringLiteral("1016"));
        ASSERT_NE(output, nullptr);
        const QString path = QStringLiteral("/home/username/") + QString(300, QLatin1Char('x')) +
                             QStringLiteral("/the end.mp3");
        output->setText(path);
        // The dialog does not grow to the path's length, and the path's end stays readable.
        QCoreApplication::processEvents();
        EXPECT_LT(dialog->width(), output->fontMetrics().horizontalAdvance(path));
        const QImage shot = output->grab().toImage();
        EXPECT_FALSE(shot.isNull());
        EXPECT_EQ(output->toolTip(), path);
    }
}

TEST_F(DialogWalk, ASelectedRowShowsItsTextInTheHighlightColours) {
    const std::map<QString, int> lists{{QStringLiteral("cd_grabber"), 1063},
                                       {QStringLiteral("freedb_query"), 1143},
                                       {QStringLiteral("freedb_servers"), 1050}};
    int checked = 0;
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        const auto it = lists.find(entry.name);
        if (it == lists.end())
            return;
        auto* list = dialog.findChild<QTreeWidget*>(QString::number(it->second));
        ASSERT_NE(list, nullptr) << entry.name.toStdString();
        auto* row = new QTreeWidgetItem(list);
        for (int c = 0; c < list->columnCount(); ++c)
            row->setText(c, QStringLiteral("WWWWWWWW"));
        list->setCurrentItem(row);
        row->setSelected(true);
        list->setFocus();
        QCoreApplication::processEvents();
        const QImage shot = list->viewport()->grab().toImage();
        const QRect place = list->visualItemRect(row);
        const QPalette::ColorGroup group = list->hasFocus() ? QPalette::Active : QPalette::Inactive;
        const QColor highlight = list->palette().color(group, QPalette::Highlight);
        const QColor text = list->palette().color(group, QPalette::HighlightedText);
        int background = 0;
        int letters = 0;
        for (int y = place.top(); y <= place.bottom(); ++y)
            for (int x = place.left(); x < std::min(place.right(), shot.width()); ++x) {
                const QColor c = shot.pixelColor(x, y);
                const auto near = [&](const QColor& want) {
                    return std::abs(c.red() - want.red()) + std::abs(c.green() - want.green()) +
                               std::abs(c.blue() - want.blue()) <
                           60;
                };
                background += near(highlight);
                letters += near(text);
            }
        // The row is mostly the highlight, with the letters drawn on it in their colour.
        EXPECT_GT(background, place.width() * place.height() / 3) << entry.name.toStdString();
        EXPECT_GT(letters, 20) << entry.name.toStdString();
        ++checked;
    });
    EXPECT_EQ(checked, 3);
}

TEST_F(DialogWalk, TheMp3ProgressShowsNoFiguresItHasNotGot) {
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        if (entry.name != QStringLiteral("mp3_progress"))
            return;
        // The dialog keeps its rows; output size, performance and samples per second show
        // a dash until a job has measured them, never a figure it has not got.
        for (const int id : {1024, 1027, 1028}) {
            auto* value = dialog.findChild<QLabel*>(QString::number(id));
            ASSERT_NE(value, nullptr) << id;
            EXPECT_TRUE(value->text().isEmpty() || value->text() == QStringLiteral("-"))
                << id << ": " << value->text().toStdString();
        }
    });
}

// The texts a dialog shows: labels, buttons, group boxes, column headers and its title.
QStringList visibleTexts(QDialog& dialog) {
    QStringList out{dialog.windowTitle()};
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        if (auto* l = qobject_cast<QLabel*>(w))
            out << l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            out << b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            out << g->title();
        else if (auto* t = qobject_cast<QTreeWidget*>(w))
            for (int c = 0; c < t->columnCount(); ++c)
                out << t->headerItem()->text(c);
        else if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                out << c->itemText(i);
        else if (auto* list = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < list->count(); ++i)
                out << list->item(i)->text();
        if (!w->toolTip().isEmpty())
            out << w->toolTip();
    }
    return out;
}

// The texts a user sees cut off by the widget that shows them: a label, button or group
// box narrower than its text needs, a column header narrower than its title.
QStringList clippedTexts(QDialog& dialog) {
    QStringList out;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
            continue;
        QString text;
        if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap() && !l->text().startsWith('<'))
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        if (hasLetter(text) && w->width() < w->minimumSizeHint().width())
            out << QStringLiteral("\"%1\" is %2 pixels wide of %3")
                       .arg(text)
                       .arg(w->width())
                       .arg(w->minimumSizeHint().width());
        if (auto* t = qobject_cast<QTreeWidget*>(w)) {
            QHeaderView* header = t->header();
            if (header->isHidden())
                continue;
            for (int c = 0; c < t->columnCount(); ++c) {
                if (header->isSectionHidden(c))
                    continue;
                const QString title = t->headerItem()->text(c);
                // The header's own room for a title: its text and the margins around it.
                const int need =
                    header->fontMetrics().horizontalAdvance(title) +
                    2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
                if (hasLetter(title) && header->sectionSize(c) < need)
                    out << QStringLiteral("column \"%1\" is %2 pixels wide of %3")
                               .arg(title)
                               .arg(header->sectionSize(c))
                               .arg(need);
            }
        }
    }
    return out;
}

TEST_F(DialogWalk, NoTextIsClippedByItsWidget) {
    for (const bool german : {false, true}) {
        if (german)
            useGerman();
        QStringList faults;
        forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
            for (const QString& clipped : clippedTexts(dialog))
                faults << entry.name + QStringLiteral(": ") + clipped;
        });
        EXPECT_TRUE(faults.isEmpty()) << (german ? "German" : "English") << " at "
                                      << (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                              ? qgetenv("QT_SCALE_FACTOR").toStdString()
                                              : std::string("1"))
                                      << "x:\n"
                                      << faults.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(DialogWalk, UnderTheGermanLibraryNoEnglishIsLeft) {
    // What each dialog shows in English, then in German: a text with words that stays the
    // same is English left over, unless German writes it the same way.
    const QSet<QString> sameInGerman{
        QStringLiteral("OK"), QStringLiteral("ABR"), QStringLiteral("Mono"),
        QStringLiteral("Status"), QStringLiteral("Server"), QStringLiteral("Port"),
        QStringLiteral("Start"), QStringLiteral("Pause"), QStringLiteral("Bitrate"),
        QStringLiteral("Stereo"), QStringLiteral("Joint Stereo"),
        QStringLiteral("Force Joint Stereo"), QStringLiteral("xx"),
        QStringLiteral("Calderine 2002"), QStringLiteral("Calderine 2002 -"),
        QStringLiteral("Calderine 2002, Version 4.05a"), QStringLiteral("Line-In (hw:0)"),
        // Each language is offered under its own name.
        QStringLiteral("English"), QStringLiteral("DEVICE://default")};
    std::map<QString, QSet<QString>> english;
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        for (const QString& t : visibleTexts(dialog))
            english[entry.name].insert(cld::plainText(t).trimmed());
    });
    useGerman();
    QStringList leftOver;
    QStringList cutOff;
    QStringList videoTitles;
    forEachDialog([&](const DialogGallery::Entry& entry, QDialog& dialog) {
        // The video dialogs' settings are no audio settings, whatever the English says.
        if ((entry.dialogId == 169 || entry.dialogId == 171) &&
            dialog.windowTitle().contains(QStringLiteral("WMA")))
            videoTitles << entry.name + QStringLiteral(": ") + dialog.windowTitle();
        for (const QString& shown : visibleTexts(dialog)) {
            const QString t = cld::plainText(shown).trimmed();
            // Figures, paths and addresses are no language's; a count's unit is.
            if (t.isEmpty() || (t[0].isDigit() && !t.contains(QStringLiteral("Track"))) ||
                t.startsWith(QLatin1Char('/')) || t.startsWith(QLatin1Char('<')) ||
                t.contains(QStringLiteral("://")) || t.startsWith(QStringLiteral("http")))
                continue;
            if (hasLetter(t) && english[entry.name].contains(t) &&
                !sameInGerman.contains(cld::spokenText(t)))
                leftOver << entry.name + QStringLiteral(": \"") + t + QLatin1Char('"');
        }
        // Nothing is cut off: every label and button has the room its text needs.
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            if (!w->isVisible() || w->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
                continue;
            QString text;
            if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap())
                text = l->text();
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                text = b->text();
            if (hasLetter(text) && w->width() < w->minimumSizeHint().width())
                cutOff << entry.name + QStringLiteral(": \"") + text + QLatin1Char('"');
            if (w->parentWidget() == &dialog && !dialog.rect().contains(w->geometry()))
                cutOff << entry.name +
                              QStringLiteral(": %1 reaches past the window").arg(w->objectName());
        }
    });
    EXPECT_TRUE(leftOver.isEmpty()) << leftOver.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(videoTitles.isEmpty()) << videoTitles.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(cutOff.isEmpty()) << cutOff.join(QLatin1Char('\n')).toStdString();
}

// What a message box shows: its title, text and buttons.
struct ShownBox {
    QString title;
    QString text;
    QStringList buttons;
};

// The jobs of the progress dialogs run as the user starts them, with the gallery's sample
// settings, and fail (no disc, no input, no capture device). Every message box a failing job
// shows is checked as the dialogs are: its texts in the language, no "&" shown as a
// character, unique button mnemonics. The dialog's title, which gets the job's words once
// the job starts, still fits the window.
TEST_F(DialogWalk, FailingJobsTellTheirMessagesInTheLanguageWithUniqueMnemonics) {
    const QSet<QString> jobs{QStringLiteral("mp3_progress"), QStringLiteral("wma_progress"),
                             QStringLiteral("video_progress"), QStringLiteral("capture_progress")};
    std::map<QString, QStringList> englishTexts;
    for (const bool german : {false, true}) {
        if (german)
            useGerman();
        const char* language = german ? "German" : "English";
        MessageService::setInstance(std::make_unique<MessageBoxService>());
        QStringList faults;
        for (const DialogGallery::Entry& entry : DialogGallery::entries()) {
            if (!jobs.contains(entry.name))
                continue;
            SettingsRecord settings;
            GenreList genres;
            JobContext context{settings, genres};
            // The media profiles are found beside the program, as the program finds them.
            context.programFolder = QString::fromStdString((cldtest::binDir() / "").string());
            std::unique_ptr<QDialog> dialog = entry.make(context, nullptr);
            std::vector<ShownBox> boxes;
            // Answers each box the job shows with its last button (OK, or Cancel/No).
            QTimer answer;
            answer.setInterval(10);
            QObject::connect(&answer, &QTimer::timeout, [&] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* box = qobject_cast<QMessageBox*>(w);
                    if (!box || !box->isVisible() || box->property("cld_seen").toBool())
                        continue;
                    box->setProperty("cld_seen", true);
                    ShownBox shown{box->windowTitle(), box->text(), {}};
                    for (QAbstractButton* b : box->buttons())
                        shown.buttons << b->text();
                    boxes.push_back(shown);
                    QMetaObject::invokeMethod(box->buttons().back(), "click", Qt::QueuedConnection);
                }
            });
            answer.start();
            dialog->show();
            const bool ended = QTest::qWaitFor([&] { return !dialog->isVisible(); }, 60000);
            answer.stop();
            if (!ended) {
                faults << entry.name + QStringLiteral(": the job never ended");
                dialog->hide();
                continue;
            }
            if (boxes.empty())
                faults << entry.name + QStringLiteral(": the failing job told nothing");
            QFont bold = QApplication::font();
            bold.setBold(true);
            const int need = QFontMetrics(bold).horizontalAdvance(dialog->windowTitle()) + 100;
            if (dialog->width() < need)
                faults << entry.name + QStringLiteral(": %1 pixels wide for the title \"%2\"")
                                           .arg(dialog->width())
                                           .arg(dialog->windowTitle());
            for (const ShownBox& box : boxes) {
                const QString where = entry.name + QStringLiteral(": the message \"") +
                                      box.text.left(60) + QStringLiteral("\"");
                if (box.title.contains(QLatin1Char('&')) || box.text.contains(QStringLiteral("&&")))
                    faults << where + QStringLiteral(" shows its marks");
                std::map<QChar, int> uses;
                for (const QString& button : box.buttons) {
                    if (!hasLetter(button))
                        faults << where + QStringLiteral(" has a button without words");
                    if (button.contains(QStringLiteral("&&")))
                        faults << where + QStringLiteral(" has the button \"") + button +
                                      QLatin1Char('"');
                    const QChar letter = cld::mnemonicOf(button);
                    if (!letter.isNull() && ++uses[letter] == 2)
                        faults << where + QStringLiteral(" uses Alt+") + letter +
                                      QStringLiteral(" twice");
                }
                if (!german)
                    englishTexts[entry.name] << box.text << box.buttons;
                else if (englishTexts[entry.name].contains(box.text) && hasLetter(box.text))
                    faults << where + QStringLiteral(" is in English");
                else
                    for (const QString& button : box.buttons)
                        if (englishTexts[entry.name].contains(button) &&
                            cld::spokenText(button) != QStringLiteral("OK"))
                            faults << where + QStringLiteral(" has the English button \"") +
                                          button + QLatin1Char('"');
            }
        }
        MessageService::setInstance(nullptr);
        EXPECT_TRUE(faults.isEmpty()) << language << ":\n"
                                      << faults.join(QLatin1Char('\n')).toStdString();
    }
}

// A file a German batch cannot convert is named with its reason in German too: the media
// layer's failure texts come from the language, not in English.
TEST_F(DialogWalk, AFailedFileOfAGermanBatchIsToldWithItsReasonInGerman) {
    useGerman();
    cldtest::TempDir dir;
    std::filesystem::create_directories(dir.file("in"));
    // A WAVE header with no format the encoder takes, and nothing after it.
    std::ofstream(dir.file("in") / "broken.wav", std::ios::binary) << "RIFF\x24\0\0\0WAVEjunk";
    cld::engine::JobSpec params;
    params.inputPath = dir.file("in").string() + "/";
    params.outputPath = dir.file("out").string() + "/";
    std::filesystem::create_directories(dir.file("out"));
    SettingsRecord settings;
    GenreList genres;
    JobContext context{settings, genres};
    context.programFolder = QString::fromStdString((cldtest::binDir() / "").string());
    QStringList texts;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || box->property("cld_seen").toBool())
                continue;
            box->setProperty("cld_seen", true);
            texts << box->text();
            QMetaObject::invokeMethod(box->buttons().back(), "click", Qt::QueuedConnection);
        }
    });
    MessageService::setInstance(std::make_unique<MessageBoxService>());
    const auto quiet = qScopeGuard([] { MessageService::setInstance(nullptr); });
    answer.start();
    params.mode = cld::engine::JobMode::FolderEncode;
    CMP3EncoderProgressDlg dialog(context, params);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }, 60000));
    answer.stop();
    ASSERT_FALSE(texts.isEmpty());
    const QString& told = texts.front();
    bool german = false;
    for (const uint32_t code :
         {cld::wmerr::kWavFormat, cld::wmerr::kInputOpen, cld::wmerr::kNoAudio,
          cld::wmerr::kReadFailed, cld::wmerr::kDecodeFailed, cld::wmerr::kNoAudioDecoded,
          cld::wmerr::kTruncated, cld::wmerr::kContentMismatch}) {
        EXPECT_FALSE(told.contains(QString::fromStdString(GetErrorText(code))))
            << "the English reason in: " << told.toStdString();
        german = german || told.contains(cld::mediaErrorText(code));
    }
    EXPECT_TRUE(german) << told.toStdString();
}

// A language chosen with the mouse says that it takes effect at the next start; once that
// message is closed, the focus is back on the language list, and Return presses OK.
TEST_F(DialogWalk, ALanguageChosenWithTheMouseLeavesTheFocusOnItsList) {
    SettingsRecord settings;
    LanguageChoice languages;
    languages.names = {QStringLiteral("English"), QStringLiteral("Deutsch")};
    int chosen = -1;
    languages.select = [&chosen](int index) { chosen = index; };
    COptionsDlg dialog(settings, languages, nullptr);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog, 5000));
    auto* list = dialog.findChild<QComboBox*>(QString::number(COptionsDlg::kLanguage));
    ASSERT_NE(list, nullptr);
    MessageService::setInstance(std::make_unique<MessageBoxService>());
    const auto quiet = qScopeGuard([] { MessageService::setInstance(nullptr); });
    // The message is closed with the mouse, as it was opened.
    int told = 0;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                ++told;
                QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
            }
    });
    closer.start();
    list->setFocus();
    list->showPopup();
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }, 5000));
    const QRect item = view->visualRect(list->model()->index(1, 0));
    QTest::mouseMove(view->viewport(), item.center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return told > 0 && !view->isVisible(); }, 5000));
    closer.stop();
    // The focus comes back as the window is activated again (at most a moment's wait).
    const bool back = QTest::qWaitFor([&] { return QApplication::focusWidget() == list; }, 2000);
    EXPECT_TRUE(back);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), list)
        << (QApplication::focusWidget() ? describe(QApplication::focusWidget()).toStdString()
                                        : std::string("nothing has the focus"));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                : static_cast<QWidget*>(&dialog),
                    Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(chosen, 1);
}

} // namespace

namespace {

// The text rules the polish applies, on their own.
TEST(DialogTexts, TranslationKeepsSpacesMarksAndSuffixes) {
    Library german(LANG_GERMAN_LIBRARY);
    ASSERT_NE(german.handle(), nullptr);
    CLDResLibrary pictures;
    AppResources::setSource(std::make_unique<cld::LanguageResources>(
        german.handle(), std::make_unique<BuiltinResources>(&cldProgramResource, &pictures)));
    struct Case {
        const char* english;
        const char* german;
    };
    const Case cases[] = {
        // A string of the table as it stands, whatever its letter case.
        {"Stopped.", "Angehalten."},
        {"output file size:", "Größe der Ausgabedatei:"},
        // The same words with a colon or dots after them, and the spaces around kept.
        {"Overall Progress...", "Gesamtfortschritt..."},
        {"Reading ...", "Wird gelesen ..."},
        {"   Category   ", "   Kategorie   "},
        // A mnemonic: the translation's own mark, or one on the English letter, or none.
        {"&Input File:", "&Eingabedatei:"},
        {"Artist &Name:", "&Interpretenname:"},
        {"Input File:", "Eingabedatei:"},
        {"&Cancel", "&Abbrechen"},
        {"Cancel", "Abbrechen"},
        // A count keeps its number.
        {"3 Track(s) ", "3 Titel "},
        // Nothing the program knows stays as it is.
        {"Line-In (hw:0)", "Line-In (hw:0)"},
        {"128 kbps (High Quality, CD transparency)", "128 kbps (High Quality, CD transparency)"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cld::translatedText(QString::fromUtf8(c.english)), QString::fromUtf8(c.german))
            << c.english;
    AppResources::setSource(nullptr);
}

// The German progress dialogs' titles are their caption and the mode's text, shown without
// a double space or dots.
TEST(DialogTexts, GermanProgressTitlesHaveSingleSpaces) {
    Library german(LANG_GERMAN_LIBRARY);
    ASSERT_NE(german.handle(), nullptr);
    CLDResLibrary pictures;
    AppResources::setSource(std::make_unique<cld::LanguageResources>(
        german.handle(), std::make_unique<BuiltinResources>(&cldProgramResource, &pictures)));
    {
        for (const int mode : {960, 961, 962, 963, 964}) {
            const QString title = AppResources::caption(158) + AppResources::string(mode);
            EXPECT_FALSE(title.contains(QStringLiteral("  "))) << title.toStdString();
            EXPECT_FALSE(title.contains(QStringLiteral("..."))) << title.toStdString();
        }
        for (const int mode : {183, 184, 185, 193, 194}) {
            const QString title = AppResources::caption(159) + AppResources::string(mode);
            EXPECT_FALSE(title.contains(QStringLiteral("  "))) << title.toStdString();
        }
    }
    AppResources::setSource(nullptr);
}

// The media components' failures (the video inputs', a capture device another program
// holds among them) are told in the chosen language; in English they stay the
// components' own sentences.
TEST(DialogTexts, VideoInputFailuresAreToldInTheChosenLanguage) {
    using namespace cld::wmerr;
    const uint32_t codes[] = {kDeviceOpen,
                              kDeviceLost,
                              kNoDisplay,
                              kNoVideoStream,
                              kDeviceBusy,
                              kDeviceMissing,
                              kNoCaptureDevice,
                              kDeviceFormat,
                              kPending,
                              kAbortedByClient,
                              kNoConnection,
                              kProxyConnect,
                              kShutdown,
                              kNotImpl,
                              kPointer,
                              kFail,
                              kUnexpected,
                              kOutOfMemory,
                              kInvalidArg,
                              kInputOpen,
                              kNoAudio,
                              kOutputCreate,
                              kCodecMissing,
                              kCodecOpen,
                              kEncodeFailed,
                              kProfileIndex,
                              kNoSourceGroup,
                              kNoOutputFile,
                              kBusy,
                              kProfileInvalid,
                              kTimeout,
                              kReaderState,
                              kWavFormat,
                              kReadFailed,
                              kNoInput,
                              kNoVideo,
                              kDecodeFailed,
                              kWriteFailed,
                              kOutputNotFile,
                              kNoAudioDecoded,
                              kChecksumMismatch,
                              kTruncated,
                              kContentMismatch};
    CLDResLibrary pictures;
    AppResources::setSource(std::make_unique<BuiltinResources>(&cldProgramResource, &pictures));
    std::map<uint32_t, QString> english;
    for (const uint32_t code : codes) {
        english[code] = cld::errorText(code);
        EXPECT_EQ(english[code].toStdString(), GetErrorText(code)) << std::hex << code;
    }
    Library german(LANG_GERMAN_LIBRARY);
    ASSERT_NE(german.handle(), nullptr);
    AppResources::setSource(std::make_unique<cld::LanguageResources>(
        german.handle(), std::make_unique<BuiltinResources>(&cldProgramResource, &pictures)));
    for (const uint32_t code : codes) {
        const QString told = cld::errorText(code);
        EXPECT_FALSE(told.isEmpty()) << std::hex << code;
        EXPECT_NE(told, english[code]) << told.toStdString();
    }
    EXPECT_TRUE(cld::errorText(kDeviceBusy).startsWith(QStringLiteral("Ein anderes Programm")));
    AppResources::setSource(nullptr);
}

TEST(DialogTexts, SpokenTextsAndMnemonics) {
    EXPECT_EQ(cld::spokenText(QStringLiteral("&Select CD-ROM Drive:")),
              QStringLiteral("Select CD-ROM Drive"));
    EXPECT_EQ(cld::spokenText(QStringLiteral(" Overall Progress... ")),
              QStringLiteral("Overall Progress"));
    EXPECT_EQ(cld::spokenText(QStringLiteral("Audio && Video")), QStringLiteral("Audio & Video"));
    EXPECT_EQ(cld::mnemonicOf(QStringLiteral("Album Nam&e:")), QLatin1Char('e'));
    EXPECT_EQ(cld::mnemonicOf(QStringLiteral("O&K")), QLatin1Char('k'));
    // "&&" is an ampersand, and so is one before a space.
    EXPECT_TRUE(cld::mnemonicOf(QStringLiteral("Audio && Video")).isNull());
    EXPECT_TRUE(cld::mnemonicOf(QStringLiteral("Audio & Video")).isNull());
    EXPECT_EQ(cld::mnemonicOf(QStringLiteral("A && B &C")), QLatin1Char('c'));
    EXPECT_TRUE(cld::mnemonicOf(QStringLiteral("trailing &")).isNull());
}

} // namespace

namespace {

// A message box's standard buttons speak the chosen language too.
TEST(MessageButtons, AreInTheChosenLanguage) {
    Library german(LANG_GERMAN_LIBRARY);
    ASSERT_NE(german.handle(), nullptr);
    CLDResLibrary pictures;
    AppResources::setSource(std::make_unique<cld::LanguageResources>(
        german.handle(), std::make_unique<BuiltinResources>(&cldProgramResource, &pictures)));
    QStringList shown;
    QTimer::singleShot(0, [&shown] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible())
                continue;
            for (QAbstractButton* b : box->buttons())
                shown << b->text();
            box->button(QMessageBox::No)->click();
        }
    });
    MessageBoxService service;
    const MessageResult answer = service.show(
        Message{0, QStringLiteral("?"), MessageIcon::Question, MessageButtons::YesNoCancel});
    EXPECT_EQ(answer, MessageResult::No);
    shown.sort();
    // Qt's own texts ("&Yes", "&No", "Cancel") keep their marks or their lack of one.
    EXPECT_EQ(shown, (QStringList{QStringLiteral("&Ja"), QStringLiteral("&Nein"),
                                  QStringLiteral("Abbrechen")}));
    AppResources::setSource(nullptr);
}

} // namespace
