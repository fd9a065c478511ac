#include "welcomescreen.h"

#include "deltadocument.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int IconSize = 64;
constexpr int ContentWidth = 360;

QFont scaledFont(const QFont &base, int pointSize, int weight)
{
    QFont font(base);
    font.setPointSize(pointSize);
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace

WelcomeScreen::WelcomeScreen(AppState *appState, QWidget *parent)
    : QWidget(parent)
    , m_appState(appState)
{
    auto *scrollArea = new QScrollArea(this);
    scrollArea->setFrameShape(QFrame::NoFrame);
    scrollArea->setWidgetResizable(true);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scrollArea);

    auto *page = new QWidget(scrollArea);
    page->setObjectName(QStringLiteral("welcomePage"));
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(24, 24, 24, 24);
    pageLayout->addStretch(1);

    auto *column = new QWidget(page);
    column->setMaximumWidth(ContentWidth);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto *icon = new QLabel(column);
    icon->setObjectName(QStringLiteral("appIcon"));
    icon->setFixedSize(IconSize, IconSize);
    const QPixmap pixmap(QStringLiteral(":/icons/app-icon.png"));
    if (!pixmap.isNull()) {
        const qreal ratio = devicePixelRatioF();
        QPixmap scaled = pixmap.scaled(QSize(IconSize, IconSize) * ratio, Qt::KeepAspectRatio,
                                       Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(ratio);
        icon->setPixmap(scaled);
    }
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addSpacing(8);

    auto *title = new QLabel(tr("Ombrel Notes"), column);
    title->setObjectName(QStringLiteral("productName"));
    title->setFont(scaledFont(font(), 18, 600));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    m_tagline = new QLabel(tr("Capture as fast as paper.\nFind it faster."), column);
    m_tagline->setObjectName(QStringLiteral("tagline"));
    m_tagline->setFont(scaledFont(font(), 11, 500));
    m_tagline->setAlignment(Qt::AlignCenter);
    m_tagline->setWordWrap(true);
    layout->addWidget(m_tagline);
    applyTaglineColor();
    layout->addSpacing(18);

    m_accountLink = new QPushButton(column);
    m_accountLink->setObjectName(QStringLiteral("accountLink"));
    m_accountLink->setFlat(true);
    m_accountLink->setCursor(Qt::PointingHandCursor);
    m_accountLink->setStyleSheet(QStringLiteral("color: %1;").arg(QStringLiteral("#42A5F5")));
    layout->addWidget(m_accountLink, 0, Qt::AlignHCenter);

    m_browserHint = new QLabel(tr("Opens in your web browser"), column);
    m_browserHint->setObjectName(QStringLiteral("browserHint"));
    m_browserHint->setFont(scaledFont(font(), 9, font().weight()));
    m_browserHint->setAlignment(Qt::AlignCenter);
    m_browserHint->setStyleSheet(QStringLiteral("color: %1;").arg(QStringLiteral("#78909C")));
    layout->addWidget(m_browserHint);

    layout->addSpacing(12);

    m_continueButton = new QPushButton(tr("Continue Without an Account"), column);
    m_continueButton->setObjectName(QStringLiteral("continueButton"));
    m_continueButton->setCursor(Qt::PointingHandCursor);
    m_continueButton->setMinimumHeight(36);
    m_continueButton->setStyleSheet(
        QStringLiteral("QPushButton {  background-color: %1;  color: white;  border: none;"
                       "  border-radius: 4px;  padding: 6px 16px;  font-weight: 600;"
                       "  min-width: 80px;}"
                       "QPushButton:hover { background-color: #1976D2; }"
                       "QPushButton:pressed { background-color: #0D47A1; }")
            .arg(QStringLiteral("#1565C0")));
    connect(m_continueButton, &QPushButton::clicked, this, &WelcomeScreen::dismissRequested);
    layout->addWidget(m_continueButton, 0, Qt::AlignHCenter);

    pageLayout->addWidget(column, 0, Qt::AlignHCenter);
    pageLayout->addStretch(1);
    scrollArea->setWidget(page);

    refreshAuthState();
}

void WelcomeScreen::setSignedInProbe(SignedInProbe probe)
{
    m_signedInProbe = std::move(probe);
    refreshAuthState();
}

void WelcomeScreen::refreshAuthState()
{
    // One action on the link at any time, whatever the number of state changes.
    disconnect(m_accountLink, &QPushButton::clicked, nullptr, nullptr);

    const bool signedIn = m_signedInProbe && m_signedInProbe();
    if (signedIn) {
        m_accountLink->setText(tr("Sign Out"));
        connect(m_accountLink, &QPushButton::clicked, this, &WelcomeScreen::signOutRequested);
        m_browserHint->hide();
    } else {
        m_accountLink->setText(tr("Already have an account? Sign In"));
        connect(m_accountLink, &QPushButton::clicked, this, &WelcomeScreen::signInRequested);
        m_browserHint->show();
    }
}

void WelcomeScreen::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_tagline)
        applyTaglineColor();
}

void WelcomeScreen::applyTaglineColor()
{
    const QString color = DeltaDocument::isDarkPalette() ? QStringLiteral("#9E9E9E")
                                                         : QStringLiteral("#616161");
    const QString sheet = QStringLiteral("color: %1;").arg(color);
    if (m_tagline->styleSheet() != sheet)
        m_tagline->setStyleSheet(sheet);
}
