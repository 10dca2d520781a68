// SPDX-License-Identifier: GPL-3.0-or-later
#include "fulltextpane.h"

#include "libraryindex.h"

#include "core/error.h"

#include <QAbstractTextDocumentLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int CaptionRole = Qt::UserRole;
constexpr int SnippetRole = Qt::UserRole + 1;
constexpr int HitMargin = 4;
const QColor CaptionColor(0x1a, 0x4f, 0x8b);
const QColor FaultColor(0xa0, 0x10, 0x10);

// A result as rich text: its caption and its snippet, both taken as plain
// text, the snippet's marked words in bold.
QString hitHtml(const QString &caption, const QString &markedSnippet, bool selected)
{
    QString snippet = markedSnippet.toHtmlEscaped();
    snippet.replace(MatchStart, QLatin1String("<b>")).replace(MatchEnd, QLatin1String("</b>"));
    const QString captionStyle = selected ? QString() : QStringLiteral(" style=\"color:%1\"").arg(CaptionColor.name());
    return QStringLiteral("<div%1>%2</div><div>%3</div>").arg(captionStyle, caption.toHtmlEscaped(), snippet);
}

QString plainSnippet(QString snippet)
{
    return snippet.remove(MatchStart).remove(MatchEnd);
}

// The words between the marks of a snippet, each once, in their order.
QStringList markedWords(const QString &snippet)
{
    QStringList words;
    qsizetype start = snippet.indexOf(MatchStart);
    while (start >= 0) {
        const qsizetype end = snippet.indexOf(MatchEnd, start + 1);
        if (end < 0)
            break;
        const QString word = snippet.mid(start + 1, end - start - 1).trimmed();
        if (!word.isEmpty() && !words.contains(word, Qt::CaseInsensitive))
            words << word;
        start = snippet.indexOf(MatchStart, end + 1);
    }
    return words;
}

// Draws a result's rich text wrapped to the list's width.
class HitDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        item.text.clear();
        const QWidget *widget = option.widget;
        widget->style()->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

        const bool selected = option.state.testFlag(QStyle::State_Selected);
        QTextDocument document;
        layOut(document, option, index, selected);
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text,
                                 option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->save();
        painter->translate(option.rect.topLeft() + QPoint(HitMargin, HitMargin));
        document.documentLayout()->draw(painter, context);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QTextDocument document;
        layOut(document, option, index, false);
        return {int(document.textWidth()) + 2 * HitMargin, int(document.size().height()) + 2 * HitMargin};
    }

private:
    static void layOut(QTextDocument &document, const QStyleOptionViewItem &option, const QModelIndex &index,
                       bool selected)
    {
        const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
        document.setDefaultFont(option.font);
        document.setDocumentMargin(0);
        document.setHtml(hitHtml(index.data(CaptionRole).toString(), index.data(SnippetRole).toString(), selected));
        document.setTextWidth(view->viewport()->width() - 2 * HitMargin);
    }
};

}  // namespace

FullTextPane::FullTextPane(const LibraryIndex *index, QWidget *parent)
    : QWidget(parent),
      queryField(new QLineEdit),
      messageLine(new QLabel),
      results(new QListView),
      closeButton(new QToolButton),
      m_index(index),
      m_model(new QStandardItemModel(this))
{
    auto *title = new QLabel(QStringLiteral("Поиск по тексту"));
    closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    closeButton->setAutoRaise(true);
    closeButton->setToolTip(QStringLiteral("Закрыть"));
    queryField->setPlaceholderText(QStringLiteral("Слова, \"фраза\", нача*, -слово, OR"));
    queryField->setClearButtonEnabled(true);
    messageLine->setWordWrap(true);
    messageLine->setTextFormat(Qt::PlainText);
    results->setModel(m_model);
    results->setItemDelegate(new HitDelegate(results));
    results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    results->setResizeMode(QListView::Adjust);
    results->setAlternatingRowColors(true);

    auto *header = new QHBoxLayout;
    header->addWidget(title, 1);
    header->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(HitMargin, 0, 0, 0);
    layout->addLayout(header);
    layout->addWidget(queryField);
    layout->addWidget(messageLine);
    layout->addWidget(results, 1);

    connect(closeButton, &QToolButton::clicked, this, &QWidget::hide);
    connect(queryField, &QLineEdit::returnPressed, this, [this] { search(queryField->text()); });
    connect(results->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (current.isValid())
            choose(current.row());
    });
    connect(results, &QListView::activated, this, [this](const QModelIndex &chosen) { choose(chosen.row()); });
    connect(results->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int position) {
        if (position == results->verticalScrollBar()->maximum())
            listMore();
    });
    connect(index, &LibraryIndex::indexChanged, this, [this] {
        clear();
        showMessage({});
    });
}

void FullTextPane::open()
{
    show();
    queryField->setFocus();
    queryField->selectAll();
}

void FullTextPane::search(const QString &query)
{
    clear();
    showMessage({});
    m_query = query.trimmed();
    if (m_query.isEmpty())
        return;
    if (!m_index->index()) {
        showMessage(m_index->note().isEmpty() ? QStringLiteral("Поиск по тексту недоступен") : m_index->note(), true);
        return;
    }
    m_more = true;
    listMore();
}

void FullTextPane::showMessage(const QString &text, bool fault)
{
    QPalette palette = messageLine->palette();
    palette.setColor(QPalette::WindowText, fault ? FaultColor : this->palette().color(QPalette::WindowText));
    messageLine->setPalette(palette);
    messageLine->setText(text);
    messageLine->setVisible(!text.isEmpty());
}

void FullTextPane::clear()
{
    m_model->clear();
    m_hits.clear();
    m_query.clear();
    m_more = false;
}

void FullTextPane::listMore()
{
    const FullTextIndex *index = m_index->index();
    if (!m_more || !index)
        return;
    try {
        const SearchResults found = index->search(m_query, BatchSize, qsizetype(m_hits.size()));
        for (const PageHit &hit : found.hits) {
            auto *item = new QStandardItem(hit.caption + QLatin1Char('\n') + plainSnippet(hit.snippet));
            item->setData(hit.caption, CaptionRole);
            item->setData(hit.snippet, SnippetRole);
            m_model->appendRow(item);
            m_hits.push_back(hit);
        }
        m_more = !found.hits.empty() && qsizetype(m_hits.size()) < found.total;
        showMessage(countText(found.total));
    } catch (...) {
        // A malformed query is told here, with any other failure of the search.
        showMessage(errorMessage(std::current_exception()), true);
        m_more = false;
    }
}

QString FullTextPane::countText(qsizetype total) const
{
    QString text = QStringLiteral("Найдено страниц: %1").arg(QLocale(QLocale::Russian).toString(total));
    if (m_index->updating())
        text += QStringLiteral("\nИндексирование ещё идёт: найдено только в уже проиндексированных книгах");
    else if (!m_index->index()->complete())
        text += QStringLiteral("\nИндексирование не закончено: найдено только в уже проиндексированных книгах");
    return text;
}

void FullTextPane::choose(int row)
{
    const PageHit &hit = m_hits.at(size_t(row));
    emit hitChosen(hit, markedWords(hit.snippet));
}
