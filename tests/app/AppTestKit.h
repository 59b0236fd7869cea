#pragma once

#include "CLDResLibrary.h"
#include "MessageService.h"
#include "WaitService.h"

#include <QString>
#include <memory>
#include <vector>

namespace cldtest {

// Installs the program's own resources (strings, compiled-in pictures and the picture
// library from the build folder) for the lifetime of the object.
class ProgramResourcesScope {
public:
    ProgramResourcesScope();
    ~ProgramResourcesScope();
    ProgramResourcesScope(const ProgramResourcesScope&) = delete;
    ProgramResourcesScope& operator=(const ProgramResourcesScope&) = delete;

private:
    CLDResLibrary m_library;
};

// Records every message and answers with a fixed choice.
class MessageLog : public MessageService {
public:
    explicit MessageLog(std::shared_ptr<std::vector<Message>> log,
                        MessageResult answer = MessageResult::Ok)
        : m_log(std::move(log)), m_answer(answer) {}
    MessageResult show(const Message& message) override;

private:
    std::shared_ptr<std::vector<Message>> m_log;
    MessageResult m_answer;
};

// Installs a MessageLog for the lifetime of the object.
class MessageScope {
public:
    MessageScope();
    ~MessageScope();
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;
    const std::vector<Message>& messages() const { return *m_log; }

private:
    std::shared_ptr<std::vector<Message>> m_log;
};

// Waits that only pump events once, and remember how long they were asked to be.
class QuickWait : public WaitService {
public:
    explicit QuickWait(std::shared_ptr<std::vector<int>> waits) : m_waits(std::move(waits)) {}
    void waitAndPump(int milliseconds) override;
    void pump() override;

private:
    std::shared_ptr<std::vector<int>> m_waits;
};

} // namespace cldtest
