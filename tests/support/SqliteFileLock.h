#pragma once

#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace cldtest {

// Another process that holds a SQLite file locked (exclusive locking mode, a write
// transaction under way) until this object releases it: every other connection finds
// the file busy, for reading as well as for writing. Link sqlite3 to use it.
class SqliteFileLock {
public:
    explicit SqliteFileLock(const std::string& file) {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(m_release) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(m_release[1]);
            sqlite3* db = nullptr;
            char held = 0;
            if (sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
                sqlite3_exec(db,
                             "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                             "CREATE TABLE IF NOT EXISTS HeldByTest (x); INSERT INTO HeldByTest "
                             "VALUES (1);",
                             nullptr, nullptr, nullptr) == SQLITE_OK)
                held = 1;
            (void)!::write(ready[1], &held, 1);
            char byte = 0;
            (void)!::read(m_release[0], &byte, 1); // until the parent releases
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(m_release[0]);
        char held = 0;
        m_held = m_pid > 0 && ::read(ready[0], &held, 1) == 1 && held == 1;
        ::close(ready[0]);
    }
    ~SqliteFileLock() { release(); }
    SqliteFileLock(const SqliteFileLock&) = delete;
    SqliteFileLock& operator=(const SqliteFileLock&) = delete;

    // Whether the other process got the lock.
    bool held() const { return m_held; }
    // Ends the other process, and with it the lock.
    void release() {
        if (m_pid <= 0)
            return;
        ::close(m_release[1]);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        m_held = false;
    }

private:
    pid_t m_pid = -1;
    int m_release[2] = {-1, -1};
    bool m_held = false;
};

} // namespace cldtest
