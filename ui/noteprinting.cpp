#include "noteprinting.h"

#include "deltadocument.h"
#include "statusbar.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFont>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPointer>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <memory>

namespace {

constexpr qreal PrintDocumentMargin = 36;
constexpr int PrintedMessageMs = 3000;

qreal pixelsToPoints(int pixels)
{
    return pixels * 72.0 / 96.0;
}

struct NotePrinting
{
    Q_DECLARE_TR_FUNCTIONS(NotePrinting)
};

} // namespace

QTextDocument *preparePrintDocument(const QTextDocument *source)
{
    if (!source)
        return nullptr;
    QTextDocument *copy = source->clone();
    copy->setDocumentMargin(PrintDocumentMargin);

    QFont font = copy->defaultFont();
    if (font.pixelSize() > 0) {
        font.setPointSizeF(pixelsToPoints(font.pixelSize()));
        copy->setDefaultFont(font);
    }

    // Collect first: changing formats while walking the fragments would split and merge
    // the very fragments being walked.
    struct Range {
        int start;
        int end;
        QTextCharFormat format;
    };
    QList<Range> ranges;
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            QTextCharFormat format = fragment.charFormat();
            const int pixels = format.intProperty(QTextFormat::FontPixelSize);
            if (!format.hasProperty(QTextFormat::FontPixelSize) || pixels <= 0)
                continue;
            format.clearProperty(QTextFormat::FontPixelSize);
            format.setFontPointSize(pixelsToPoints(pixels));
            ranges.append({fragment.position(), fragment.position() + fragment.length(), format});
        }
    }
    QTextCursor cursor(copy);
    // List and checklist markers take their size from the block's character format.
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        QTextCharFormat format = block.charFormat();
        const int pixels = format.intProperty(QTextFormat::FontPixelSize);
        if (!format.hasProperty(QTextFormat::FontPixelSize) || pixels <= 0)
            continue;
        format.clearProperty(QTextFormat::FontPixelSize);
        format.setFontPointSize(pixelsToPoints(pixels));
        cursor.setPosition(block.position());
        cursor.setBlockCharFormat(format);
    }
    for (const Range &range : std::as_const(ranges)) {
        cursor.setPosition(range.start);
        cursor.setPosition(range.end, QTextCursor::KeepAnchor);
        cursor.setCharFormat(range.format);
    }

    // QTextDocument::print carries the handlers of the printed document's layout over.
    if (QAbstractTextDocumentLayout *layout = source->documentLayout()) {
        if (auto *handler = dynamic_cast<QObject *>(layout->handlerForObject(DeltaDocument::AttachmentObject)))
            copy->documentLayout()->registerHandler(DeltaDocument::AttachmentObject, handler);
    }
    return copy;
}

void printPreparedDocument(const QTextDocument *document, QPrinter *printer)
{
    if (!document || !printer)
        return;
    std::unique_ptr<QTextDocument> copy(preparePrintDocument(document));
    copy->print(printer);
}

void printNoteDocument(QTextDocument *document, const QString &title, QWidget *parent,
                       StatusBar *statusBar)
{
    if (!document)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(NotePrinting::tr("Print Note"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    printPreparedDocument(document, &printer);
    if (statusBar)
        statusBar->showToast(NotePrinting::tr("Printed %1").arg(title), PrintedMessageMs);
}

void previewNoteDocument(QTextDocument *document, const QString &title, QWidget *parent)
{
    if (!document)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(NotePrinting::tr("Print Preview — %1").arg(title));
    dialog.resize(900, 700);
    dialog.setModal(true);
    const QPointer<QTextDocument> source(document);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [source](QPrinter *target) {
        printPreparedDocument(source, target);
    });
    dialog.exec();
}
