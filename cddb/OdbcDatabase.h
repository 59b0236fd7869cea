#pragma once

#include "SqlTable.h"

#include <string>

// A small ODBC 3 wrapper: one environment, at most one connection, statements executed
// into SqlTable results. Operations return false on failure and leave the driver's
// diagnostics in lastError().
class OdbcDatabase {
public:
    OdbcDatabase();
    virtual ~OdbcDatabase();
    OdbcDatabase(const OdbcDatabase&) = delete;
    OdbcDatabase& operator=(const OdbcDatabase&) = delete;

    // Connects to a registered data source, dropping any open connection first.
    bool connect(const std::string& dataSource, const std::string& user,
                 const std::string& password);
    // Connects with a full connection string ("DRIVER=...;Database=...").
    bool connectDriver(const std::string& connectionString);
    bool disconnect();
    bool isConnected() const { return m_dbc != nullptr; }

    // Runs one statement; a statement with result columns fills `result` with every row.
    // Text values are read whole, whatever column size the driver reports.
    bool execute(const std::string& sqlText, SqlTable& result);
    bool execute(const std::string& sqlText);
    // How many rows the last successful INSERT, UPDATE or DELETE touched.
    long long affectedRows() const { return m_affectedRows; }

    // "CREATE TABLE name (col TEXT [UNIQUE], col INTEGER, ...)" from the description.
    bool createTable(const std::string& tableName, const SqlTable& description);
    bool insertRow(const std::string& tableName, const SqlTable& table, int row);
    // Inserts rows 0.. in order; stops with false at the first failure.
    bool insertAll(const std::string& tableName, const SqlTable& table);

    // Transactions on the open connection (autocommit otherwise).
    bool beginTransaction();
    bool commit();
    bool rollback();

    const std::string& lastError() const { return m_lastError; }
    // The database product behind the connection as its driver names it ("SQLite",
    // "PostgreSQL"); empty when not connected.
    const std::string& dbmsName() const { return m_dbmsName; }
    // The five-character state of the last failure's first diagnostic record ("08S01",
    // "23505", ...); empty when the failure had none.
    const std::string& lastState() const { return m_lastState; }

    // The INSERT statement insertRow runs: text quoted with doubled apostrophes, integers
    // quoted as well.
    static std::string insertStatement(const std::string& tableName, const SqlTable& table,
                                       int row);
    static std::string createStatement(const std::string& tableName, const SqlTable& description);

protected:
    void setLastError(const std::string& text, const std::string& state = {}) {
        m_lastError = text;
        m_lastState = state;
    }
    // Closes the connection whatever state it is in (one whose server has gone away
    // included) and frees its handle.
    void dropConnection();
    // A new connection to the data source, made without touching this object's own
    // connection or error state, so another thread may make it while this one works on.
    // Null on failure, with the diagnostics in `error` and `state`. A positive
    // `loginTimeoutSeconds` bounds the wait for the server.
    void* openConnection(const std::string& dataSource, int loginTimeoutSeconds, std::string& error,
                         std::string& state) const;
    // Makes a handle from openConnection this object's connection (dropping the old one).
    void adoptConnection(void* dbc);
    // Disconnects and frees a handle from openConnection that was never adopted.
    static void freeConnection(void* dbc);
    // True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO; otherwise collects the diagnostics
    // of `handle` into lastError().
    bool check(short result, short handleType, void* handle);

private:
    bool endTransaction(bool commitWork);
    void readDbmsName();
    static void diagnostics(short result, short handleType, void* handle, std::string& text,
                            std::string& firstState);

    void* m_env = nullptr;
    void* m_dbc = nullptr;
    std::string m_lastError;
    std::string m_lastState;
    std::string m_dbmsName;
    long long m_affectedRows = 0;
};
