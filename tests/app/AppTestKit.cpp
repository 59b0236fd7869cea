#include "AppTestKit.h"

#include "AppResources.h"
#include "BuiltinResources.h"
#include "ProgramResources.h"
#include "TestEnv.h"

#include <QCoreApplication>

namespace cldtest {

ProgramResourcesScope::ProgramResourcesScope() {
    m_library.load(QString::fromStdString(binDir().string()));
    AppResources::setSource(std::make_unique<BuiltinResources>(&cldProgramResource, &m_library));
}

ProgramResourcesScope::~ProgramResourcesScope() {
    AppResources::setSource(nullptr);
}

MessageResult MessageLog::show(const Message& message) {
    m_log->push_back(message);
    return m_answer;
}

MessageScope::MessageScope() : m_log(std::make_shared<std::vector<Message>>()) {
    MessageService::setInstance(std::make_unique<MessageLog>(m_log));
}

MessageScope::~MessageScope() {
    MessageService::setInstance(nullptr);
}

void QuickWait::waitAndPump(int milliseconds) {
    m_waits->push_back(milliseconds);
    QCoreApplication::processEvents();
}

void QuickWait::pump() {
    QCoreApplication::processEvents();
}

} // namespace cldtest
