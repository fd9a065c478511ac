#include "statusbar.h"

#include "deltadocument.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>

namespace {

const char *const StatusTextColor = "#78909C";
constexpr int StatusPointSize = 9;

// A widget style sheet does not reach the children, so the labels get the bar's
// colour and size themselves.
QLabel *statusLabel(const QString &objectName, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(6, 0, 6, 0);
    QFont font = label->font();
    font.setPointSize(StatusPointSize);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(QLatin1String(StatusTextColor)));
    label->setPalette(palette);
    return label;
}

} // namespace

StatusBar::StatusBar(QWidget *parent)
    : QStatusBar(parent)
{
    setStyleSheet(QStringLiteral("QStatusBar {  font-size: 9pt;  color: %1;}"
                                 "QStatusBar::item { border: none; }")
                      .arg(QLatin1String(StatusTextColor)));

    m_captionLabel = statusLabel(QStringLiteral("captionLabel"), tr("All Notes"), this);
    addWidget(m_captionLabel, 1);

    m_activityLabel = statusLabel(QStringLiteral("activityLabel"), QString(), this);
    m_activityLabel->hide();
    addPermanentWidget(m_activityLabel);

    m_activityBar = new QProgressBar(this);
    m_activityBar->setObjectName(QStringLiteral("activityBar"));
    m_activityBar->setRange(0, 0);
    m_activityBar->setMaximumWidth(100);
    m_activityBar->setMaximumHeight(14);
    m_activityBar->setTextVisible(false);
    m_activityBar->hide();
    addPermanentWidget(m_activityBar);

    m_wordLabel = statusLabel(QStringLiteral("wordLabel"), QString(), this);
    addPermanentWidget(m_wordLabel);

    m_statusLabel = statusLabel(QStringLiteral("statusLabel"), tr("Not signed in"), this);
    addPermanentWidget(m_statusLabel);
}

QString StatusBar::captionText() const
{
    return m_captionLabel->text();
}

QString StatusBar::wordText() const
{
    return m_wordLabel->text();
}

QString StatusBar::statusText() const
{
    return m_statusLabel->text();
}

QString StatusBar::activityText() const
{
    return m_activityLabel->text();
}

bool StatusBar::isActivityVisible() const
{
    return !m_activityLabel->isHidden() && !m_activityBar->isHidden();
}

void StatusBar::setNoteCount(const QString &caption, int count)
{
    if (count < 0) {
        m_captionLabel->setText(caption);
        return;
    }
    const QString unit = count == 1 ? tr("note") : tr("notes");
    m_captionLabel->setText(tr("%1 (%2 %3)").arg(caption, QString::number(count), unit));
}

void StatusBar::setWordCount(int count)
{
    m_wordCountText = count >= 0 ? tr("Words: %1").arg(count) : QString();
    if (m_saveError.isEmpty())
        m_wordLabel->setText(m_wordCountText);
    else
        setSaveError(m_saveError);
}

void StatusBar::setSaved(bool saved)
{
    if (saved) {
        if (!m_saveError.isEmpty())
            setWordLabelAlert(false);
        m_saveError.clear();
    } else if (!m_saveError.isEmpty()) {
        return setSaveError(m_saveError);
    }
    const QString state = saved ? tr("Saved") : tr("Saving...");
    m_wordLabel->setText(m_wordCountText.isEmpty()
                             ? state
                             : m_wordCountText + QStringLiteral(" · ") + state);
}

void StatusBar::setSaveError(const QString &text)
{
    m_saveError = text;
    m_wordLabel->setText(m_wordCountText.isEmpty() ? text : m_wordCountText + QStringLiteral(" · ") + text);
    setWordLabelAlert(true);
}

// A failed save must not read like the quiet grey of the other texts.
void StatusBar::setWordLabelAlert(bool alert)
{
    QPalette palette = m_wordLabel->palette();
    const char *colour = !alert ? StatusTextColor : DeltaDocument::isDarkPalette() ? "#EF9A9A" : "#C62828";
    palette.setColor(QPalette::WindowText, QColor(QLatin1String(colour)));
    m_wordLabel->setPalette(palette);
}

void StatusBar::setStatusText(const QString &text)
{
    m_statusLabel->setText(text);
}

void StatusBar::showActivity(const QString &text)
{
    m_activityLabel->setText(text);
    m_activityLabel->show();
    m_activityBar->show();
}

void StatusBar::hideActivity()
{
    m_activityLabel->hide();
    m_activityBar->hide();
}

void StatusBar::showToast(const QString &text, int timeoutMs)
{
    hideActivity();
    showMessage(text, timeoutMs);
}
