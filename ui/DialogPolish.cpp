#include "DialogPolish.h"

#include "AppResources.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QTextEdit>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <array>

namespace cld {
namespace {

constexpr const char* kElidedProperty = "cld_elided";
constexpr const char* kTranslatedProperty = "cld_translated";
constexpr const char* kStrutProperty = "cld_strut";
constexpr const char* kEnglishProperty = "cld_english";
// The title a window's icon text was last set from.
constexpr const char* kIconTextProperty = "cld_icon_text";

int idOf(const QObject* object) {
    const QVariant id = object->property("cld_id");
    return id.isValid() ? id.toInt() : 0;
}

// Names of controls that have no label: the "..." buttons and a few lists and fields.
struct NamedControl {
    int dialogId;
    int controlId;
    int nameId;
};
constexpr std::array kNamedControls{
    NamedControl{144, 1063, IDS_NAME_TRACKS},
    NamedControl{144, 1146, IDS_NAME_INTRO_SECONDS},
    NamedControl{144, 1147, IDS_NAME_INTRO_SECONDS},
    NamedControl{157, 1037, IDS_NAME_OUTPUT_FOLDER},
    NamedControl{160, 1032, IDS_NAME_BITRATE},
    NamedControl{160, 1037, IDS_NAME_OUTPUT_FOLDER},
    NamedControl{161, 1011, IDS_NAME_OUTPUT_FOLDER},
    NamedControl{164, 1011, IDS_NAME_OUTPUT_FOLDER},
    NamedControl{164, 1025, IDS_NAME_BITRATE},
    NamedControl{166, 1037, IDS_NAME_OUTPUT_FOLDER_OR_FILE},
    NamedControl{166, 1042, IDS_NAME_WMA_PROFILE},
    NamedControl{166, 1039, IDS_NAME_INPUT_FOLDER_OR_FILE},
    NamedControl{167, 1032, IDS_NAME_BITRATE},
    NamedControl{167, 1037, IDS_NAME_OUTPUT_FOLDER_OR_FILE},
    NamedControl{167, 1039, IDS_NAME_INPUT_FOLDER_OR_FILE},
    NamedControl{168, 1037, IDS_NAME_OUTPUT_FOLDER_OR_FILE},
    NamedControl{168, 1039, IDS_NAME_INPUT_FOLDER_OR_FILE},
    NamedControl{169, 1008, IDS_NAME_INPUT_FILE},
    NamedControl{169, 1011, IDS_NAME_OUTPUT_FILE},
    NamedControl{170, 1012, IDS_NAME_ENCODING_PROGRESS},
    NamedControl{171, 1011, IDS_NAME_OUTPUT_FILE},
};

// Labels that show a path or a file name, which may be longer than the dialog is wide.
struct PathLabel {
    int dialogId;
    int controlId;
};
constexpr std::array kPathLabels{
    PathLabel{149, 1011}, PathLabel{158, 1016}, PathLabel{158, 1017}, PathLabel{159, 1016},
    PathLabel{159, 1017}, PathLabel{163, 1016}, PathLabel{163, 1017}, PathLabel{165, 1016},
    PathLabel{165, 1017}, PathLabel{170, 1016}, PathLabel{170, 1017}, PathLabel{172, 1016},
    PathLabel{172, 1017},
};

// A path a user typically sees in a path field; the fields are made at least this wide.
constexpr const char* kTypicalPath = "/home/username/Music/Artist Name - Album Name/";

// The English texts of the program's own strings, for texts that have no control id.
const QHash<QString, int>& englishStrings() {
    static const QHash<QString, int> table = [] {
        QHash<QString, int> t;
        for (const StringEntry& e : builtinStrings()) {
            const QString text = QString::fromUtf8(e.text).trimmed().toLower();
            if (!text.isEmpty() && !t.contains(text))
                t.insert(text, e.id);
        }
        return t;
    }();
    return table;
}

bool hasWords(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
}

bool takesFocus(const QWidget* w) {
    if (qobject_cast<const QLabel*>(w) || qobject_cast<const QGroupBox*>(w))
        return false;
    return (w->focusPolicy() & Qt::TabFocus) != 0;
}

bool isInteractive(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

bool isProgressBar(const QWidget* w) {
    return qobject_cast<const QProgressBar*>(w) || w->inherits("CProgressBar");
}

// The first widget taking the focus inside a layout item (a widget, a container or a
// nested layout), depth first.
QWidget* firstFocusable(QLayoutItem* item) {
    if (!item)
        return nullptr;
    if (QWidget* w = item->widget()) {
        if (takesFocus(w))
            return w;
        if (qobject_cast<QLabel*>(w))
            return nullptr;
        // A combo box's line edit and the like are reached through their owner.
        if (w->layout())
            return firstFocusable(w->layout());
        return nullptr;
    }
    if (QLayout* l = item->layout()) {
        for (int i = 0; i < l->count(); ++i)
            if (QWidget* w = firstFocusable(l->itemAt(i)))
                return w;
    }
    return nullptr;
}

// Where a widget sits in the layouts of its parent: its layout and its index there.
bool findInLayout(QLayout* layout, const QWidget* widget, QLayout** owner, int* index) {
    if (!layout)
        return false;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == widget) {
            *owner = layout;
            *index = i;
            return true;
        }
        if (item->layout() && findInLayout(item->layout(), widget, owner, index))
            return true;
    }
    return false;
}

// The layout item next to a widget: after it (`ahead`) or before it.
QLayoutItem* neighbourItem(const QWidget* widget, bool ahead, bool below) {
    QWidget* parent = widget->parentWidget();
    if (!parent)
        return nullptr;
    QLayout* owner = nullptr;
    int index = -1;
    if (!findInLayout(parent->layout(), widget, &owner, &index))
        return nullptr;
    if (auto* grid = qobject_cast<QGridLayout*>(owner)) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        if (below)
            return ahead ? grid->itemAtPosition(row + rowSpan, column)
                         : grid->itemAtPosition(row - 1, column);
        return ahead ? grid->itemAtPosition(row, column + columnSpan)
                     : (column > 0 ? grid->itemAtPosition(row, column - 1) : nullptr);
    }
    if (below)
        return nullptr;
    const int next = ahead ? index + 1 : index - 1;
    return next >= 0 && next < owner->count() ? owner->itemAt(next) : nullptr;
}

