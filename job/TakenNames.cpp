#include "TakenNames.h"

#include "AppResources.h"
#include "JobContext.h"
#include "MessageService.h"
#include "StringIds.h"

#include <QStringList>
#include <filesystem>

namespace cld {

TakenNamesChoice settleTakenNames(const JobContext& context, OutputPlan& plan, QWidget* parent) {
    const std::vector<std::string> inTheWay = plan.takenPaths();
    if (inTheWay.empty())
        return TakenNamesChoice::NoneTaken;
    // The names, not the whole paths: they all lie in the one folder the user chose.
    constexpr std::size_t kListed = 12;
    QStringList names;
    for (std::size_t i = 0; i < inTheWay.size() && i < kListed; ++i)
        names << QString::fromStdString(std::filesystem::path(inTheWay[i]).filename().string());
    if (inTheWay.size() > kListed)
        names << QStringLiteral("\u2026");
    const QString text = AppResources::string(IDS_NAMES_TAKEN_ASK)
                             .arg(inTheWay.size())
                             .arg(names.join(QLatin1Char('\n')));
    const MessageResult answer =
        context.messages().show(Message{IDS_NAMES_TAKEN_ASK, text, MessageIcon::Question,
                                        MessageButtons::ReplaceKeepBothCancel, parent});
    switch (answer) {
    case MessageResult::Yes:
        plan.replaceExisting = true;
        return TakenNamesChoice::Replace;
    case MessageResult::No:
        plan.keepBoth();
        return TakenNamesChoice::KeepBoth;
    default:
        break;
    }
    return TakenNamesChoice::Cancel;
}

} // namespace cld
