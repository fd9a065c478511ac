#pragma once

#include <QWizard>

#include <functional>

class AppState;
class QCloseEvent;
class QLabel;
class QProgressBar;
class QRadioButton;
class ImportProgressPage;

// The import wizard: format, file, the import with its progress, and a summary.
class ImportDialog : public QWizard
{
    Q_OBJECT

public:
    enum Page { FormatPage = 0, FilePage = 1, ProgressPage = 2, SummaryPage = 3 };

    ImportDialog(AppState *state, QWidget *parent = nullptr);

    // Replaces the file chooser (title, filter) -> path, so tests need no file dialog.
    using FileChooser = std::function<QString(QWidget *parent, const QString &title, const QString &filter)>;
    void setFileChooser(FileChooser chooser);
    // Chooses the file as "Browse..." would.
    void browse();

    QString filePath() const { return m_filePath; }
    QRadioButton *joplinButton() const { return m_joplin; }
    QRadioButton *noteStationButton() const { return m_noteStation; }
    QLabel *fileLabel() const { return m_fileLabel; }
    QProgressBar *progressBar() const { return m_progressBar; }
    QLabel *progressLabel() const { return m_progressLabel; }
    QLabel *summaryLabel() const { return m_summaryLabel; }
    bool isImporting() const { return m_importing; }

    // An import cannot be stopped half-way: closing waits for it to finish.
    void reject() override;

Q_SIGNALS:
    void importFinished();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void runImport();
    void onProgress(int current, int total, const QString &message);

    AppState *m_state;
    FileChooser m_fileChooser;
    QString m_filePath;
    bool m_importing = false;
    bool m_started = false;
    QRadioButton *m_joplin = nullptr;
    QRadioButton *m_noteStation = nullptr;
    QLabel *m_fileLabel = nullptr;
    ImportProgressPage *m_progressPage = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_progressLabel = nullptr;
    QLabel *m_summaryLabel = nullptr;
};
