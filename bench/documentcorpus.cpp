#include "documentcorpus.h"

#include <algorithm>
#include <vector>

namespace BenchCorpus {

namespace {

// Roughly ordered by how often they turn up in everyday notes, so that the Zipf draw
// below makes the first words very common and the last ones scarce.
const char *const Words[] = {
    "the", "of", "and", "to", "a", "in", "is", "it", "that", "for",
    "on", "with", "as", "was", "at", "by", "be", "this", "from", "or",
    "we", "are", "not", "but", "have", "an", "they", "which", "you", "one",
    "all", "were", "there", "can", "more", "if", "will", "about", "when", "up",
    "what", "out", "so", "some", "them", "would", "other", "into", "time", "has",
    "new", "two", "like", "our", "then", "also", "first", "need", "after", "meeting",
    "project", "work", "team", "next", "week", "notes", "idea", "plan", "review", "today",
    "tomorrow", "call", "email", "draft", "update", "release", "design", "question", "answer", "budget",
    "report", "customer", "feature", "issue", "change", "version", "status", "follow", "check", "send",
    "read", "write", "build", "test", "fix", "ship", "agree", "decide", "discuss", "share",
    "morning", "afternoon", "evening", "monday", "tuesday", "wednesday", "thursday", "friday", "weekend", "month",
    "year", "quarter", "goal", "target", "result", "summary", "action", "owner", "deadline", "priority",
    "risk", "scope", "estimate", "progress", "blocker", "decision", "agenda", "minutes", "feedback", "proposal",
    "document", "file", "folder", "screen", "window", "button", "menu", "search", "filter", "sort",
    "server", "client", "database", "network", "backup", "restore", "sync", "account", "password", "login",
    "book", "chapter", "page", "article", "story", "recipe", "garden", "travel", "trip", "flight",
    "hotel", "train", "ticket", "dinner", "lunch", "breakfast", "coffee", "tea", "market", "shop",
    "grocery", "milk", "bread", "cheese", "apple", "orange", "lemon", "onion", "garlic", "pepper",
    "river", "mountain", "forest", "lake", "beach", "island", "city", "village", "street", "bridge",
    "music", "song", "album", "concert", "movie", "series", "episode", "podcast", "interview", "lecture",
    "course", "lesson", "exam", "homework", "teacher", "student", "school", "library", "museum", "gallery",
    "doctor", "appointment", "health", "exercise", "running", "swimming", "cycling", "yoga", "sleep", "water",
    "family", "friend", "parent", "child", "birthday", "holiday", "gift", "party", "wedding", "anniversary",
    "careful", "quick", "slow", "simple", "complex", "small", "large", "early", "late", "important",
    "urgent", "optional", "possible", "likely", "unclear", "ready", "pending", "finished", "started", "paused",
    "carefully", "quickly", "roughly", "exactly", "mostly", "rarely", "usually", "probably", "certainly", "perhaps",
    "analysis", "approach", "architecture", "argument", "assumption", "balance", "boundary", "capacity", "category", "collection",
    "comparison", "component", "condition", "conference", "connection", "constraint", "context", "contract", "contribution", "conversation",
    "criteria", "dashboard", "definition", "dependency", "description", "diagram", "difference", "direction", "discovery", "distribution",
    "element", "environment", "evaluation", "evidence", "example", "experiment", "explanation", "framework", "function", "guideline",
    "hypothesis", "implementation", "improvement", "incident", "indicator", "inventory", "investment", "journey", "knowledge", "landscape",
    "language", "measurement", "mechanism", "migration", "milestone", "narrative", "negotiation", "objective", "observation", "opportunity",
    "organisation", "outcome", "pattern", "performance", "viewpoint", "phenomenon", "platform", "portfolio", "principle", "procedure",
    "projection", "prototype", "quality", "recommendation", "reference", "relationship", "requirement", "resolution", "resource", "recap",
    "roadmap", "schedule", "scenario", "sequence", "signature", "solution", "snapshot", "strategy", "structure", "subscription",
    "suggestion", "template", "threshold", "timeline", "transition", "translation", "umbrella", "variable", "velocity", "workshop",
    "amber", "basalt", "cobalt", "dandelion", "ember", "fjord", "glacier", "heron", "indigo", "juniper",
    "kestrel", "lichen", "meridian", "nebula", "obsidian", "pelican", "quartz", "rosemary", "saffron", "tundra",
};

constexpr int WordCount = int(sizeof(Words) / sizeof(Words[0]));

// Bodies whose seed is picked by containsRareTerm() carry this word; nothing else does.
constexpr char RareWord[] = "zephyrine";
constexpr std::uint64_t RareOneIn = 10000;

std::uint64_t splitmix64(std::uint64_t &state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class Rng
{
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) { splitmix64(m_state); }

    std::uint64_t next() { return splitmix64(m_state); }
    double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    // Inclusive on both ends.
    int range(int low, int high) { return low + int(next() % std::uint64_t(high - low + 1)); }
    bool chance(double p) { return unit() < p; }

private:
    std::uint64_t m_state;
};

// Cumulative Zipf (s = 1) weights over the vocabulary.
const std::vector<double> &zipfTable()
{
    static const std::vector<double> table = [] {
        std::vector<double> cumulative(WordCount);
        double sum = 0;
        for (int i = 0; i < WordCount; ++i) {
            sum += 1.0 / double(i + 1);
            cumulative[i] = sum;
        }
        for (double &c : cumulative)
            c /= sum;
        return cumulative;
    }();
    return table;
}

const char *zipfWord(Rng &rng)
{
    const std::vector<double> &table = zipfTable();
    const auto it = std::upper_bound(table.begin(), table.end(), rng.unit());
    const int index = it == table.end() ? WordCount - 1 : int(it - table.begin());
    return Words[index];
}

// Headings and checklist items read better without a run of function words.
const char *contentWord(Rng &rng)
{
    constexpr int FunctionWords = 58; // "the" .. "after" head the list
    for (int attempt = 0; attempt < 8; ++attempt) {
        const char *word = zipfWord(rng);
        if (std::find_if(Words, Words + FunctionWords, [word](const char *w) { return w == word; })
            == Words + FunctionWords)
            return word;
    }
    return Words[FunctionWords + int(rng.next() % std::uint64_t(WordCount - FunctionWords))];
}

// Appends `count` words separated by spaces; the first one capitalised when asked.
void appendWords(QString &out, Rng &rng, int count, bool capitalise)
{
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            out += QLatin1Char(' ');
        const QLatin1String word(zipfWord(rng));
        if (i == 0 && capitalise) {
            out += QChar(word.front()).toUpper();
            out += word.mid(1);
        } else {
            out += word;
        }
    }
}

// Escapes text for a JSON string literal (the quotes are not included).
QString jsonEscaped(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

// Writes the Delta operations of one body; every method appends complete operations.
class BodyWriter
{
public:
    BodyWriter(std::uint64_t seed, int targetBytes, bool withTables)
        : m_rng(seed ^ 0xD1B54A32D192ED03ull)
        , m_target(std::max(targetBytes, 64))
        , m_withTables(withTables)
        , m_rare(containsRareTerm(seed))
    {
        m_out.reserve(m_target + 512);
    }

    QString write()
    {
        m_out += QLatin1Char('[');
        heading(1, m_rng.range(2, 6));
        if (m_rare)
            rareParagraph();
        // Tables are spread through the body: about one per 6 KB, at least one.
        const int tableBudget = m_withTables ? std::max(1, std::min(8, m_target / 6000)) : 0;
        int tablesWritten = 0;
        while (m_out.size() < m_target - 2) {
            if (tablesWritten < tableBudget
                && m_out.size() >= qint64(m_target) * (tablesWritten + 1) / (tableBudget + 1)) {
                table();
                ++tablesWritten;
                continue;
            }
            block();
        }
        m_out += QLatin1Char(']');
        return m_out;
    }

private:
    void separator()
    {
        if (m_out.size() > 1)
            m_out += QLatin1Char(',');
    }

    // Keys in the order the application's own JSON writer produces them ("attributes"
    // before "insert"), so that a stored body looks like one the editor saved.
    void textRun(const QString &text, const QString &attributes = QString())
    {
        separator();
        m_out += QLatin1Char('{');
        if (!attributes.isEmpty()) {
            m_out += QLatin1String("\"attributes\":{");
            m_out += attributes;
            m_out += QLatin1String("},");
        }
        m_out += QLatin1String("\"insert\":\"");
        m_out += text;
        m_out += QLatin1String("\"}");
    }

    // The line end, carrying the line's attributes (`"list":"bullet"` and the like).
    void lineEnd(const QString &attributes = QString())
    {
        textRun(QStringLiteral("\\n"), attributes);
    }

    QString words(int count, bool capitalise)
    {
        QString text;
        appendWords(text, m_rng, count, capitalise);
        return text;
    }

    void heading(int level, int wordCount)
    {
        QString text = QString::fromLatin1(contentWord(m_rng));
        text[0] = text[0].toUpper();
        if (wordCount > 1)
            text += QLatin1Char(' ') + words(wordCount - 2, false) + QLatin1Char(' ');
        text += QLatin1String(contentWord(m_rng));
        // Levels 1 and 2 are drawn at weight 700, which the editor saves as bold.
        textRun(text.simplified(), level <= 2 ? QStringLiteral("\"bold\":true") : QString());
        lineEnd(QStringLiteral("\"header\":%1").arg(level));
    }

    // Sentences split into runs, a few of them formatted. Neighbouring runs of the same
    // formatting are merged, as the editor writes them.
    void inlineRuns(int wordCount)
    {
        QString pendingText;
        QString pendingAttributes;
        int written = 0;
        bool sentenceStart = true;
        while (written < wordCount) {
            const int n = std::min(wordCount - written, m_rng.range(1, 7));
            QString text = words(n, sentenceStart);
            written += n;
            sentenceStart = false;
            if (written == wordCount || m_rng.chance(0.15)) {
                text += QLatin1Char('.');
                sentenceStart = true;
            }
            if (written < wordCount)
                text += QLatin1Char(' ');
            const QString attributes = inlineAttributes();
            if (!pendingText.isEmpty() && attributes != pendingAttributes) {
                textRun(pendingText, pendingAttributes);
                pendingText.clear();
            }
            pendingText += text;
            pendingAttributes = attributes;
        }
        if (!pendingText.isEmpty())
            textRun(pendingText, pendingAttributes);
    }

    // Keys in alphabetical order, as the application writes them.
    QString inlineAttributes()
    {
        const double roll = m_rng.unit();
        if (roll < 0.72)
            return QString();
        if (roll < 0.80)
            return QStringLiteral("\"bold\":true");
        if (roll < 0.87)
            return QStringLiteral("\"italic\":true");
        if (roll < 0.91)
            return QStringLiteral("\"code\":true");
        if (roll < 0.95)
            return QStringLiteral("\"link\":\"https://example.org/%1/%2\"")
                .arg(QLatin1String(zipfWord(m_rng)))
                .arg(m_rng.range(1, 9999));
        if (roll < 0.97)
            return QStringLiteral("\"bold\":true,\"italic\":true");
        if (roll < 0.985)
            return QStringLiteral("\"underline\":true");
        return QStringLiteral("\"strike\":true");
    }

    void paragraph()
    {
        inlineRuns(m_rng.range(4, 22));
        const double roll = m_rng.unit();
        if (roll < 0.03)
            lineEnd(QStringLiteral("\"align\":\"center\""));
        else if (roll < 0.04)
            lineEnd(QStringLiteral("\"align\":\"right\""));
        else if (roll < 0.05)
            lineEnd(QStringLiteral("\"align\":\"justify\""));
        else
            lineEnd();
    }

    void list(const QString &kind)
    {
        const int items = m_rng.range(2, 6);
        for (int i = 0; i < items; ++i) {
            inlineRuns(m_rng.range(2, 9));
            lineEnd(QStringLiteral("\"list\":\"%1\"").arg(kind));
        }
    }

    void checklist()
    {
        const int items = m_rng.range(2, 7);
        for (int i = 0; i < items; ++i) {
            textRun(words(m_rng.range(2, 8), true));
            lineEnd(m_rng.chance(0.4) ? QStringLiteral("\"list\":\"checked\"")
                                      : QStringLiteral("\"list\":\"unchecked\""));
        }
    }

    void blockquote()
    {
        const int lines = m_rng.range(1, 2);
        for (int i = 0; i < lines; ++i) {
            inlineRuns(m_rng.range(6, 18));
            lineEnd(QStringLiteral("\"blockquote\":true"));
        }
    }

    void codeBlock()
    {
        const QString attributes = m_rng.chance(0.3) ? QStringLiteral("\"code-block\":\"cpp\"")
                                                     : QStringLiteral("\"code-block\":true");
        const int lines = m_rng.range(2, 6);
        for (int i = 0; i < lines; ++i) {
            const QString name = QLatin1String(zipfWord(m_rng));
            const QString value = QLatin1String(zipfWord(m_rng));
            QString line;
            switch (m_rng.range(0, 2)) {
            case 0: line = QStringLiteral("auto %1 = load(\\\"%2\\\");").arg(name, value); break;
            case 1: line = QStringLiteral("if (%1.isEmpty())").arg(name); break;
            default: line = QStringLiteral("    %1(%2, %3);").arg(name, value).arg(m_rng.range(0, 99)); break;
            }
            // Code-block text is set in the monospace font, which the editor saves as code.
            textRun(line, QStringLiteral("\"code\":true"));
            lineEnd(attributes);
        }
    }

    // Half the tables carry plain-string cells, half the form the editor saves: each cell
    // a Delta array, header cells bold.
    void table()
    {
        const int rows = m_rng.range(2, 5);
        const int columns = m_rng.range(2, 4);
        const bool hasHeader = m_rng.chance(0.8);
        const bool editorForm = m_rng.chance(0.5);
        QString json = QStringLiteral("{\"cells\":[");
        for (int r = 0; r < rows; ++r) {
            json += r ? QLatin1String(",[") : QLatin1String("[");
            for (int c = 0; c < columns; ++c) {
                if (c)
                    json += QLatin1Char(',');
                const QString text = words(m_rng.range(1, 3), r == 0);
                if (!editorForm)
                    json += QLatin1Char('"') + text + QLatin1Char('"');
                else if (r == 0 && hasHeader)
                    json += QLatin1String("[{\"attributes\":{\"bold\":true},\"insert\":\"") + text
                        + QLatin1String("\"}]");
                else
                    json += QLatin1String("[{\"insert\":\"") + text + QLatin1String("\"}]");
            }
            json += QLatin1Char(']');
        }
        json += hasHeader ? QLatin1String("],\"hasHeader\":true}") : QLatin1String("],\"hasHeader\":false}");
        separator();
        m_out += QLatin1String("{\"insert\":{\"table\":\"");
        m_out += jsonEscaped(json);
        m_out += QLatin1String("\"}}");
        lineEnd();
    }

    void rareParagraph()
    {
        QString text = words(m_rng.range(2, 6), true);
        text += QLatin1Char(' ');
        text += QLatin1String(RareWord);
        text += QLatin1Char(' ');
        text += words(m_rng.range(2, 6), false);
        text += QLatin1Char('.');
        textRun(text);
        lineEnd();
    }

    void block()
    {
        const double roll = m_rng.unit();
        if (roll < 0.50)
            paragraph();
        else if (roll < 0.60)
            list(QStringLiteral("bullet"));
        else if (roll < 0.67)
            list(QStringLiteral("ordered"));
        else if (roll < 0.76)
            checklist();
        else if (roll < 0.80)
            blockquote();
        else if (roll < 0.84)
            codeBlock();
        else if (roll < 0.89)
            heading(m_rng.chance(0.6) ? 2 : 3, m_rng.range(2, 5));
        else if (roll < 0.995)
            lineEnd(); // an empty line between blocks
        else {
            separator();
            m_out += QLatin1String("{\"insert\":{\"divider\":\"hr\"}}");
            lineEnd();
        }
    }

    Rng m_rng;
    QString m_out;
    const int m_target;
    const bool m_withTables;
    const bool m_rare;
};

} // namespace

const QStringList &vocabulary()
{
    static const QStringList list = [] {
        QStringList words;
        words.reserve(WordCount);
        for (const char *word : Words)
            words.append(QLatin1String(word));
        return words;
    }();
    return list;
}

QString deltaBody(std::uint64_t seed, int targetBytes, bool withTables)
{
    return BodyWriter(seed, targetBytes, withTables).write();
}

QString rareTerm()
{
    return QLatin1String(RareWord);
}

bool containsRareTerm(std::uint64_t seed)
{
    std::uint64_t state = seed ^ 0x5A17C0DEull;
    return splitmix64(state) % RareOneIn == 0;
}

std::uint64_t mix(std::uint64_t value)
{
    return splitmix64(value);
}

QString wordAt(int rank)
{
    return QLatin1String(Words[std::clamp(rank, 0, WordCount - 1)]);
}

} // namespace BenchCorpus
