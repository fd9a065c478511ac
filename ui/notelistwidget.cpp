#include "notelistwidget.h"

#include "note.h"
#include "notelistdelegate.h"
#include "uilog.h"

#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStyleOptionViewItem>

namespace {

// Bumped on an item whose shown data changed, so that views repaint its row; the item's
// own roles are computed and never stored in the base item.
constexpr int RevisionRole = Qt::UserRole + 32;

struct NoteTexts {
    QString title;
    QString preview;
    bool noTitle = false;
};

NoteTexts textsOf(const QString &body)
{
    const QString plainText = NoteText::plainText(body);
    NoteTexts texts;
    texts.title = NoteText::title(plainText);
    texts.preview = NoteText::preview(plainText);
    if (texts.title.isEmpty()) {
        texts.noTitle = true;
        texts.title = texts.preview.isEmpty() ? NoteListWidget::tr("Untitled") : texts.preview;
        texts.preview.clear();
    }
    return texts;
}

NoteListEntry entryOf(const Note &note)
{
    NoteListEntry entry;
    entry.id = note.id;
    entry.notebookId = note.notebookId;
    entry.updatedAt = note.updatedAt;
    entry.version = note.version;
    entry.syncStatus = note.syncStatus;
    entry.isShared = note.isShared;
    entry.ownerId = note.ownerId;
    entry.isTrashed = note.deletedAt.has_value();
    return entry;
}

// The texts follow the body, which changes only with a new version or update time.
bool sameBody(const NoteListEntry &a, const NoteListEntry &b)
{
    return a.version == b.version && a.updatedAt == b.updatedAt;
}

} // namespace

// One note card. Title and preview are derived from the body on first request and kept
// until the note's version changes.
class NoteListItem : public QListWidgetItem
{
public:
    static constexpr int Type = QListWidgetItem::UserType + 1;

    NoteListItem(NoteListWidget *owner, const NoteListEntry &entry)
        : QListWidgetItem(nullptr, Type)
        , m_owner(owner)
        , m_entry(entry)
    {
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    }

    ~NoteListItem() override
    {
        if (m_owner)
            m_owner->forgetItem(this);
    }

    QVariant data(int role) const override
    {
        switch (role) {
        case Qt::DisplayRole:
        case NoteListWidget::TitleRole:
            return texts().title;
        case NoteListWidget::NoteIdRole:
            return m_entry.id;
        case NoteListWidget::PreviewRole:
            return texts().preview;
        case NoteListWidget::UpdatedAtRole:
            return m_entry.updatedAt;
        case NoteListWidget::NotebookNameRole:
            return m_owner ? m_owner->notebookName(m_entry.notebookId) : QString();
        case NoteListWidget::NoTitleRole:
            return texts().noTitle;
        case NoteListWidget::IsSharedRole:
            return m_entry.isShared;
        case NoteListWidget::SyncStatusRole:
            return int(m_entry.syncStatus);
        default:
            return QListWidgetItem::data(role);
        }
    }

    const NoteListEntry &entry() const { return m_entry; }

    // Returns whether anything shown changed.
    bool setEntry(const NoteListEntry &entry)
    {
        const bool changed = !sameBody(entry, m_entry) || entry.notebookId != m_entry.notebookId
            || entry.syncStatus != m_entry.syncStatus || entry.isShared != m_entry.isShared;
        if (!sameBody(entry, m_entry)) {
            m_hasTexts = false;
            m_hasBody = false;
            m_texts = {};
            m_body.clear();
        }
        m_entry = entry;
        return changed;
    }

    void setBody(const QString &body)
    {
        m_body = body;
        m_hasBody = true;
    }

    bool hasTexts() const { return m_hasTexts; }
    const NoteTexts &cachedTexts() const { return m_texts; }
    void adoptTexts(const NoteTexts &texts)
    {
        m_texts = texts;
        m_hasTexts = true;
        m_hasBody = false;
        m_body.clear();
    }

    void detach() { m_owner = nullptr; }
    void notifyChanged() { QListWidgetItem::setData(RevisionRole, ++m_revision); }

private:
    const NoteTexts &texts() const
    {
        if (!m_hasTexts) {
            const QString body = m_hasBody ? m_body : m_owner ? m_owner->bodyOf(m_entry.id) : QString();
            m_texts = textsOf(body);
            m_hasTexts = true;
            m_hasBody = false;
            m_body.clear();
        }
        return m_texts;
    }

    NoteListWidget *m_owner;
    NoteListEntry m_entry;
    mutable QString m_body;
    mutable NoteTexts m_texts;
    mutable bool m_hasBody = false;
    mutable bool m_hasTexts = false;
    int m_revision = 0;
};

namespace {

NoteListItem *noteItem(QListWidgetItem *item)
{
    return item && item->type() == NoteListItem::Type ? static_cast<NoteListItem *>(item) : nullptr;
}

} // namespace