// The control a label names: the one that follows it in the layout (to its right, or
// below it in a grid), else for a label with a mnemonic the next control in tab order.
QWidget* followingControl(QLabel* label) {
    for (const bool below : {false, true}) {
        QLayoutItem* item = neighbourItem(label, true, below);
        if (!item)
            continue;
        if (item->widget() && qobject_cast<QLabel*>(item->widget()))
            return nullptr;
        if (QWidget* w = firstFocusable(item))
            return w;
    }
    if (mnemonicOf(label->text()).isNull())
        return nullptr;
    QWidget* dialog = label->window();
    QWidget* w = label->nextInFocusChain();
    for (int guard = 0; w && w != label && guard < 500; ++guard, w = w->nextInFocusChain()) {
        if (w->window() == dialog && takesFocus(w) && w->isEnabledTo(dialog))
            return w;
    }
    return nullptr;
}

// The label just in front of (or above) a widget in its layout.
QLabel* precedingLabel(const QWidget* widget) {
    for (const bool below : {false, true}) {
        QLayoutItem* item = neighbourItem(widget, false, below);
        if (item && item->widget())
            if (auto* label = qobject_cast<QLabel*>(item->widget()))
                if (!label->text().trimmed().isEmpty())
                    return label;
    }
    return nullptr;
}

