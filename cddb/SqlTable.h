#pragma once

#include "SqlColumn.h"

#include <cstdint>
#include <string>
#include <vector>

// An in-memory table: a result set read by OdbcDatabase::execute, or the description and
// rows of a table to create or fill. All columns hold the same number of cells.
// Out-of-range indexes read as empty text, 0 and type Invalid.
class SqlTable {
public:
    int addColumn(const std::string& name, SqlColumn::Type type, bool unique = false);
    // Appends an empty row (empty text, 0) and returns its index.
    int addRow();
    // Effective only on a text column.
    void setText(int row, int column, const std::string& text);
    // Effective only on an integer column.
    void setInt(int row, int column, std::int32_t value);

    std::string text(int row, int column) const;
    std::int32_t integer(int row, int column) const;
    int rowCount() const;
    int columnCount() const;
    SqlColumn::Type columnType(int column) const;
    std::string columnName(int column) const;
    bool isUnique(int column) const;

    void clear() { m_columns.clear(); }

private:
    const SqlCell* cell(int row, int column) const;

    std::vector<SqlColumn> m_columns;
};
