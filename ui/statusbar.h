#pragma once

#include <QStatusBar>
#include <QString>

class QLabel;
class QProgressBar;

// The status bar of the main window and of every note window: the note count or
// notebook caption on the left; activity, word count with save state, and the account
// and sync text on the right.
class StatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit StatusBar(QWidget *parent = nullptr);

    QString captionText() const;
    QString wordText() const;
    QString statusText() const;
    QString activityText() const;
    bool isActivityVisible() const;

public Q_SLOTS:
    // A negative count shows the caption alone.
    void setNoteCount(const QString &caption, int count);
    // A negative count clears the word text.
    void setWordCount(int count);
    void setSaved(bool saved);
    // A failed save: the text (for example "Not saved: the disk is full") stands in for
    // the save state until a save succeeds (setSaved(true)).
    void setSaveError(const QString &text);
    void setStatusText(const QString &text);
    void showActivity(const QString &text);
    void hideActivity();
    void showToast(const QString &text, int timeoutMs);

private:
    void setWordLabelAlert(bool alert);

    QLabel *m_captionLabel = nullptr;
    QLabel *m_wordLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    QLabel *m_activityLabel = nullptr;
    QProgressBar *m_activityBar = nullptr;
    // The word label's text without the save suffix, so repeated save-state reports
    // never stack suffixes.
    QString m_wordCountText;
    QString m_saveError;
};
