#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QString>
#include <QTextEdit>
#include <QTimer>

#include <functional>
#include <optional>

class AttachmentRenderer;
class AttachmentRepository;
class DeltaDocument;
class QContextMenuEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QEvent;
class QHelpEvent;
class QJsonArray;
class QKeyEvent;
class QMenu;
class QMimeData;
class QMouseEvent;
class QTextBlock;
class QTextCharFormat;
class QTextCursor;
class QUrl;
class QVariant;

// The rich-text surface for one note body. Its document is a DeltaDocument, so what the
// user edits always converts to and from the stored Delta JSON. The editor never saves:
// it reports noteModified() once per burst of edits and its owner reads toDeltaJson().
class NoteEditor : public QTextEdit
{
    Q_OBJECT

public:
    struct TableSize {
        int rows = 3;
        int columns = 3;
        bool header = true;
        bool accepted = false;
    };

    struct LinkInput {
        QString text;
        QString url; // trimmed, never empty
    };

    // A link inside one block: [start, end) in document positions.
    struct LinkRange {
        int start = -1;
        int end = -1;
        QString href;
        bool isValid() const { return start >= 0 && !href.isEmpty(); }
    };

    // Seams for the system handler and the modal dialogs, so that tests drive the editor
    // without opening anything. Defaults: QDesktopServices::openUrl, LinkDialog,
    // QFileDialog::getOpenFileName and QFileDialog::getSaveFileName.
    using UrlOpener = std::function<bool(const QUrl &url)>;
    using LinkPrompt = std::function<std::optional<LinkInput>(const QString &title,
                                                              const QString &text,
                                                              const QString &url)>;
    using FilePrompt = std::function<QString(const QString &title, const QString &proposal)>;

    explicit NoteEditor(QWidget *parent = nullptr);
    ~NoteEditor() override;

    void setAttachmentRepository(AttachmentRepository *repository);
    AttachmentRepository *attachmentRepository() const { return m_attachments; }

    void loadNote(const QString &noteId, const QString &deltaJson, bool force = false);
    void clearNote();

    QString currentNoteId() const { return m_currentNoteId; }
    bool isLoading() const { return m_loading; }
    bool isSaved() const { return m_saved; }
    // Called by the owner while it handles noteModified (or when a later save fails):
    // the edits stay unsaved and the next idle tick retries, backing off while it fails.
    void reportSaveFailed();
    int retryDelayMs() const { return m_retryDelayMs; }
    DeltaDocument *deltaDocument() const { return m_delta; }

    QString toDeltaJson() const;
    int wordCount() const;
    void refreshAttachments();

    // Character commands: merged into the selection, or into the format typed next.
    void toggleBold();
    void toggleItalic();
    void toggleUnderline();
    void toggleStrikethrough();
    void toggleInlineCode();

    // Block commands over every block touched by the selection.
    void setHeading(int level);
    void toggleBulletList();
    void toggleNumberedList();
    void toggleCheckboxList();
    void toggleList(const QString &listType);
    void toggleCodeBlock();
    void toggleBlockquote();
    void setAlignment(Qt::Alignment alignment);
    void insertDivider();

    static TableSize askTableSize(QWidget *parent);
    void insertTable(int rows, int columns, bool header);

    void insertLink();
    void openLink(const QString &href);

    void insertAttachment();
    bool insertAttachmentFromPath(const QString &path);
    bool openAttachment(const QString &id, const QString &fileName);
    void saveAttachmentAs(const QString &id, const QString &fileName);

    void updateFormatState();

    void setUrlOpener(UrlOpener opener);
    void setLinkPrompt(LinkPrompt prompt);
    void setOpenFilePrompt(FilePrompt prompt);
    void setSaveFilePrompt(FilePrompt prompt);

    // Paste detection, shared with anything else that takes text from outside.
    static bool looksLikeHtml(const QString &text);
    static bool looksLikeMarkdown(const QString &text);

Q_SIGNALS:
    void noteModified();
    void savedStateChanged(bool saved);
    void wordCountChanged(int count);
    void cursorFormatChanged();
    void formatStateChanged(bool bold, bool italic, bool underline, bool strike, bool code,
                            int heading, QString listType, bool codeBlock, bool blockquote,
                            bool inTable, Qt::Alignment alignment);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void onContentsChanged();
    void onIdle();
    void reportChange();

    // Commands
    QTextCharFormat referenceCharFormat() const;
    void mergeToggleFormat(const QTextCharFormat &format);
    void toggleBlockProperty(int property, const QVariant &value);
    static void applyBaseCharFormat(QTextCursor &cursor, const QTextBlock &block);
    void forEachSelectedBlock(const std::function<void(QTextCursor &)> &apply);

    // Keys
    bool handleListEnter();
    bool handleListBackspace();
    bool handleTableTab(bool backwards);
    bool handleControlKey(int key);
    bool handleControlShiftKey(int key);
    bool handleAltKey(int key);
    void duplicateBlock();
    void deleteBlock();
    void moveBlock(bool up);

    // Mouse and tool tips
    bool toggleMarkerAt(const QPoint &viewportPos);
    bool handleToolTip(QHelpEvent *event);
    LinkRange linkAt(int position) const;
    QString attachmentIdAt(int position) const;
    QString attachmentIdNear(int position) const;
    bool openAttachmentInteractive(const QString &id);

    // Context menus
    QMenu *createAttachmentMenu(const QString &id);
    QMenu *createLinkMenu(const LinkRange &link);
    QMenu *createTableMenu();
    void editLink(const LinkRange &link);
    void removeLink(const LinkRange &link);
    void removeAttachment(const QString &id);
    void copyAttachmentFile(const QString &id);

    // Paste
    void insertDelta(const QJsonArray &operations);

    DeltaDocument *m_delta = nullptr;
    AttachmentRenderer *m_renderer = nullptr;
    AttachmentRepository *m_attachments = nullptr;
    QString m_currentNoteId;
    bool m_loading = false;
    bool m_saved = true;
    bool m_saveFailed = false;
    int m_retryDelayMs = 0; // 0 while saves succeed
    QTimer m_saveTimer;
    QElapsedTimer m_clickTimer;
    QPoint m_lastDoubleClickPos;

    UrlOpener m_urlOpener;
    LinkPrompt m_linkPrompt;
    FilePrompt m_openFilePrompt;
    FilePrompt m_saveFilePrompt;
};
