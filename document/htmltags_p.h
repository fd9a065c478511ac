#pragma once

#include <QLatin1String>
#include <QStringView>
#include <array>

// Tag scanning shared by the HTML and Markdown importers.
namespace HtmlTags {

// HTML elements that never have an end tag.
inline constexpr std::array<QLatin1String, 14> voidElements = {
    QLatin1String("area"), QLatin1String("base"), QLatin1String("br"), QLatin1String("col"),
    QLatin1String("embed"), QLatin1String("hr"), QLatin1String("img"), QLatin1String("input"),
    QLatin1String("link"), QLatin1String("meta"), QLatin1String("param"), QLatin1String("source"),
    QLatin1String("track"), QLatin1String("wbr")};

bool isVoidElement(QStringView name);

// The index of the '>' closing the tag opened at 'open', skipping quoted attribute
// values; -1 when the text ends first.
qsizetype tagEnd(QStringView text, qsizetype open);

} // namespace HtmlTags
