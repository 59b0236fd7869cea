#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One cell of an in-memory result table; only the member matching the column's type is used.
struct SqlCell {
    std::string text;
    std::int32_t value = 0;
};

// One column of an SqlTable: its type, name, cells and UNIQUE flag.
class SqlColumn {
public:
    enum Type : int { Text = 0, Integer = 1, Invalid = 2 };

    SqlColumn(std::string name, Type type, bool unique);

    Type type() const { return m_type; }
    const std::string& name() const { return m_name; }
    bool isUnique() const { return m_unique; }
    std::vector<SqlCell>& cells() { return m_cells; }
    const std::vector<SqlCell>& cells() const { return m_cells; }

private:
    Type m_type;
    std::string m_name;
    std::vector<SqlCell> m_cells;
    bool m_unique;
};