void translateTexts(QDialog* dialog, int dialogId) {
    const ResourceSource* source = AppResources::source();
    // A title made of the dialog's caption and a text of its mode ("Calderine - " and
    // "Decode WMA to WAV") gets the mode's text in the language too.
    const QString caption = AppResources::caption(dialogId);
    const QString title = dialog->windowTitle();
    if (!caption.isEmpty() && title.startsWith(caption) && title.size() > caption.size()) {
        const QString rest = translatedText(title.mid(caption.size()));
        if (caption + rest != title)
            dialog->setWindowTitle(caption + rest);
    }
    const auto own = [&](QWidget* w, const QString& current) {
        const int id = idOf(w);
        // A control's own text is taken once: the dialog may change it afterwards.
        if (source && dialogId && id && !w->property(kTranslatedProperty).toBool()) {
            w->setProperty(kTranslatedProperty, true);
            const QString t = source->controlText(dialogId, id);
            if (!t.isEmpty())
                return t;
        }
        return translatedText(current);
    };
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->textFormat() == Qt::RichText || label->text().startsWith(QLatin1Char('<')))
                continue;
            if (!label->property(kEnglishProperty).isValid())
                label->setProperty(kEnglishProperty, label->text());
            const QString t = own(label, label->text());
            if (t != label->text())
                label->setText(t);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const QString t = own(button, button->text());
            if (t != button->text())
                button->setText(t);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            const QString t = own(group, group->title());
            if (t != group->title())
                group->setTitle(t);
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i) {
                const QString t = translatedText(combo->itemText(i));
                if (t != combo->itemText(i))
                    combo->setItemText(i, t);
            }
        } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
            QTreeWidgetItem* header = tree->headerItem();
            for (int c = 0; header && c < header->columnCount(); ++c) {
                const QString t = translatedText(header->text(c));
                if (t != header->text(c))
                    header->setText(c, t);
            }
        }
    }
}

// The slider a title label stands above, when the row below it is a scale: a label, the
// slider and a label ("Low" ... "High").
QWidget* scaleBelow(QLabel* label) {
    QLayoutItem* below = neighbourItem(label, true, true);
    auto* low = below ? qobject_cast<QLabel*>(below->widget()) : nullptr;
    if (!low)
        return nullptr;
    QLayoutItem* next = neighbourItem(low, true, false);
    auto* slider = next ? qobject_cast<QAbstractSlider*>(next->widget()) : nullptr;
    if (!slider)
        return nullptr;
    QLayoutItem* after = neighbourItem(slider, true, false);
    return after && qobject_cast<QLabel*>(after->widget()) ? slider : nullptr;
}

void setBuddies(QDialog* dialog) {
    QSet<QWidget*> labelled;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->buddy())
            labelled.insert(label->buddy());
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->buddy() || label->text().trimmed().isEmpty())
            continue;
        if (QWidget* slider = scaleBelow(label); slider && !labelled.contains(slider)) {
            label->setBuddy(slider);
            labelled.insert(slider);
        }
    }
    // A field has one label: the ends of a scale name no field.
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->buddy() || label->text().trimmed().isEmpty())
            continue;
        QWidget* control = followingControl(label);
        if (control && !labelled.contains(control)) {
            label->setBuddy(control);
            labelled.insert(control);
        }
    }
}

// Column headers wide enough for their titles in the chosen language.
void fitColumns(QDialog* dialog) {
    for (auto* tree : dialog->findChildren<QTreeWidget*>()) {
        QHeaderView* header = tree->header();
        QTreeWidgetItem* titles = tree->headerItem();
        if (!header || !titles)
            continue;
        const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int c = 0; c < titles->columnCount(); ++c) {
            const int need = header->fontMetrics().horizontalAdvance(titles->text(c)) + 2 * margin;
            if (!header->isSectionHidden(c) && header->sectionSize(c) < need)
                header->resizeSection(c, need);
        }
    }
}

