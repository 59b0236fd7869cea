#include "SqlColumn.h"

SqlColumn::SqlColumn(std::string name, Type type, bool unique)
    : m_type(type), m_name(std::move(name)), m_unique(unique) {}
