#include "TakenNames.h"

#include "AppResources.h"
#include "JobContext.h"
#include "MessageService.h"
#include "SafeFiles.h"
#include "StringIds.h"

#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <set>

namespace cld {

namespace {

bool taken(const std::string& path) {
    return files::occupantOf(path) != files::Occupant::None;
}

} // namespace

OutputPlan makeOutputPlan(std::vector<std::string> trackPaths, const std::string& logBase) {
    OutputPlan plan;
    plan.wanted = trackPaths;
    files::makeDistinct(trackPaths);
    plan.tracks = std::move(trackPaths);
    plan.logBase = logBase;
    return plan;
}

std::vector<std::string> OutputPlan::takenPaths() const {
    std::vector<std::string> out;
    for (std::size_t i : files::takenPaths(tracks))
        out.push_back(tracks[i]);
    for (const char* extension : {".log", ".cue"}) {
        if (!logBase.empty() && taken(logBase + extension))
            out.push_back(logBase + extension);
    }
    return out;
}

void OutputPlan::keepBoth() {
    std::set<std::string> used;
    for (std::size_t i = 0; i < wanted.size() && i < tracks.size(); ++i) {
        std::string candidate = wanted[i];
        for (int n = 2; n < 10000 && (used.count(candidate) || taken(candidate)); ++n)
            candidate = files::numberedPath(wanted[i], n);
        tracks[i] = candidate;
        used.insert(candidate);
    }
    if (logBase.empty() || (!taken(logBase + ".log") && !taken(logBase + ".cue")))
        return;
    for (int n = 2; n < 10000; ++n) {
        const std::string base = files::numberedPath(logBase + ".log", n);
        const std::string candidate = base.substr(0, base.size() - 4);
        if (!taken(candidate + ".log") && !taken(candidate + ".cue")) {
            logBase = candidate;
            return;
        }
    }
}

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
