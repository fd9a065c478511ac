#include "importdialog.h"

#include "appstate.h"
#include "joplinimporter.h"
#include "notestationimporter.h"
#include "uilog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

// The running page: Next stays disabled until the import has finished.
class ImportProgressPage : public QWizardPage
{
public:
    using QWizardPage::QWizardPage;

    void setDone(bool done)
    {
        m_done = done;
        Q_EMIT completeChanged();
    }
    bool isComplete() const override { return m_done; }

    std::function<void()> onInitialize;

protected:
    void initializePage() override
    {
        if (onInitialize)
            onInitialize();
    }

private:
    bool m_done = false;
};

ImportDialog::ImportDialog(AppState *state, QWidget *parent)
    : QWizard(parent)
    , m_state(state)
{
    setWindowTitle(tr("Import Notes"));
    setMinimumWidth(450);

    auto *formatPage = new QWizardPage(this);
    formatPage->setTitle(tr("Select Format"));
    formatPage->setSubTitle(tr("Choose the format of the file you want to import."));
    m_joplin = new QRadioButton(tr("Joplin Export (.jex)"), formatPage);
    m_noteStation = new QRadioButton(tr("Synology NoteStation (.nsx)"), formatPage);
    m_joplin->setChecked(true);
    auto *formatLayout = new QVBoxLayout(formatPage);
    formatLayout->addWidget(m_joplin);
    formatLayout->addWidget(m_noteStation);
    setPage(FormatPage, formatPage);

    auto *filePage = new QWizardPage(this);
    filePage->setTitle(tr("Select File"));
    filePage->setSubTitle(tr("Choose the file to import."));
    m_fileLabel = new QLabel(tr("No file selected"), filePage);
    m_fileLabel->setWordWrap(true);
    auto *browseButton = new QPushButton(tr("Browse..."), filePage);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    connect(browseButton, &QPushButton::clicked, this, &ImportDialog::browse);
    auto *fileLayout = new QVBoxLayout(filePage);
    fileLayout->addWidget(m_fileLabel);
    fileLayout->addWidget(browseButton);
    setPage(FilePage, filePage);

    m_progressPage = new ImportProgressPage(this);
    m_progressPage->setTitle(tr("Importing..."));
    m_progressPage->setSubTitle(tr("Please wait while your notes are imported."));
    m_progressPage->setCommitPage(true);
    m_progressBar = new QProgressBar(m_progressPage);
    m_progressBar->setRange(0, 0);
    m_progressLabel = new QLabel(tr("Starting import..."), m_progressPage);
    m_progressLabel->setWordWrap(true);
    auto *progressLayout = new QVBoxLayout(m_progressPage);
    progressLayout->addWidget(m_progressBar);
    progressLayout->addWidget(m_progressLabel);
    m_progressPage->onInitialize = [this] {
        if (m_started)
            return;
        QTimer::singleShot(100, this, &ImportDialog::runImport);
    };
    setPage(ProgressPage, m_progressPage);

    auto *summaryPage = new QWizardPage(this);
    summaryPage->setTitle(tr("Import Complete"));
    summaryPage->setFinalPage(true);
    m_summaryLabel = new QLabel(summaryPage);
    m_summaryLabel->setWordWrap(true);
    auto *summaryLayout = new QVBoxLayout(summaryPage);
    summaryLayout->addWidget(m_summaryLabel);
    setPage(SummaryPage, summaryPage);
}

void ImportDialog::setFileChooser(FileChooser chooser)
{
    m_fileChooser = std::move(chooser);
}

void ImportDialog::browse()
{
    const QString filter = m_noteStation->isChecked() ? tr("NoteStation Export (*.nsx);;All Files (*)")
                                                      : tr("Joplin Export (*.jex);;All Files (*)");
    const QString title = tr("Select Import File");
    const QString path = m_fileChooser ? m_fileChooser(this, title, filter)
                                       : QFileDialog::getOpenFileName(this, title, QString(), filter);
    if (path.isEmpty())
        return;
    m_filePath = path;
    m_fileLabel->setText(path);
}

void ImportDialog::runImport()
{
    if (m_started || !m_state)
        return;
    if (m_filePath.isEmpty()) {
        m_summaryLabel->setText(tr("No file was selected."));
        m_progressLabel->setText(tr("No file was selected."));
        m_progressBar->setRange(0, 1);
        return;
    }
    m_started = true;
    m_importing = true;
    m_progressLabel->setText(tr("Starting import of %1...").arg(QFileInfo(m_filePath).fileName()));

    const IoRepositories repositories{m_state->database(), m_state->notes(), m_state->notebooks(),
                                      m_state->attachments()};
    const auto progress = [this](int current, int total, const QString &message) {
        onProgress(current, total, message);
    };
    const ImportResult result = m_noteStation->isChecked() ? importNsx(m_filePath, repositories, progress)
                                                           : importJex(m_filePath, repositories, progress);
    m_importing = false;
    // Notes skipped as unreadable report no progress of their own.
    if (m_progressBar->maximum() > 0)
        m_progressBar->setValue(m_progressBar->maximum());

    QString summary = tr("Imported: %1 notes").arg(result.imported);
    if (result.attachments > 0)
        summary += tr("\nAttachments: %1").arg(result.attachments);
    if (result.errors > 0)
        summary += tr("\nErrors: %1").arg(result.errors);
    if (!result.errorMessage.isEmpty())
        summary += QStringLiteral("\n\n") + result.errorMessage;
    m_summaryLabel->setText(summary);
    qCInfo(lcUi) << "Import finished:" << result.imported << "notes";

    m_progressPage->setDone(true);
    if (currentId() == ProgressPage)
        next();
    Q_EMIT importFinished();
}

void ImportDialog::reject()
{
    if (!m_importing)
        QWizard::reject();
}

void ImportDialog::closeEvent(QCloseEvent *event)
{
    if (m_importing) {
        event->ignore();
        return;
    }
    QWizard::closeEvent(event);
}

void ImportDialog::onProgress(int current, int total, const QString &message)
{
    if (total <= 0) {
        m_progressBar->setRange(0, 0);
    } else {
        m_progressBar->setRange(0, total);
        m_progressBar->setValue(current);
    }
    m_progressLabel->setText(message);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