// The mnemonic letters the texts of a dialog's controls use, hidden ones included (they
// may be shown later).
QSet<QChar> usedMnemonics(QDialog* dialog, const QWidget* except) {
    QSet<QChar> used;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (w == except)
            continue;
        QChar letter;
        if (auto* l = qobject_cast<QLabel*>(w))
            letter = l->buddy() ? mnemonicOf(l->text()) : QChar();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            letter = mnemonicOf(b->text());
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            letter = mnemonicOf(g->title());
        if (!letter.isNull())
            used.insert(letter);
    }
    return used;
}

// A label that names no field shows every "&" as it stands: a doubled one of the
// language's texts is shown once.
void showAmpersands(QDialog* dialog) {
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (!label->buddy() && label->property(kTranslatedProperty).toBool() &&
            label->text().contains(QStringLiteral("&&")))
            label->setText(plainText(label->text()));
}

// A label that names a field but whose designed text has no mnemonic takes the one the
// language gives it, unless another control of the dialog already uses that letter.
void markBuddyLabels(QDialog* dialog) {
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (!label->buddy() || !mnemonicOf(label->text()).isNull())
            continue;
        const QString english = label->property(kEnglishProperty).toString();
        if (english.isEmpty() || !mnemonicOf(english).isNull())
            continue;
        const QString marked = translatedText(english, true);
        const QChar letter = mnemonicOf(marked);
        if (letter.isNull() || plainText(marked) != label->text())
            continue;
        if (!usedMnemonics(dialog, label).contains(letter))
            label->setText(marked);
    }
}

// The widgets taking the focus in a layout item, in the order the eye reads them: a box
// layout's items in turn, a grid's row by row and each row left to right, a container's
// own layout in its place.
void collectReadingOrder(QLayoutItem* item, QList<QWidget*>& out);

void collectReadingOrder(QLayout* layout, QList<QWidget*>& out) {
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        struct Cell {
            int row;
            int column;
            int index;
        };
        QList<Cell> cells;
        for (int i = 0; i < grid->count(); ++i) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            cells.append({row, column, i});
        }
        std::stable_sort(cells.begin(), cells.end(), [](const Cell& a, const Cell& b) {
            return a.row != b.row ? a.row < b.row : a.column < b.column;
        });
        for (const Cell& c : cells)
            collectReadingOrder(grid->itemAt(c.index), out);
        return;
    }
    auto* box = qobject_cast<QBoxLayout*>(layout);
    const bool reversed = box && (box->direction() == QBoxLayout::RightToLeft ||
                                  box->direction() == QBoxLayout::BottomToTop);
    for (int i = 0; i < layout->count(); ++i)
        collectReadingOrder(layout->itemAt(reversed ? layout->count() - 1 - i : i), out);
}

void collectReadingOrder(QLayoutItem* item, QList<QWidget*>& out) {
    if (!item)
        return;
    if (QWidget* w = item->widget()) {
        if (w->isWindow())
            return;
        // A container (a group box, a row of dialog buttons) is read through its layout.
        // A link is a label that Tab reaches.
        if (!isInteractive(w) && !qobject_cast<QLabel*>(w) && w->layout())
            collectReadingOrder(w->layout(), out);
        else if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
            out.append(w);
        return;
    }
    if (QLayout* l = item->layout())
        collectReadingOrder(l, out);
}

