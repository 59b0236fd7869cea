#include "OdbcDatabase.h"

#include <cstdint>
#include <cstdio>
#include <sql.h>
#include <sqlext.h>
#include <vector>

namespace {

SQLCHAR* toSql(const std::string& text) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str()));
}

// Frees a statement handle whatever way execute() leaves.
class Statement {
public:
    explicit Statement(SQLHSTMT handle) : m_handle(handle) {}
    ~Statement() {
        if (m_handle)
            SQLFreeHandle(SQL_HANDLE_STMT, m_handle);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT get() const { return m_handle; }

private:
    SQLHSTMT m_handle;
};

} // namespace

OdbcDatabase::OdbcDatabase() {
    SQLHENV env = SQL_NULL_HENV;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        m_env = env;
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(SQL_OV_ODBC3)), 0);
    }
    m_lastError = "Not connected";
}

OdbcDatabase::~OdbcDatabase() {
    disconnect();
    if (m_dbc) {
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        m_dbc = nullptr;
    }
    if (m_env)
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

bool OdbcDatabase::check(short result, short handleType, void* handle) {
    if (result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO)
        return true;
    diagnostics(result, handleType, handle, m_lastError, m_lastState);
    return false;
}

void OdbcDatabase::diagnostics(short result, short handleType, void* handle, std::string& out,
                               std::string& firstState) {
    std::string joined;
    firstState.clear();
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[512] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, message,
                                           sizeof(message), &length);
        if (rc == SQL_NO_DATA || rc == SQL_ERROR || rc == SQL_INVALID_HANDLE)
            break;
        // The native code is a 32-bit value, written as such.
        char text[700];
        std::snprintf(text, sizeof(text),
                      "SQL Error State:%s, Native Error Code: %lX, ODBC Error: %s",
                      reinterpret_cast<const char*>(state),
                      static_cast<unsigned long>(static_cast<std::uint32_t>(native)),
                      reinterpret_cast<const char*>(message));
        const std::string entry(text);
        if (record == 1) {
            joined = entry;
            firstState = reinterpret_cast<const char*>(state);
            continue;
        }
        if (joined.size() + 1 + entry.size() >= 390)
            break;
        joined += '\n';
        joined += entry;
    }
    if (joined.empty())
        joined = "ODBC call failed with result " + std::to_string(result);
    out = joined;
}

void* OdbcDatabase::openConnection(const std::string& dataSource, int loginTimeoutSeconds,
                                   std::string& error, std::string& state) const {
    error.clear();
    state.clear();
    if (!m_env) {
        error = "ODBC environment not available";
        return nullptr;
    }
    SQLHDBC dbc = SQL_NULL_HDBC;
    const SQLRETURN allocated = SQLAllocHandle(SQL_HANDLE_DBC, m_env, &dbc);
    if (!SQL_SUCCEEDED(allocated)) {
        diagnostics(allocated, SQL_HANDLE_ENV, m_env, error, state);
        return nullptr;
    }
    if (loginTimeoutSeconds > 0)
        SQLSetConnectAttr(
            dbc, SQL_ATTR_LOGIN_TIMEOUT,
            reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(loginTimeoutSeconds)),
            SQL_IS_UINTEGER);
    const std::string none;
    const SQLRETURN rc =
        SQLConnect(dbc, toSql(dataSource), SQL_NTS, toSql(none), SQL_NTS, toSql(none), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
        diagnostics(rc, SQL_HANDLE_DBC, dbc, error, state);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        return nullptr;
    }
    return dbc;
}

void OdbcDatabase::freeConnection(void* dbc) {
    if (!dbc)
        return;
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

void OdbcDatabase::adoptConnection(void* dbc) {
    dropConnection();
    m_dbc = dbc;
    readDbmsName();
}

void OdbcDatabase::readDbmsName() {
    m_dbmsName.clear();
    if (!m_dbc)
        return;
    SQLCHAR name[128] = {};
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(m_dbc, SQL_DBMS_NAME, name, sizeof(name), &length)))
        m_dbmsName = reinterpret_cast<const char*>(name);
}

