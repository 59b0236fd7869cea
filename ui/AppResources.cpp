#include "AppResources.h"

namespace {
std::unique_ptr<ResourceSource>& current() {
    static std::unique_ptr<ResourceSource> source;
    return source;
}
} // namespace

std::unique_ptr<ResourceSource> AppResources::setSource(std::unique_ptr<ResourceSource> source) {
    std::swap(current(), source);
    return source;
}

const ResourceSource* AppResources::source() {
    return current().get();
}

QString AppResources::string(int id) {
    const ResourceSource* s = source();
    return s ? s->string(id) : QString();
}

QString AppResources::caption(int id) {
    const ResourceSource* s = source();
    return s ? s->dialogCaption(id) : QString();
}

QImage AppResources::bitmap(int id) {
    const ResourceSource* s = source();
    return s ? s->bitmap(id) : QImage();
}

QImage AppResources::png(int id) {
    const ResourceSource* s = source();
    return s ? s->image(QStringLiteral("PNG"), id) : QImage();
}

QIcon AppResources::icon(int id) {
    const ResourceSource* s = source();
    return s ? s->icon(id) : QIcon();
}

QString AppResources::controlText(int dialogId, int controlId, const QString& english) {
    const ResourceSource* s = source();
    const QString text = s ? s->controlText(dialogId, controlId) : QString();
    return text.isEmpty() ? english : text;
}