NoteListWidget::NoteListWidget(QWidget *parent)
    : QListWidget(parent)
{
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    // Besides being right for cards of one height, this keeps the view from asking every
    // row for its size, and so from reading every body.
    setUniformItemSizes(true);
    setMouseTracking(true);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(new NoteListDelegate(this));

    connect(this, &QListWidget::currentItemChanged, this, &NoteListWidget::onCurrentItemChanged);
    connect(this, &QListWidget::itemDoubleClicked, this, &NoteListWidget::onItemDoubleClicked);
    connect(this, &QWidget::customContextMenuRequested, this, &NoteListWidget::onContextMenu);
}

NoteListWidget::~NoteListWidget()
{
    // The base class deletes the items after this object's members are gone.
    const QSignalBlocker blocker(this);
    m_replacing = true;
    clear();
}

QString NoteListWidget::noteIdMimeType()
{
    return QStringLiteral("application/x-ombrel-note-id");
}

void NoteListWidget::setNotebookNameResolver(NotebookNameResolver resolver)
{
    m_resolveNotebookName = std::move(resolver);
    refreshNotebookNames();
}

void NoteListWidget::setBodyProvider(BodyProvider provider)
{
    m_bodyProvider = std::move(provider);
}

void NoteListWidget::setNotes(const QList<Note> &notes)
{
    QList<NoteListEntry> entries;
    entries.reserve(notes.size());
    for (const Note &note : notes)
        entries.append(entryOf(note));
    replaceRows(entries, &notes);
}

void NoteListWidget::setEntries(const QList<NoteListEntry> &entries)
{
    replaceRows(entries, nullptr);
}

void NoteListWidget::appendEntries(const QList<NoteListEntry> &entries)
{
    const QSignalBlocker blocker(this);
    const bool wasEmpty = count() == 0;
    m_items.reserve(m_items.size() + entries.size());
    for (const NoteListEntry &entry : entries) {
        if (m_items.contains(entry.id)) {
            qCWarning(lcUi) << "NoteListWidget: note listed twice, shown once:" << entry.id;
            continue;
        }
        auto *item = new NoteListItem(this, entry);
        insertItem(count(), item);
        m_items.insert(entry.id, item);
    }
    // The placeholder is painted only over an empty list.
    if (wasEmpty && count() > 0)
        viewport()->update();
}

void NoteListWidget::replaceRows(const QList<NoteListEntry> &entries, const QList<Note> *notes)
{
    const QString currentId = currentNoteId();

    struct Cached {
        NoteListEntry entry;
        NoteTexts texts;
    };
    QHash<QString, Cached> cache;
    for (const NoteListItem *item : std::as_const(m_items)) {
        if (item->hasTexts())
            cache.insert(item->entry().id, {item->entry(), item->cachedTexts()});
    }

    const QSignalBlocker blocker(this);
    m_replacing = true;
    clear();
    m_items.clear();
    m_replacing = false;
    m_items.reserve(entries.size());

    NoteListItem *current = nullptr;
    {
        // Rows are added to an empty model without announcing each one; reset() below
        // has the view re-read the model once, as after a model reset.
        const QSignalBlocker modelBlocker(model());
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const NoteListEntry &entry = entries.at(i);
            if (m_items.contains(entry.id)) {
                qCWarning(lcUi) << "NoteListWidget: note listed twice, shown once:" << entry.id;
                continue;
            }
            auto *item = new NoteListItem(this, entry);
            const auto cached = cache.constFind(entry.id);
            if (cached != cache.cend() && sameBody(cached->entry, entry))
                item->adoptTexts(cached->texts);
            else if (notes)
                item->setBody(notes->at(i).body);
            insertItem(int(m_items.size()), item);
            m_items.insert(entry.id, item);
            if (!current && !currentId.isEmpty() && entry.id == currentId)
                current = item;
        }
    }
    reset();
    if (current)
        setCurrentItem(current);
}

void NoteListWidget::placeEntry(const NoteListEntry &entry, int row)
{
    const QSignalBlocker blocker(this);
    NoteListItem *item = m_items.value(entry.id);
    if (!item) {
        item = new NoteListItem(this, entry);
        insertItem(std::clamp(row, 0, count()), item);
        m_items.insert(entry.id, item);
        return;
    }

    const bool changed = item->setEntry(entry);
    const int from = this->row(item);
    const int to = std::clamp(row, 0, count() - 1);
    if (from == to) {
        if (changed)
            item->notifyChanged();
        return;
    }

    // Taking the current row would make a neighbour current (and scroll to it) first;
    // with nothing current the row moves as a plain pointer move.
    const bool wasCurrent = currentItem() == item;
    if (wasCurrent)
        setCurrentItem(nullptr);
    takeItem(from);
    insertItem(to, item);
    if (wasCurrent)
        setCurrentItem(item);
}

