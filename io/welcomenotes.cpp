#include "samplenotes.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <initializer_list>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("WelcomeNotes", text);
}

struct Run
{
    QString text;
    bool bold = false;
    bool italic = false;
};

Run plain(const char *text) { return {tr(text)}; }
Run bold(const char *text) { return {tr(text), true}; }
Run italic(const char *text) { return {tr(text), false, true}; }

// Builds a body one line at a time; every line end is an insert of its own so
// checklist items can be ticked off from the To-Dos screen.
class DeltaWriter
{
public:
    DeltaWriter &heading(int level, const char *text)
    {
        line({plain(text)}, QStringLiteral("header"), level);
        return *this;
    }
    DeltaWriter &paragraph(std::initializer_list<Run> runs)
    {
        line(runs);
        return *this;
    }
    DeltaWriter &empty()
    {
        line({});
        return *this;
    }
    DeltaWriter &checked(const char *text) { return item(QStringLiteral("checked"), text); }
    DeltaWriter &unchecked(const char *text) { return item(QStringLiteral("unchecked"), text); }
    DeltaWriter &bullet(std::initializer_list<Run> runs)
    {
        line(runs, QStringLiteral("list"), QStringLiteral("bullet"));
        return *this;
    }

    QString toJson() const
    {
        return QString::fromUtf8(QJsonDocument(m_ops).toJson(QJsonDocument::Compact));
    }

private:
    DeltaWriter &item(const QString &state, const char *text)
    {
        line({plain(text)}, QStringLiteral("list"), state);
        return *this;
    }

    void line(std::initializer_list<Run> runs, const QString &key = QString(),
              const QJsonValue &value = QJsonValue())
    {
        for (const Run &run : runs) {
            QJsonObject op{{QStringLiteral("insert"), run.text}};
            QJsonObject attributes;
            if (run.bold)
                attributes.insert(QStringLiteral("bold"), true);
            if (run.italic)
                attributes.insert(QStringLiteral("italic"), true);
            if (!attributes.isEmpty())
                op.insert(QStringLiteral("attributes"), attributes);
            m_ops.append(op);
        }
        QJsonObject lineEnd{{QStringLiteral("insert"), QStringLiteral("\n")}};
        if (!key.isEmpty())
            lineEnd.insert(QStringLiteral("attributes"), QJsonObject{{key, value}});
        m_ops.append(lineEnd);
    }

    QJsonArray m_ops;
};

QString tripPackingList()
{
    DeltaWriter w;
    w.heading(1, "Trip Packing List")
        .paragraph({italic("A checklist you can reuse. Tick items off as you pack.")})
        .empty()
        .paragraph({bold("Documents")})
        .checked("Passport or ID card")
        .checked("Tickets and booking confirmations")
        .unchecked("Travel insurance details")
        .unchecked("A little local currency")
        .empty()
        .paragraph({bold("Clothes")})
        .checked("T-shirts and a warm layer")
        .unchecked("Rain jacket (and an umbrella, of course)")
        .unchecked("Comfortable walking shoes")
        .unchecked("Sleepwear")
        .empty()
        .paragraph({bold("Toiletries")})
        .checked("Toothbrush and toothpaste")
        .unchecked("Sunscreen")
        .unchecked("Any medication, in its original packaging")
        .empty()
        .paragraph({bold("Electronics")})
        .unchecked("Phone charger and cable")
        .unchecked("Travel adapter")
        .unchecked("Headphones")
        .empty()
        .paragraph({bold("Before you leave")})
        .unchecked("Water the plants")
        .unchecked("Take out the rubbish")
        .unchecked("Lock the windows and the front door");
    return w.toJson();
}

QString gettingStarted()
{
    DeltaWriter w;
    w.heading(1, "Getting Started")
        .paragraph({plain("A short tour of the basics. Everything you type is "),
                    bold("saved automatically"),
                    plain(" a moment after you stop, so there is no save button to remember.")})
        .empty()
        .paragraph({bold("Write."),
                    plain(" Press Ctrl+N for a new note, or Ctrl+Shift+N to start one in a window "
                          "of its own. The first line of a note becomes its title.")})
        .paragraph({bold("Format."),
                    plain(" Use the toolbar or the keyboard: Ctrl+B for bold, Ctrl+I for italic, "
                          "Ctrl+1 to Ctrl+3 for headings, Ctrl+Shift+8 for a bullet list, "
                          "Ctrl+Shift+7 for a numbered list, Ctrl+K for a link and Ctrl+T for a table.")})
        .paragraph({bold("Organise."),
                    plain(" Create notebooks in the sidebar and move a note into one with Ctrl+M. "
                          "Notes do not have to live in a notebook; use whatever structure suits you.")})
        .paragraph({bold("Search."),
                    plain(" Press F3 to jump to the search field above the note list; results appear "
                          "as you type. Ctrl+F finds text inside the open note, and Ctrl+Shift+F "
                          "opens a search across all your notes.")})
        .paragraph({bold("Checklists and to-dos."),
                    plain(" Ctrl+Shift+9 turns a line into a checklist item. Every open item from "
                          "every note is gathered on the To-Dos screen (Ctrl+Alt+T), where you can "
                          "tick it off without opening the note.")})
        .paragraph({bold("Version history."),
                    plain(" When you leave a note you have changed, a snapshot of it is kept. "
                          "Press Ctrl+H to look through earlier versions, restore one, or save a "
                          "snapshot right away.")})
        .paragraph({bold("Trash."),
                    plain(" Ctrl+D moves a note to the Trash. Changed your mind? Open the Trash "
                          "(Ctrl+Alt+D, or the Trash row in the sidebar) and restore it.")})
        .paragraph({bold("Note windows."),
                    plain(" Ctrl+Shift+O opens the current note in a window of its own, handy for "
                          "keeping a reference next to what you are writing. Windows left open "
                          "when you quit, the To-Dos window included, come back the next time you start.")})
        .paragraph({bold("Focus."),
                    plain(" Ctrl+\\ hides the notebook and note lists so only your writing remains.")})
        .empty()
        .paragraph({italic("Tip: this note is an ordinary note. Edit it, keep it as a cheat sheet, or "
                           "move it to the Trash once you know your way around.")});
    return w.toJson();
}

QString welcome()
{
    DeltaWriter w;
    w.heading(1, "Welcome to Ombrel Notes")
        .paragraph({plain("Hello, and thanks for trying "), bold("Ombrel Notes"),
                    plain(": a calm, quick place for everything you want to keep.")})
        .empty()
        .paragraph({plain("It is "), bold("search-first"),
                    plain(": instead of filing every thought carefully, just write, and find it "
                          "again in a keystroke.")})
        .paragraph({plain("It is "), bold("local-first"),
                    plain(": your notes live on this computer and work fully offline. An Ombrel "
                          "account is optional and adds sync and sharing when you want them.")})
        .empty()
        .paragraph({plain("Next, open "), bold("Getting Started"),
                    plain(" for a two-minute tour, or "), bold("Trip Packing List"),
                    plain(" to see a checklist in action.")})
        .empty()
        .paragraph({italic("Happy writing!")});
    return w.toJson();
}

} // namespace

QStringList welcomeNoteBodies()
{
    return {tripPackingList(), gettingStarted(), welcome()};
}
