#include "htmltags_p.h"

#include <QChar>

namespace HtmlTags {

bool isVoidElement(QStringView name)
{
    for (const QLatin1String &element : voidElements) {
        if (name == element)
            return true;
    }
    return false;
}

qsizetype tagEnd(QStringView text, qsizetype open)
{
    QChar quote;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('>')) {
            return i;
        }
    }
    return -1;
}

} // namespace HtmlTags