void NoteListWidget::removeEntry(const QString &noteId)
{
    NoteListItem *item = m_items.value(noteId);
    if (!item)
        return;
    const QSignalBlocker blocker(this);
    if (currentItem() == item)
        setCurrentItem(nullptr);
    takeItem(row(item));
    m_items.remove(noteId);
    item->detach();
    delete item;
}

int NoteListWidget::rowOf(const QString &noteId) const
{
    const NoteListItem *item = m_items.value(noteId);
    return item ? row(item) : -1;
}

QList<NoteListEntry> NoteListWidget::entries() const
{
    QList<NoteListEntry> result;
    const int rows = count();
    result.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        if (const NoteListItem *note = noteItem(item(row)))
            result.append(note->entry());
    }
    return result;
}

void NoteListWidget::refreshNotebookNames()
{
    m_notebookNames.clear();
    viewport()->update();
}

void NoteListWidget::selectNote(const QString &noteId)
{
    if (NoteListItem *item = m_items.value(noteId))
        setCurrentItem(item);
}

QString NoteListWidget::currentNoteId() const
{
    const NoteListItem *item = noteItem(currentItem());
    return item ? item->entry().id : QString();
}

QString NoteListWidget::bodyOf(const QString &noteId) const
{
    return m_bodyProvider ? m_bodyProvider(noteId) : QString();
}

QString NoteListWidget::notebookName(const QString &notebookId) const
{
    if (!m_resolveNotebookName)
        return QString();
    auto it = m_notebookNames.constFind(notebookId);
    if (it == m_notebookNames.cend())
        it = m_notebookNames.insert(notebookId, m_resolveNotebookName(notebookId));
    return it.value();
}

void NoteListWidget::forgetItem(NoteListItem *item)
{
    if (m_replacing)
        return;
    const auto it = m_items.constFind(item->entry().id);
    if (it != m_items.cend() && it.value() == item)
        m_items.erase(it);
}

void NoteListWidget::onCurrentItemChanged(QListWidgetItem *current)
{
    if (current)
        Q_EMIT noteSelected(current->data(NoteIdRole).toString());
}

void NoteListWidget::onItemDoubleClicked(QListWidgetItem *item)
{
    if (item)
        Q_EMIT noteDoubleClicked(item->data(NoteIdRole).toString());
}

void NoteListWidget::onContextMenu(const QPoint &pos)
{
    // The position of a scroll area's context-menu request is in viewport coordinates.
    const QListWidgetItem *item = itemAt(pos);
    if (!item)
        return;
    Q_EMIT noteContextMenuRequested(item->data(NoteIdRole).toString(), viewport()->mapToGlobal(pos));
}

void NoteListWidget::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (const QString id = currentNoteId(); !id.isEmpty())
            Q_EMIT noteActivated(id);
        event->accept();
        return;
    case Qt::Key_Delete:
        if (const QString id = currentNoteId(); !id.isEmpty())
            Q_EMIT noteDeleteRequested(id);
        event->accept();
        return;
    default:
        QListWidget::keyPressEvent(event);
    }
}

void NoteListWidget::setPlaceholderText(const QString &text)
{
    if (m_placeholderText == text)
        return;
    m_placeholderText = text;
    viewport()->update();
}

void NoteListWidget::setPendingMarksShown(bool shown)
{
    if (m_pendingMarksShown == shown)
        return;
    m_pendingMarksShown = shown;
    viewport()->update();
}

void NoteListWidget::paintEvent(QPaintEvent *event)
{
    QListWidget::paintEvent(event);
    if (count() > 0 || m_placeholderText.isEmpty())
        return;
    QPainter painter(viewport());
    QColor color = palette().color(QPalette::Text);
    color.setAlpha(140);
    painter.setPen(color);
    painter.drawText(viewport()->rect().adjusted(16, 24, -16, -16), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     m_placeholderText);
}

void NoteListWidget::keyboardSearch(const QString &search)
{
    Q_UNUSED(search)
}

QStringList NoteListWidget::mimeTypes() const
{
    return {noteIdMimeType()};
}

QMimeData *NoteListWidget::mimeData(const QList<QListWidgetItem *> &items) const
{
    if (items.isEmpty() || !items.first())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(noteIdMimeType(), items.first()->data(NoteIdRole).toString().toUtf8());
    return data;
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    // The base class removes the dragged rows after a move; here a move means "to another
    // notebook", which the main window carries out and the list then reflects.
    QListWidgetItem *dragged = currentItem();
    if (!dragged || !dragged->isSelected())
        return;
    QMimeData *data = mimeData({dragged});
    if (!data)
        return;

    const QRect rect = visualItemRect(dragged);
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(rect.size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = QRect(QPoint(0, 0), rect.size());
        option.state |= QStyle::State_Selected;
        itemDelegate()->paint(&painter, option, indexFromItem(dragged));
    }

    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(pixmap);
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
    drag->exec(supportedActions, Qt::MoveAction);
}
