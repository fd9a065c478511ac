#include "htmlsafedocument.h"

#include "documentlog.h"

#include <QUrl>

HtmlSafeDocument::HtmlSafeDocument(QObject *parent)
    : QTextDocument(parent)
{
    // Without this an unanswered request would fall through to a process-wide provider.
    setResourceProvider([](const QUrl &) { return QVariant(); });
}

QVariant HtmlSafeDocument::loadResource(int type, const QUrl &name)
{
    qCDebug(lcDocument) << "Import ignores resource" << type << name.toString(QUrl::RemoveUserInfo);
    return QVariant();
}
