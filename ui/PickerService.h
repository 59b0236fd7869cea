#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

// Folder and file pickers. Every dialog asks through the current picker service; tests
// install their own to answer with prepared paths. An empty answer means cancelled.
class PickerService {
public:
    virtual ~PickerService() = default;

    virtual QString pickFolder(QWidget* parent, const QString& title,
                               const QString& startFolder) = 0;
    virtual QString openFile(QWidget* parent, const QString& title, const QString& filter,
                             const QString& startFolder) = 0;
    virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& startFolder) = 0;
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& filter,
                             const QString& startPath) = 0;

    static std::unique_ptr<PickerService> setInstance(std::unique_ptr<PickerService> service);
    static PickerService& instance();

    // Folder picker titled by string-table text titleId ("Open" when the id has no text).
    static QString folder(QWidget* parent, int titleId, const QString& startFolder = QString());
};

// The standard service over the desktop's file dialogs.
class FileDialogPickerService : public PickerService {
public:
    QString pickFolder(QWidget* parent, const QString& title, const QString& startFolder) override;
    QString openFile(QWidget* parent, const QString& title, const QString& filter,
                     const QString& startFolder) override;
    QStringList openFiles(QWidget* parent, const QString& title, const QString& filter,
                          const QString& startFolder) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& filter,
                     const QString& startPath) override;
};