// Tab visits the controls in reading order: top to bottom, left to right, a "..." button
// right after the field it fills.
void orderTabs(QDialog* dialog) {
    if (!dialog->layout())
        return;
    QList<QWidget*> order;
    collectReadingOrder(dialog->layout(), order);
    if (order.isEmpty())
        return;
    // The first control comes first after the dialog itself, where the focus starts
    // (Qt links only widgets that take the focus, so the dialog takes it for a moment).
    const Qt::FocusPolicy policy = dialog->focusPolicy();
    dialog->setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(dialog, order.front());
    dialog->setFocusPolicy(policy);
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void nameControls(QDialog* dialog, int dialogId) {
    QHash<QWidget*, QLabel*> labelOf;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->buddy() && !labelOf.contains(label->buddy()))
            labelOf.insert(label->buddy(), label);
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        const bool bar = isProgressBar(w);
        if (!bar && !isInteractive(w)) {
            // A value a click can select, or a picture of the dialog's own (a signal
            // monitor, a video view), is named by the caption in front of or above it.
            auto* value = qobject_cast<QLabel*>(w);
            const bool named =
                value ? w->focusPolicy() != Qt::NoFocus
                      : idOf(w) && !qobject_cast<QGroupBox*>(w) && !qobject_cast<QDialog*>(w);
            QLayoutItem* before = named ? neighbourItem(w, false, false) : nullptr;
            auto* caption = before ? qobject_cast<QLabel*>(before->widget()) : nullptr;
            if (caption && w->accessibleName().isEmpty() && hasWords(caption->text()))
                w->setAccessibleName(spokenText(caption->text()));
            continue;
        }
        const int id = idOf(w);
        const auto named =
            std::find_if(kNamedControls.begin(), kNamedControls.end(), [&](const NamedControl& n) {
                return n.dialogId == dialogId && n.controlId == id;
            });
        if (id && named != kNamedControls.end()) {
            w->setAccessibleName(spokenText(AppResources::string(named->nameId)));
            continue;
        }
        if (!w->accessibleName().isEmpty())
            continue;
        // Qt names only some kinds of control after their buddy (not lists, combo boxes or
        // progress bars, and a group box's title wins over a label): the name is set.
        if (QLabel* label = labelOf.value(w)) {
            w->setAccessibleName(spokenText(label->text()));
            continue;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (!spokenText(button->text()).isEmpty())
                continue;
        }
        if (QLabel* label = precedingLabel(w))
            w->setAccessibleName(spokenText(label->text()));
    }
}

// Paints a path label's text elided in the middle, with the whole text as its tooltip
// when it does not fit.
class PathElider : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* label = qobject_cast<QLabel*>(watched);
        if (!label || event->type() != QEvent::Paint)
            return false;
        QPainter painter(label);
        const QRect area = label->contentsRect();
        const QString full = label->text();
        const QString shown =
            label->fontMetrics().elidedText(full, Qt::ElideMiddle, std::max(0, area.width()));
        const QString tip = shown != full ? full : QString();
        if (label->toolTip() != tip)
            label->setToolTip(tip);
        label->style()->drawItemText(&painter, area, label->alignment() | Qt::TextSingleLine,
                                     label->palette(), label->isEnabled(), shown,
                                     label->foregroundRole());
        return true;
    }
};

// Shows a line edit's whole text as its tooltip when the field is too narrow for it.
class FieldTip : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (!edit || event->type() != QEvent::ToolTip || !edit->toolTip().isEmpty())
            return false;
        auto* help = static_cast<QHelpEvent*>(event);
        const int room = edit->width() - 8;
        if (edit->fontMetrics().horizontalAdvance(edit->text()) > room)
            QToolTip::showText(help->globalPos(), edit->text(), edit);
        else
            QToolTip::hideText();
        return true;
    }
};

void fitPaths(QDialog* dialog, int dialogId) {
    for (const PathLabel& p : kPathLabels) {
        if (p.dialogId != dialogId)
            continue;
        auto* label = dialog->findChild<QLabel*>(QString::number(p.controlId));
        if (!label || label->property(kElidedProperty).toBool())
            continue;
        label->setProperty(kElidedProperty, true);
        label->setWordWrap(false);
        label->setMinimumWidth(0);
        QSizePolicy policy = label->sizePolicy();
        policy.setHorizontalPolicy(QSizePolicy::Ignored);
        label->setSizePolicy(policy);
        label->installEventFilter(new PathElider(label));
    }
    // A path field (an edit with a "..." button beside it) is wide enough for a typical path.
    for (auto* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() != QStringLiteral("..."))
            continue;
        QLayoutItem* before = neighbourItem(button, false, false);
        auto* edit = before ? qobject_cast<QLineEdit*>(before->widget()) : nullptr;
        if (!edit || edit->property(kElidedProperty).toBool())
            continue;
        edit->setProperty(kElidedProperty, true);
        edit->setMinimumWidth(std::max(
            edit->minimumWidth(),
            edit->fontMetrics().horizontalAdvance(QString::fromLatin1(kTypicalPath)) + 12));
        edit->installEventFilter(new FieldTip(edit));
    }
}

