#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The modal dialogs of import, export, backup and restore, replaceable so that tests
// drive the flows without opening any. An empty member uses the real dialog.
struct IoPrompts
{
    struct ExportChoice
    {
        int format = 0;
        bool includeAttachments = false;
    };

    std::function<std::optional<ExportChoice>(QWidget *parent)> exportOptions;
    std::function<QString(QWidget *parent, const QString &title, const QString &suggested, const QString &filter)> saveFile;
    std::function<QString(QWidget *parent, const QString &title, const QString &filter)> openFile;
    std::function<bool(QWidget *parent, const QString &title, const QString &text)> confirm;
    std::function<void(QWidget *parent, const QString &title, const QString &text)> warn;
    std::function<void(QWidget *parent, const QString &title, const QString &text)> inform;

    // The same prompts with every empty member filled by the real dialog.
    IoPrompts withDefaults() const;
};