bool OdbcDatabase::connect(const std::string& dataSource, const std::string& user,
                           const std::string& password) {
    if (!disconnect())
        return false;
    if (!m_env) {
        m_lastError = "ODBC environment not available";
        return false;
    }
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!check(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &dbc), SQL_HANDLE_ENV, m_env))
        return false;
    const SQLRETURN rc =
        SQLConnect(dbc, toSql(dataSource), SQL_NTS, toSql(user), SQL_NTS, toSql(password), SQL_NTS);
    if (!check(rc, SQL_HANDLE_DBC, dbc)) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        return false;
    }
    m_dbc = dbc;
    readDbmsName();
    return true;
}

bool OdbcDatabase::connectDriver(const std::string& connectionString) {
    if (!disconnect())
        return false;
    if (!m_env) {
        m_lastError = "ODBC environment not available";
        return false;
    }
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!check(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &dbc), SQL_HANDLE_ENV, m_env))
        return false;
    SQLCHAR out[1024] = {};
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, toSql(connectionString), SQL_NTS, out,
                                          sizeof(out), &outLength, SQL_DRIVER_NOPROMPT);
    if (!check(rc, SQL_HANDLE_DBC, dbc)) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        return false;
    }
    m_dbc = dbc;
    readDbmsName();
    return true;
}

bool OdbcDatabase::disconnect() {
    if (!m_dbc)
        return true;
    if (!check(SQLDisconnect(m_dbc), SQL_HANDLE_DBC, m_dbc))
        return false;
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    m_dbc = nullptr;
    m_dbmsName.clear();
    return true;
}

void OdbcDatabase::dropConnection() {
    if (!m_dbc)
        return;
    SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    m_dbc = nullptr;
    m_dbmsName.clear();
}

bool OdbcDatabase::execute(const std::string& sqlText, SqlTable& result) {
    result.clear();
    if (!m_dbc) {
        m_lastError = "Not connected";
        m_lastState.clear();
        return false;
    }
    SQLHSTMT handle = SQL_NULL_HSTMT;
    if (!check(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &handle), SQL_HANDLE_DBC, m_dbc))
        return false;
    Statement stmt(handle);

    const SQLRETURN executed = SQLExecDirect(stmt.get(), toSql(sqlText), SQL_NTS);
    // A DELETE or UPDATE that touches no row answers SQL_NO_DATA: not a failure.
    m_affectedRows = 0;
    if (executed == SQL_NO_DATA)
        return true;
    if (!check(executed, SQL_HANDLE_STMT, stmt.get()))
        return false;
    SQLLEN affected = 0;
    if (SQL_SUCCEEDED(SQLRowCount(stmt.get(), &affected)) && affected > 0)
        m_affectedRows = static_cast<long long>(affected);

    SQLSMALLINT columns = 0;
    if (!check(SQLNumResultCols(stmt.get(), &columns), SQL_HANDLE_STMT, stmt.get()))
        return false;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columns); ++i) {
        SQLCHAR name[100] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!check(SQLDescribeCol(stmt.get(), i, name, sizeof(name), &nameLength, &type, &size,
                                  &digits, &nullable),
                   SQL_HANDLE_STMT, stmt.get()))
            return false;
        const bool integer = type == SQL_INTEGER || type == SQL_SMALLINT;
        result.addColumn(reinterpret_cast<const char*>(name),
                         integer ? SqlColumn::Integer : SqlColumn::Text);
    }
    if (columns <= 0)
        return true;

    std::vector<char> chunk(4096);
    for (;;) {
        const SQLRETURN fetched = SQLFetch(stmt.get());
        if (fetched == SQL_NO_DATA)
            break;
        if (!check(fetched, SQL_HANDLE_STMT, stmt.get()))
            return false;
        const int row = result.addRow();
        for (int col = 0; col < columns; ++col) {
            const auto number = static_cast<SQLUSMALLINT>(col + 1);
            if (result.columnType(col) == SqlColumn::Integer) {
                SQLINTEGER value = 0;
                SQLLEN indicator = 0;
                if (!check(SQLGetData(stmt.get(), number, SQL_C_LONG, &value, sizeof(value),
                                      &indicator),
                           SQL_HANDLE_STMT, stmt.get()))
                    return false;
                result.setInt(row, col, indicator == SQL_NULL_DATA ? 0 : value);
                continue;
            }
            // Text is read in pieces until the driver has given all of it, so no value is
            // cut to the column size the driver reports.
            std::string value;
            for (;;) {
                SQLLEN indicator = 0;
                const SQLRETURN rc = SQLGetData(stmt.get(), number, SQL_C_CHAR, chunk.data(),
                                                static_cast<SQLLEN>(chunk.size()), &indicator);
                if (rc == SQL_NO_DATA || indicator == SQL_NULL_DATA)
                    break;
                if (!check(rc, SQL_HANDLE_STMT, stmt.get()))
                    return false;
                std::size_t piece = chunk.size() - 1;
                if (indicator != SQL_NO_TOTAL && indicator >= 0 &&
                    static_cast<std::size_t>(indicator) < piece)
                    piece = static_cast<std::size_t>(indicator);
                value.append(chunk.data(), piece);
                if (rc == SQL_SUCCESS)
                    break;
            }
            result.setText(row, col, value);
        }
    }
    return true;
}