void fitTitle(QDialog* dialog) {
    if (dialog->windowFlags() & Qt::FramelessWindowHint)
        return;
    if (dialog->minimumWidth() > 0 && dialog->minimumWidth() == dialog->maximumWidth())
        return;
    // The window manager's title bar uses a font like the application's bold one, and
    // leaves room for the icon and the three window buttons.
    QFont font = QApplication::font();
    font.setBold(true);
    const int want = QFontMetrics(font).horizontalAdvance(dialog->windowTitle()) + 160;
    if (dialog->minimumWidth() >= want)
        return;
    // A minimum width the dialog set itself (wider than its controls need) counts instead of
    // its layout's: that one is raised.
    const int controls = dialog->layout() ? dialog->layout()->totalMinimumSize().width() : 0;
    if (dialog->layout() && dialog->minimumWidth() > controls) {
        dialog->setMinimumWidth(std::max(want, controls));
        return;
    }
    // An empty item of that width at the foot of the layout: the layout's own minimum
    // (its controls) still counts, which an explicit minimum width would override.
    QSpacerItem* strut = nullptr;
    if (QLayout* layout = dialog->layout()) {
        for (int i = 0; i < layout->count() && !strut; ++i)
            if (QSpacerItem* item = layout->itemAt(i)->spacerItem())
                if (item->sizeHint().height() == 0 && dialog->property(kStrutProperty).toBool())
                    strut = item;
        if (!strut && (qobject_cast<QBoxLayout*>(layout) || qobject_cast<QGridLayout*>(layout))) {
            strut = new QSpacerItem(want, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
            if (auto* box = qobject_cast<QBoxLayout*>(layout))
                box->addItem(strut);
            else if (auto* grid = qobject_cast<QGridLayout*>(layout))
                grid->addItem(strut, grid->rowCount(), 0, 1, std::max(1, grid->columnCount()));
            dialog->setProperty(kStrutProperty, true);
            return;
        }
    }
    if (strut) {
        strut->changeSize(want, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
        dialog->layout()->invalidate();
    } else {
        dialog->setMinimumWidth(want);
    }
}

// A minimised window is named by its icon text (to a screen reader, and in a task bar),
// which Qt leaves empty: it follows the window's title, unless the window set one of its own.
void keepIconTextWithTitle(QWidget* window) {
    const QVariant last = window->property(kIconTextProperty);
    if (!window->windowIconText().isEmpty() &&
        !(last.isValid() && window->windowIconText() == last.toString()))
        return;
    window->setProperty(kIconTextProperty, window->windowTitle());
    window->setWindowIconText(window->windowTitle());
}

class DialogPolisher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Polish || event->type() == QEvent::WindowTitleChange) &&
            watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
            keepIconTextWithTitle(static_cast<QWidget*>(watched));
        // A title that grows once the dialog is up (a progress dialog adds its job's words
        // when the job starts) still shows whole.
        if (event->type() == QEvent::WindowTitleChange)
            if (auto* dialog = qobject_cast<QDialog*>(watched);
                dialog && idOf(dialog) && dialog->isVisible())
                fitTitle(dialog);
        if ((event->type() == QEvent::Polish || event->type() == QEvent::Show) &&
            watched->isWidgetType()) {
            if (auto* dialog = qobject_cast<QDialog*>(watched))
                if (idOf(dialog))
                    polishDialog(dialog);
        }
        return false;
    }
};

} // namespace

