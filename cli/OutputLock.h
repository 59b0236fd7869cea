#pragma once

#include <string>

// A lock on an output's name that every calderine process respects: while one process
// holds it, no other one writes that output. It is a lock file beside the output
// (".NAME.calderine-lock", locked with flock), which the holder removes when it lets go;
// a lock file left by a process that died holds no lock and is taken over.
namespace cld::cli {

class OutputLock {
public:
    OutputLock() = default;
    ~OutputLock();
    OutputLock(OutputLock&& other) noexcept;
    OutputLock& operator=(OutputLock&& other) noexcept;
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

    enum class Result {
        Locked, // this process holds the lock now
        HeldByOther,
        Failed, // the lock file cannot be made (a folder that refuses it, say)
    };
    // Tries once, without waiting.
    Result tryLock(const std::string& output);
    void release();
    bool held() const { return m_fd >= 0; }

    static std::string lockPathFor(const std::string& output);

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace cld::cli
