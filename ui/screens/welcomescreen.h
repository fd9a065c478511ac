#pragma once

#include <QWidget>

#include <functional>

class AppState;
class QLabel;
class QPushButton;

// The right-pane page shown while no note is open and the user is signed out: a
// greeting, the sign-in link and the way straight to the editor.
class WelcomeScreen : public QWidget
{
    Q_OBJECT

public:
    // Answers whether the user is signed in.
    using SignedInProbe = std::function<bool()>;

    explicit WelcomeScreen(AppState *appState, QWidget *parent = nullptr);

    // Until the account client reports its state through the application state, the
    // owner tells the page how to ask; without a probe the user counts as signed out.
    void setSignedInProbe(SignedInProbe probe);

    QPushButton *accountLink() const { return m_accountLink; }
    QLabel *browserHint() const { return m_browserHint; }
    QPushButton *continueButton() const { return m_continueButton; }

public Q_SLOTS:
    // Re-labels the account link; called on every authentication change.
    void refreshAuthState();

Q_SIGNALS:
    void signInRequested();
    void dismissRequested();
    // The account link reads "Sign Out" and was clicked.
    void signOutRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyTaglineColor();

    AppState *m_appState = nullptr;
    SignedInProbe m_signedInProbe;
    QLabel *m_tagline = nullptr;
    QPushButton *m_accountLink = nullptr;
    QLabel *m_browserHint = nullptr;
    QPushButton *m_continueButton = nullptr;
};
