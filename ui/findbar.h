#pragma once

#include <QList>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>

class QEvent;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QTextDocument;
class QToolButton;

// In-note find: a slim bar under an editor that highlights every match of its text,
// steps through them with wrap-around and shows "3 of 12". Hidden until activate();
// Escape hides it again and gives the editor back its focus. The highlights are added
// to the editor's extra selections; selections the editor's owner sets are kept.
class FindBar : public QWidget
{
    Q_OBJECT

public:
    // Highlights beyond this are not drawn and not counted, so that a short query in a
    // huge note stays cheap.
    static constexpr int MaxMatches = 10000;

    explicit FindBar(QTextEdit *editor, QWidget *parent = nullptr);
    ~FindBar() override;

    // Shows the bar and focuses its field with the text selected; a selection in the
    // editor on a single line becomes the search text.
    void activate();
    void deactivate();

    QString searchText() const;
    void setSearchText(const QString &text);
    void setCaseSensitive(bool on);
    bool isCaseSensitive() const { return m_caseSensitive; }

    int matchCount() const { return m_matches.size(); }
    // Zero-based index of the current match, -1 when none is current.
    int currentMatch() const { return m_current; }
    bool isCapped() const { return m_capped; }
    QString countText() const;

public Q_SLOTS:
    void findNext();
    void findPrevious();

Q_SIGNALS:
    void closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void scheduleUpdate();
    void updateMatches();
    void step(bool backwards);
    void selectCurrent();
    void applyHighlights();
    void clearHighlights();
    void updateCountLabel();
    void watchDocument();

    QPointer<QTextEdit> m_editor;
    QPointer<QTextDocument> m_document;
    QLineEdit *m_field = nullptr;
    QToolButton *m_previousButton = nullptr;
    QToolButton *m_nextButton = nullptr;
    QToolButton *m_closeButton = nullptr;
    QLabel *m_countLabel = nullptr;
    QTimer m_updateTimer;
    QList<QTextEdit::ExtraSelection> m_matches;
    int m_current = -1;
    bool m_caseSensitive = false;
    bool m_capped = false;
    bool m_applying = false;
    QMetaObject::Connection m_contentsConnection;
};
