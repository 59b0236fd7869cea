#include "UnknownName.h"

#include "AppResources.h"
#include "GrabText.h"
#include "StringIds.h"

namespace cld {

namespace {

QString shownUnknown() {
    const QString shown = AppResources::string(IDS_GRAB_UNKNOWN_NAME);
    return shown.isEmpty() ? QString::fromUtf8(kUnknownName) : shown;
}

} // namespace

QString shownName(const std::string& kept) {
    return kept == kUnknownName ? shownUnknown() : QString::fromStdString(kept);
}

std::string keptName(const QString& shown) {
    return shown == shownUnknown() ? std::string(kUnknownName) : shown.toStdString();
}

} // namespace cld
