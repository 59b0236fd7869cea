#include "CEditableListCtrl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace {

// Hands out a one-line editor only for the columns the list allows.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(CEditableListCtrl* list) : QStyledItemDelegate(list), m_list(list) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (!m_list->isColumnEditable(index.column()))
            return nullptr;
        auto* edit = new QLineEdit(parent);
        edit->setFrame(false);
        edit->setMaxLength(1024);
        Q_UNUSED(option);
        return edit;
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit)
            return;
        QString text = edit->text();
        text.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        model->setData(index, text, Qt::EditRole);
    }

private:
    CEditableListCtrl* m_list;
};

} // namespace

CEditableListCtrl::CEditableListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setItemDelegate(new CellDelegate(this));
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (!m_filling)
            emit cellEdited(indexOfTopLevelItem(item), column, item->text(column));
    });
}

void CEditableListCtrl::setColumns(const QStringList& headers) {
    setColumnCount(static_cast<int>(headers.size()));
    setHeaderLabels(headers);
    header()->setStretchLastSection(true);
}

void CEditableListCtrl::setColumnEditable(int column, bool editable) {
    if (editable)
        m_editable.insert(column);
    else
        m_editable.remove(column);
}

int CEditableListCtrl::insertRow(int row, const QString& firstColumn) {
    m_filling = true;
    auto* item = new QTreeWidgetItem;
    item->setText(0, firstColumn);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    if (m_checkable) {
        flags |= Qt::ItemIsUserCheckable;
        item->setCheckState(0, Qt::Unchecked);
    }
    item->setFlags(flags);
    if (row < 0 || row > topLevelItemCount())
        row = topLevelItemCount();
    insertTopLevelItem(row, item);
    m_filling = false;
    return row;
}

QString CEditableListCtrl::cellText(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

void CEditableListCtrl::setCellText(int row, int column, const QString& text) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item || column < 0 || column >= columnCount())
        return;
    m_filling = true;
    item->setText(column, text);
    m_filling = false;
}

bool CEditableListCtrl::isChecked(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item && item->checkState(0) == Qt::Checked;
}

void CEditableListCtrl::setChecked(int row, bool checked) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item || !m_checkable)
        return;
    m_filling = true;
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    m_filling = false;
}

void CEditableListCtrl::setAllChecked(bool checked) {
    for (int i = 0; i < rowCount(); ++i)
        setChecked(i, checked);
}

QList<int> CEditableListCtrl::checkedRows() const {
    QList<int> rows;
    for (int i = 0; i < rowCount(); ++i) {
        if (isChecked(i))
            rows.append(i);
    }
    return rows;
}

bool CEditableListCtrl::editCell(int row, int column) {
    QTreeWidgetItem* item = topLevelItem(row);
    if (!item || !isColumnEditable(column) || column >= columnCount())
        return false;
    setCurrentItem(item, column);
    editItem(item, column);
    return true;
}

void CEditableListCtrl::keyPressEvent(QKeyEvent* event) {
    // F2 edits the first editable column of the current row, as in a file manager.
    if (event->key() == Qt::Key_F2 && currentItem()) {
        int column = currentColumn();
        if (!isColumnEditable(column)) {
            for (int c = 0; c < columnCount(); ++c) {
                if (isColumnEditable(c)) {
                    column = c;
                    break;
                }
            }
        }
        if (editCell(indexOfTopLevelItem(currentItem()), column))
            return;
    }
    QTreeWidget::keyPressEvent(event);
}
