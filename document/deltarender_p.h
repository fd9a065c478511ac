#pragma once

// Shared pieces of the Delta renderers; not part of the library's interface.

#include <QJsonValue>
#include <QList>
#include <QString>

class QJsonArray;
class QJsonObject;

namespace DeltaRender {

// Inline attributes as the renderers read them: the flags count only when JSON true,
// "link" whenever the key is present (a non-string value reads as the empty href).
struct InlineStyle
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool code = false;
    bool hasLink = false;
    QString link;
};

// Line attributes: "header" only when 1-6 (0 otherwise), "list" as a string,
// "code-block" whenever present, "blockquote" only when true.
struct LineStyle
{
    int header = 0;
    QString list;
    bool codeBlock = false;
    bool blockquote = false;
};

struct Segment
{
    QString text;
    InlineStyle style;
};

InlineStyle inlineStyle(const QJsonObject &attributes);
LineStyle lineStyle(const QJsonObject &attributes);

// Receives a Delta document one line at a time. Text after the last line end arrives
// as a final line with empty line attributes.
class LineVisitor
{
public:
    virtual ~LineVisitor() = default;
    virtual void line(const QList<Segment> &segments, const LineStyle &style) = 0;
    // Only "divider" and "table" embeds are reported; the pending segments have been
    // delivered as a line of their own just before.
    virtual void blockEmbed(const QString &key, const QJsonValue &value) = 0;
};

void walkLines(const QJsonArray &operations, LineVisitor &visitor);

// Ampersand, less-than, greater-than and double quote as entities.
void appendHtmlEscaped(QString &out, QStringView text);
QString htmlEscaped(QStringView text);

// Links whose target would run script when followed (javascript:, vbscript:, data:)
// are rendered as their bare text.
bool isScriptLink(const QString &href);

// The escaped text inside <strong>, <em>, <u>, <del>, <code>, then <a href>, each around
// the previous result. Table cells pass lineBreaksAsBr to turn inner line breaks into <br>.
void appendHtmlInline(QString &out, QStringView text, const InlineStyle &style,
                      bool lineBreaksAsBr = false);

// A link target safe to place inside Markdown's "(...)": characters that would end the
// destination or the line are percent-encoded.
QString markdownLinkTarget(const QString &href);

} // namespace DeltaRender
