#pragma once

#include <QFont>
#include <QJsonArray>
#include <QObject>
#include <QString>
#include <QTextFormat>

class QTextBlockFormat;
class QTextCharFormat;
class QTextCursor;
class QTextDocument;
class QTextTable;
class QTextTableFormat;

// Holds the rich-text document of one note body and converts it to and from Delta:
//   [{"insert":"Title"},{"attributes":{"header":1},"insert":"\n"},
//    {"attributes":{"bold":true},"insert":"Hello"},{"insert":"\n"}]
// The styling helpers are shared with the editor so that typed and loaded formatting
// look the same.
class DeltaDocument : public QObject
{
    Q_OBJECT

public:
    enum Property {
        HeadingLevelProperty = QTextFormat::UserProperty + 1,
        ListTypeProperty = QTextFormat::UserProperty + 2,
        CodeBlockProperty = QTextFormat::UserProperty + 3,
        BlockquoteProperty = QTextFormat::UserProperty + 4,
        TableSpacerProperty = QTextFormat::UserProperty + 5,
        // Compact JSON text of an object; a string keeps the format hashable.
        PreservedLineAttributesProperty = QTextFormat::UserProperty + 10,
        PreservedInlineAttributesProperty = QTextFormat::UserProperty + 20,
        PreexistingBlockProperty = QTextFormat::UserProperty + 99,
        EmbedKeyProperty = QTextFormat::UserProperty + 100,
        EmbedValueProperty = QTextFormat::UserProperty + 101,
    };

    enum ObjectType {
        AttachmentObject = QTextFormat::UserObject + 1,
        DividerObject = QTextFormat::UserObject + 2,
        TableObject = QTextFormat::UserObject + 3,
    };

    // One row of the heading table; level 0 (or any level outside 1-6) is body text.
    struct HeadingStyle {
        int pixelSize = 16;
        int weight = 400;
        int lineHeight = 150; // percent, proportional
        int topMargin = 0;
        int bottomMargin = 8;
        bool muted = false;
    };

    explicit DeltaDocument(QObject *parent = nullptr);
    ~DeltaDocument() override;

    QTextDocument *document() const { return m_document; }
    QJsonArray lastOperations() const { return m_operations; }

    void setDelta(const QJsonArray &operations);
    void setDeltaJson(const QString &json);
    QString toDeltaJson() const;
    QJsonArray toDelta() const;
    QString toPlainText() const;

    // Process-wide text size of note bodies; values below 1 read as 16.
    static int bodyPixelSize();
    static void setBodyPixelSize(int pixels);
    static int bodyPixelSizeFromPoints(double points);

    static bool isDarkPalette();
    static QColor mutedColor();
    static QColor linkColor();
    static HeadingStyle headingStyle(int level);
    static void applyBlockSpacing(QTextBlockFormat &format);
    static QFont monospaceFont(int pixelSize);
    static QTextCharFormat inlineCodeFormat();
    static QTextCharFormat bodyCharFormat();
    static QTextCharFormat codeBlockCharFormat();
    static QTextTableFormat tableFormat(bool hasHeader);
    static QTextCharFormat tableHeaderCharFormat();
    static void applyListType(QTextCursor &cursor, const QString &listType);
    static QTextTable *insertTable(QTextCursor &cursor, int rows, int columns,
                                   const QTextTableFormat &format);

    // Pastes Delta at the cursor (replacing its selection) in one edit block, so that
    // what the document then shows is what saving and reloading it gives back.
    static void insertDelta(QTextCursor &cursor, const QJsonArray &operations);

    static const QString &attachmentPrefix();
    static const QString &emptyNoteJson();

Q_SIGNALS:
    void contentsChanged();

private:
    void buildDocument(const QJsonArray &operations);
    void loadPlainText(const QString &text);

    QTextDocument *m_document = nullptr;
    QJsonArray m_operations;
};
