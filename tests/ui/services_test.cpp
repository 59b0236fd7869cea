#include "AppResources.h"
#include "BuiltinResources.h"
#include "MessageService.h"
#include "PickerService.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WaitService.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <vector>

namespace {

class RecordingMessages : public MessageService {
public:
    explicit RecordingMessages(std::vector<Message>* log, MessageResult answer)
        : m_log(log), m_answer(answer) {}
    MessageResult show(const Message& message) override {
        m_log->push_back(message);
        return m_answer;
    }

private:
    std::vector<Message>* m_log;
    MessageResult m_answer;
};

class RecordingPicker : public PickerService {
public:
    QString pickFolder(QWidget*, const QString& title, const QString& start) override {
        titles.append(title);
        starts.append(start);
        return answer;
    }
    QString openFile(QWidget*, const QString& title, const QString&, const QString&) override {
        titles.append(title);
        return answer;
    }
    QStringList openFiles(QWidget*, const QString& title, const QString&, const QString&) override {
        titles.append(title);
        return {answer};
    }
    QString saveFile(QWidget*, const QString& title, const QString&, const QString&) override {
        titles.append(title);
        return answer;
    }
    QStringList titles;
    QStringList starts;
    QString answer;
};

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        AppResources::setSource(std::make_unique<BuiltinResources>(nullptr, nullptr));
    }
    void TearDown() override {
        MessageService::setInstance(nullptr);
        PickerService::setInstance(nullptr);
        WaitService::setInstance(nullptr);
        AppResources::setSource(nullptr);
    }
};

TEST_F(Services, MessageByIdCarriesIdTextIconAndButtons) {
    std::vector<Message> log;
    MessageService::setInstance(std::make_unique<RecordingMessages>(&log, MessageResult::Yes));
    const MessageResult r =
        MessageService::message(164, MessageIcon::Question, MessageButtons::YesNo);
    EXPECT_EQ(r, MessageResult::Yes);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].stringId, 164);
    EXPECT_TRUE(log[0].text.startsWith(QStringLiteral("Calderine needs to restart")));
    EXPECT_TRUE(log[0].text.contains(QStringLiteral("files.\n\nDo you")));
    EXPECT_EQ(log[0].icon, MessageIcon::Question);
    EXPECT_EQ(log[0].buttons, MessageButtons::YesNo);
}

TEST_F(Services, MessageArgumentFillsThePlaceholderOnly) {
    std::vector<Message> log;
    MessageService::setInstance(std::make_unique<RecordingMessages>(&log, MessageResult::Ok));
    MessageService::message(cld::IDS_HELP_MISSING, MessageIcon::Error, MessageButtons::Ok, nullptr,
                            QStringLiteral("/opt/cld/cld.chm"));
    // A text without a placeholder is shown as it stands even with an argument.
    MessageService::message(152, MessageIcon::Error, MessageButtons::Ok, nullptr,
                            QStringLiteral("ignored"));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].text, QStringLiteral("Error: Cannot find the help file /opt/cld/cld.chm."));
    EXPECT_EQ(log[1].text, QStringLiteral("Error: Cannot initialize cldrip.dll !"));
}

TEST_F(Services, UnknownIdStillShowsSomethingAndPlainTextHasNoId) {
    std::vector<Message> log;
    MessageService::setInstance(std::make_unique<RecordingMessages>(&log, MessageResult::Ok));
    MessageService::message(4242);
    MessageService::text(QStringLiteral("Codec said no"), MessageIcon::Exclamation);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_FALSE(log[0].text.isEmpty());
    EXPECT_TRUE(log[0].text.contains(QStringLiteral("4242")));
    EXPECT_EQ(log[1].stringId, 0);
    EXPECT_EQ(log[1].text, QStringLiteral("Codec said no"));
}

TEST_F(Services, InstallingAServiceHandsBackThePreviousOne) {
    std::vector<Message> first;
    std::vector<Message> second;
    MessageService::setInstance(std::make_unique<RecordingMessages>(&first, MessageResult::Ok));
    auto previous = MessageService::setInstance(
        std::make_unique<RecordingMessages>(&second, MessageResult::Ok));
    MessageService::message(156);
    MessageService::setInstance(std::move(previous));
    MessageService::message(191);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].stringId, 156);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].stringId, 191);
}

TEST_F(Services, FolderPickerIsTitledFromTheTableOrOpen) {
    auto picker = std::make_unique<RecordingPicker>();
    RecordingPicker* p = picker.get();
    p->answer = QStringLiteral("/music/out");
    PickerService::setInstance(std::move(picker));
    EXPECT_EQ(PickerService::folder(nullptr, 165, QStringLiteral("/music")),
              QStringLiteral("/music/out"));
    p->answer.clear();
    EXPECT_TRUE(PickerService::folder(nullptr, 4242).isEmpty());
    ASSERT_EQ(p->titles.size(), 2);
    EXPECT_EQ(p->titles[0], QStringLiteral("Select a Folder where to Save the MP3 file(s)..."));
    EXPECT_EQ(p->starts[0], QStringLiteral("/music"));
    EXPECT_EQ(p->titles[1], QStringLiteral("Open"));
}

TEST_F(Services, WaitingHandlesEventsPostedMeanwhile) {
    int fired = 0;
    QTimer::singleShot(0, [&fired] { ++fired; });
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&fired] { ++fired; }, Qt::QueuedConnection);
    WaitService::instance().waitAndPump(30);
    EXPECT_EQ(fired, 2);
    // A zero or negative wait still returns and still handles what is pending.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&fired] { ++fired; }, Qt::QueuedConnection);
    WaitService::instance().waitAndPump(-5);
    EXPECT_EQ(fired, 3);
}

TEST_F(Services, AReplacedWaitServiceSeesEveryWait) {
    class CountingWait : public WaitService {
    public:
        explicit CountingWait(int* total) : m_total(total) {}
        void waitAndPump(int ms) override { *m_total += ms; }
        void pump() override {}

    private:
        int* m_total;
    };
    int total = 0;
    WaitService::setInstance(std::make_unique<CountingWait>(&total));
    WaitService::instance().waitAndPump(1200);
    WaitService::instance().waitAndPump(300);
    EXPECT_EQ(total, 1500);
}

} // namespace
