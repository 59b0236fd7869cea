#include "PickerService.h"

#include "AppResources.h"
#include "StringIds.h"
#include "StringTable.h"

#include <QFileDialog>

namespace {
std::unique_ptr<PickerService>& current() {
    static std::unique_ptr<PickerService> service;
    return service;
}
} // namespace

std::unique_ptr<PickerService> PickerService::setInstance(std::unique_ptr<PickerService> service) {
    std::swap(current(), service);
    return service;
}

PickerService& PickerService::instance() {
    if (!current())
        current() = std::make_unique<FileDialogPickerService>();
    return *current();
}

QString PickerService::folder(QWidget* parent, int titleId, const QString& startFolder) {
    QString title = AppResources::string(titleId);
    if (title.isEmpty())
        title = AppResources::string(cld::IDS_OPEN_TITLE);
    return instance().pickFolder(parent, title, startFolder);
}

QString FileDialogPickerService::pickFolder(QWidget* parent, const QString& title,
                                            const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
}

QString FileDialogPickerService::openFile(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& startFolder) {
    return QFileDialog::getOpenFileName(parent, title, startFolder, filter);
}

QStringList FileDialogPickerService::openFiles(QWidget* parent, const QString& title,
                                               const QString& filter, const QString& startFolder) {
    return QFileDialog::getOpenFileNames(parent, title, startFolder, filter);
}

QString FileDialogPickerService::saveFile(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& startPath) {
    return QFileDialog::getSaveFileName(parent, title, startPath, filter);
}
