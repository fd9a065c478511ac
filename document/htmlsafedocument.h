#pragma once

#include <QTextDocument>

// A scratch document for importing foreign HTML or Markdown: it never loads a resource,
// so an <img> or stylesheet naming a local file, a device or a network address is
// neither read nor fetched.
class HtmlSafeDocument : public QTextDocument
{
    Q_OBJECT

public:
    explicit HtmlSafeDocument(QObject *parent = nullptr);

protected:
    QVariant loadResource(int type, const QUrl &name) override;
};