QString translatedText(const QString& text) {
    return translatedText(text, false);
}

QString translatedText(const QString& text, bool keepOwnMark) {
    const QString key = text.trimmed();
    if (key.isEmpty())
        return text;
    // A count and its unit ("3 Track(s)"): the unit in the language.
    static const QRegularExpression counted(QStringLiteral("^(\\d+ )(\\D.*)$"));
    if (const QRegularExpressionMatch m = counted.match(key); m.hasMatch()) {
        const QString unit = translatedText(m.captured(2), keepOwnMark);
        if (unit != m.captured(2)) {
            const qsizetype lead = text.indexOf(key);
            return text.left(lead) + m.captured(1) + unit + text.mid(lead + key.size());
        }
    }
    // The text itself, or its words without the mnemonic mark and a trailing ":" or "...".
    QString base = key;
    QString suffix;
    auto it = englishStrings().constFind(key.toLower());
    if (it == englishStrings().constEnd()) {
        base = plainText(key);
        for (const QString& end :
             {QStringLiteral(" ..."), QStringLiteral("..."), QStringLiteral(":")}) {
            if (base.endsWith(end)) {
                suffix = end;
                base.chop(end.size());
                break;
            }
        }
        it = englishStrings().constFind(base.trimmed().toLower());
        if (it == englishStrings().constEnd())
            return text;
    }
    QString t = AppResources::string(it.value());
    if (t.isEmpty())
        return text;
    const QChar wanted = mnemonicOf(key);
    if (wanted.isNull()) {
        if (!keepOwnMark)
            t = plainText(t);
    } else if (mnemonicOf(t).isNull()) {
        // The translation has no mark of its own: the English letter, else the first one.
        qsizetype at = t.indexOf(wanted, 0, Qt::CaseInsensitive);
        if (at < 0)
            at = 0;
        t.insert(at, QLatin1Char('&'));
    }
    t += suffix;
    if (t == key)
        return text;
    const qsizetype lead = text.indexOf(key);
    return text.left(lead) + t + text.mid(lead + key.size());
}

QString plainText(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

QString spokenText(const QString& labelText) {
    QString out = plainText(labelText).trimmed();
    while (out.endsWith(QLatin1Char(':')) || out.endsWith(QLatin1Char('.')))
        out.chop(1);
    return out.trimmed();
}

QChar mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        // "& " is an ampersand standing in a sentence, not a mark.
        if (!text[i + 1].isLetterOrNumber())
            continue;
        return text[i + 1].toLower();
    }
    return {};
}

void setFormRowVisible(QWidget* field, bool visible) {
    if (!field)
        return;
    field->setVisible(visible);
    QWidget* parent = field->parentWidget();
    QLayout* owner = nullptr;
    int index = -1;
    if (!parent || !findInLayout(parent->layout(), field, &owner, &index))
        return;
    auto* grid = qobject_cast<QGridLayout*>(owner);
    if (!grid)
        return;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    for (int c = 0; c < grid->columnCount(); ++c)
        if (QLayoutItem* item = grid->itemAtPosition(row, c))
            if (item->widget())
                item->widget()->setVisible(visible);
}

void polishDialog(QDialog* dialog) {
    if (!dialog)
        return;
    const int dialogId = idOf(dialog);
    translateTexts(dialog, dialogId);
    setBuddies(dialog);
    markBuddyLabels(dialog);
    showAmpersands(dialog);
    orderTabs(dialog);
    nameControls(dialog, dialogId);
    fitPaths(dialog, dialogId);
    fitColumns(dialog);
    fitTitle(dialog);
}

void installDialogPolish(QApplication* app) {
    static QObject* installed = nullptr;
    if (!app || installed)
        return;
    installed = new DialogPolisher(app);
    app->installEventFilter(installed);
}

} // namespace cld
