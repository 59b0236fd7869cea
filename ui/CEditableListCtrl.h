#pragma once

#include <QSet>
#include <QTreeWidget>

// A report-view list whose cells can be edited in place in the columns marked editable
// (double-click, F2, or editCell). Rows may carry a check box. An edit commits on Enter
// or when the editor loses focus, and Escape cancels it. Line breaks in typed text are
// turned into spaces, so a cell always holds one line.
class CEditableListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CEditableListCtrl(QWidget* parent = nullptr);

    void setColumns(const QStringList& headers);
    void setColumnEditable(int column, bool editable);
    bool isColumnEditable(int column) const { return m_editable.contains(column); }
    void setCheckable(bool checkable) { m_checkable = checkable; }

    // Inserts a row at `row` (appends past the end); returns its index.
    int insertRow(int row, const QString& firstColumn);
    int rowCount() const { return topLevelItemCount(); }
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);
    QList<int> checkedRows() const;

    // Opens the in-place editor on a cell; false when the cell cannot be edited.
    bool editCell(int row, int column);

signals:
    void cellEdited(int row, int column, const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QSet<int> m_editable;
    bool m_checkable = false;
    bool m_filling = false;
};
