#include "ioprompts.h"

#include "exportdialog.h"

#include <QFileDialog>
#include <QMessageBox>

IoPrompts IoPrompts::withDefaults() const
{
    IoPrompts prompts = *this;
    if (!prompts.exportOptions) {
        prompts.exportOptions = [](QWidget *parent) -> std::optional<ExportChoice> {
            ExportDialog dialog(parent);
            if (dialog.exec() != QDialog::Accepted)
                return std::nullopt;
            return ExportChoice{dialog.format(), dialog.includeAttachments()};
        };
    }
    if (!prompts.saveFile) {
        prompts.saveFile = [](QWidget *parent, const QString &title, const QString &suggested, const QString &filter) {
            return QFileDialog::getSaveFileName(parent, title, suggested, filter);
        };
    }
    if (!prompts.openFile) {
        prompts.openFile = [](QWidget *parent, const QString &title, const QString &filter) {
            return QFileDialog::getOpenFileName(parent, title, QString(), filter);
        };
    }
    if (!prompts.confirm) {
        prompts.confirm = [](QWidget *parent, const QString &title, const QString &text) {
            return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                == QMessageBox::Yes;
        };
    }
    if (!prompts.warn) {
        prompts.warn = [](QWidget *parent, const QString &title, const QString &text) {
            QMessageBox::warning(parent, title, text);
        };
    }
    if (!prompts.inform) {
        prompts.inform = [](QWidget *parent, const QString &title, const QString &text) {
            QMessageBox::information(parent, title, text);
        };
    }
    return prompts;
}
