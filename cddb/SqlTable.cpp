#include "SqlTable.h"

int SqlTable::addColumn(const std::string& name, SqlColumn::Type type, bool unique) {
    if (type != SqlColumn::Integer)
        type = SqlColumn::Text;
    SqlColumn column(name, type, unique);
    column.cells().resize(static_cast<std::size_t>(rowCount()));
    m_columns.push_back(std::move(column));
    return columnCount() - 1;
}

int SqlTable::addRow() {
    const int row = rowCount();
    for (SqlColumn& column : m_columns)
        column.cells().emplace_back();
    return row;
}

void SqlTable::setText(int row, int column, const std::string& text) {
    if (columnType(column) != SqlColumn::Text || row < 0 || row >= rowCount())
        return;
    m_columns[static_cast<std::size_t>(column)].cells()[static_cast<std::size_t>(row)].text = text;
}

void SqlTable::setInt(int row, int column, std::int32_t value) {
    if (columnType(column) != SqlColumn::Integer || row < 0 || row >= rowCount())
        return;
    m_columns[static_cast<std::size_t>(column)].cells()[static_cast<std::size_t>(row)].value =
        value;
}

const SqlCell* SqlTable::cell(int row, int column) const {
    if (column < 0 || column >= columnCount() || row < 0 || row >= rowCount())
        return nullptr;
    return &m_columns[static_cast<std::size_t>(column)].cells()[static_cast<std::size_t>(row)];
}

std::string SqlTable::text(int row, int column) const {
    const SqlCell* c = cell(row, column);
    return c ? c->text : std::string();
}

std::int32_t SqlTable::integer(int row, int column) const {
    const SqlCell* c = cell(row, column);
    return c ? c->value : 0;
}

int SqlTable::rowCount() const {
    return m_columns.empty() ? 0 : static_cast<int>(m_columns.front().cells().size());
}

int SqlTable::columnCount() const {
    return static_cast<int>(m_columns.size());
}

SqlColumn::Type SqlTable::columnType(int column) const {
    if (column < 0 || column >= columnCount())
        return SqlColumn::Invalid;
    return m_columns[static_cast<std::size_t>(column)].type();
}

std::string SqlTable::columnName(int column) const {
    if (column < 0 || column >= columnCount())
        return {};
    return m_columns[static_cast<std::size_t>(column)].name();
}

bool SqlTable::isUnique(int column) const {
    if (column < 0 || column >= columnCount())
        return false;
    return m_columns[static_cast<std::size_t>(column)].isUnique();
}