bool OdbcDatabase::execute(const std::string& sqlText) {
    SqlTable ignored;
    return execute(sqlText, ignored);
}

std::string OdbcDatabase::createStatement(const std::string& tableName,
                                          const SqlTable& description) {
    std::string sql = "CREATE TABLE " + tableName + " (";
    for (int i = 0; i < description.columnCount(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += description.columnName(i);
        sql += description.columnType(i) == SqlColumn::Integer ? " INTEGER" : " TEXT";
        if (description.isUnique(i))
            sql += " UNIQUE";
    }
    return sql + ")";
}

std::string OdbcDatabase::insertStatement(const std::string& tableName, const SqlTable& table,
                                          int row) {
    std::string sql = "INSERT INTO " + tableName + " (";
    for (int i = 0; i < table.columnCount(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += table.columnName(i);
    }
    sql += ") VALUES (";
    for (int i = 0; i < table.columnCount(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += '\'';
        if (table.columnType(i) == SqlColumn::Integer) {
            sql += std::to_string(table.integer(row, i));
        } else {
            for (char c : table.text(row, i)) {
                if (c == '\'')
                    sql += '\'';
                sql += c;
            }
        }
        sql += '\'';
    }
    return sql + ")";
}

bool OdbcDatabase::createTable(const std::string& tableName, const SqlTable& description) {
    return execute(createStatement(tableName, description));
}

bool OdbcDatabase::insertRow(const std::string& tableName, const SqlTable& table, int row) {
    return execute(insertStatement(tableName, table, row));
}

bool OdbcDatabase::insertAll(const std::string& tableName, const SqlTable& table) {
    for (int row = 0; row < table.rowCount(); ++row)
        if (!insertRow(tableName, table, row))
            return false;
    return true;
}

bool OdbcDatabase::beginTransaction() {
    if (!m_dbc) {
        m_lastError = "Not connected";
        m_lastState.clear();
        return false;
    }
    return check(SQLSetConnectAttr(
                     m_dbc, SQL_ATTR_AUTOCOMMIT,
                     reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(SQL_AUTOCOMMIT_OFF)),
                     SQL_IS_UINTEGER),
                 SQL_HANDLE_DBC, m_dbc);
}

bool OdbcDatabase::endTransaction(bool commitWork) {
    if (!m_dbc) {
        m_lastError = "Not connected";
        m_lastState.clear();
        return false;
    }
    const bool ended =
        check(SQLEndTran(SQL_HANDLE_DBC, m_dbc, commitWork ? SQL_COMMIT : SQL_ROLLBACK),
              SQL_HANDLE_DBC, m_dbc);
    const std::string error = m_lastError;
    SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(SQL_AUTOCOMMIT_ON)),
                      SQL_IS_UINTEGER);
    m_lastError = error;
    return ended;
}

bool OdbcDatabase::commit() {
    return endTransaction(true);
}

bool OdbcDatabase::rollback() {
    return endTransaction(false);
}
