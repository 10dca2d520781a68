// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer.h"

#include "pageguard.h"
#include "platform.h"

#include <QChildEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMouseEvent>
#include <QPrinter>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <utility>

namespace {

constexpr int HeartbeatInterval = 1000;
// How long a render process may leave a question unanswered before the
// viewer ends it.
constexpr qint64 AnswerLimit = 5000;

QString noticePage(const QString &text)
{
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head>"
                          "<body><p>%1</p></body></html>")
        .arg(text.toHtmlEscaped());
}

// Wraps each whole-word occurrence of the words of the JSON array %1 in the
// page's text in a <mark>, outside scripts and styles, and scrolls the first
// into the middle of the view.
const char markWordsScript[] = R"((function (words) {
    const escaped = words.map(w => w.replace(/[.*+?^${}()|[\]\\]/g, '\\$&'));
    const pattern = new RegExp('(?<![\\p{L}\\p{N}])(?:' + escaped.join('|') + ')(?![\\p{L}\\p{N}])', 'giu');
    if (!document.body || escaped.length === 0)
        return;
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT, {
        acceptNode: node => /^(SCRIPT|STYLE|TEXTAREA)$/.test(node.parentNode.nodeName)
            ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_ACCEPT
    });
    const texts = [];
    while (walker.nextNode())
        texts.push(walker.currentNode);
    let first = null;
    for (const text of texts) {
        const matches = [...text.data.matchAll(pattern)];
        for (let i = matches.length - 1; i >= 0; --i) {
            const word = text.splitText(matches[i].index);
            word.splitText(matches[i][0].length);
            const mark = document.createElement('mark');
            word.parentNode.replaceChild(mark, word);
            mark.appendChild(word);
            if (i === 0 && !first)
                first = mark;
        }
    }
    if (first)
        first.scrollIntoView({block: 'center'});
})(%1))";

}  // namespace

// A page whose script may show one dialog per load, and none once the user
// has refused more; whose main frame shows a notice of ours in place of a
// page that cannot be loaded.
class LibraryPage : public QWebEnginePage
{
public:
    explicit LibraryPage(QObject *parent) : QWebEnginePage(parent)
    {
        connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl &url) {
            if (url != m_noticeFor && url.scheme() != QLatin1String("data"))
                m_noticeFor.clear();
        });
    }

    // Opens a page for the program: its dialogs are allowed again. A page
    // that may not be loaded is never handed to the engine.
    void open(const QUrl &url)
    {
        m_dialogsRefused = false;
        if (PageGuard::mayLoad(url)) {
            m_noticeFor.clear();
            setUrl(url);
        } else {
            showUnloadable(url);
        }
    }

    // The page shown, or the one that a notice of ours stands in for.
    QUrl location() const { return m_noticeFor.isEmpty() ? url() : m_noticeFor; }

    bool dialogOpen() const { return m_dialogOpen; }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        if (!isMainFrame)
            return true;
        if (PageGuard::mayLoad(url)) {
            m_dialogShown = false;
            return true;
        }
        QTimer::singleShot(0, this, [this, url] { showUnloadable(url); });
        return false;
    }

    void javaScriptAlert(const QUrl &, const QString &message) override { ask(message, QMessageBox::Ok); }

    bool javaScriptConfirm(const QUrl &, const QString &message) override
    {
        return ask(message, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    }

    // There is no field to type in: OK gives the page its default answer.
    bool javaScriptPrompt(const QUrl &, const QString &message, const QString &defaultValue, QString *result) override
    {
        if (ask(message, QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return false;
        *result = defaultValue;
        return true;
    }

private:
    // Shows a notice in Russian in place of `url`.
    void showUnloadable(const QUrl &url)
    {
        m_noticeFor = url;
        const bool missing =
            url.isLocalFile() && PageGuard::pageFile(url.toLocalFile()) == PageGuard::PageFile::Missing;
        const QString name = url.isLocalFile() ? url.toLocalFile() : url.toString();
        setHtml(noticePage((missing ? QStringLiteral("Страница не найдена: %1")
                                    : QStringLiteral("Страница не может быть открыта: %1"))
                               .arg(name)),
                url);
    }

    // Shows the script's dialog if one is allowed; NoButton when it is not.
    QMessageBox::StandardButton ask(const QString &message, QMessageBox::StandardButtons buttons)
    {
        if (m_dialogShown || m_dialogsRefused)
            return QMessageBox::NoButton;
        m_dialogShown = true;
        m_dialogOpen = true;
        bool refuseMore = false;
        const QMessageBox::StandardButton chosen = showPageMessageBox(message, buttons, refuseMore);
        m_dialogOpen = false;
        m_dialogsRefused = refuseMore;
        return chosen;
    }

    QUrl m_noticeFor;
    bool m_dialogShown = false;
    bool m_dialogsRefused = false;
    bool m_dialogOpen = false;
};

TWebBrowser::TWebBrowser(QWidget *parent) : QWidget(parent), m_view(new QWebEngineView(this))
{
    [[maybe_unused]] static const bool guarded = (PageGuard::guard(QWebEngineProfile::defaultProfile()), true);
    m_page = new LibraryPage(m_view);
    m_view->setPage(m_page);
    // Library pages without a charset of their own are Windows-1251 text.
    m_view->settings()->setDefaultTextEncoding(QStringLiteral("windows-1251"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, &TWebBrowser::renderProcessDied);
    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &loading) {
        if (loading.status() == QWebEngineLoadingInfo::LoadSucceededStatus && loading.url() == m_opened
            && !m_wordsToMark.isEmpty())
            markWords();
    });
    connect(&m_heartbeat, &QTimer::timeout, this, &TWebBrowser::checkRenderer);
    m_heartbeat.start(HeartbeatInterval);
    connect(m_page, &QWebEnginePage::loadFinished, this, &TWebBrowser::applyPendingScroll);
    connect(m_view, &QWebEngineView::printFinished, this, [this](bool printed) {
        m_printer.reset();
        if (!printed)
            emit statusMessage(QStringLiteral("Страница не напечатана"));
    });
    // The engine draws into a child of the view, made when it needs one;
    // its wheel and mouse events are looked at before the page gets them.
    m_view->installEventFilter(this);
    for (QWidget *child : m_view->findChildren<QWidget *>())
        child->installEventFilter(this);
}

TWebBrowser::~TWebBrowser()
{
    // The engine's print thread goes on writing to the printer after the
    // view has gone and cannot be waited for: a printer still in use is
    // left to it rather than freed under it.
    if (m_printer)
        (void)m_printer.release();
}

void TWebBrowser::setLibraryFolder(const QString &folder)
{
    PageGuard::setLibraryFolder(folder);
}

void TWebBrowser::Navigate2(const QString &path)
{
    m_reloadedAfterDeath = false;
    m_wordsToMark.clear();
    m_opened = QUrl::fromLocalFile(path);
    m_page->open(m_opened);
}

void TWebBrowser::markWordsWhenLoaded(const QStringList &words)
{
    m_wordsToMark = words;
}

// Runs in a world of its own, apart from the page's scripts; the words come
// in as JSON, so no text of the library becomes code.
void TWebBrowser::markWords()
{
    const QByteArray words =
        QJsonDocument(QJsonArray::fromStringList(std::exchange(m_wordsToMark, {}))).toJson(QJsonDocument::Compact);
    m_page->runJavaScript(QString::fromLatin1(markWordsScript).arg(QString::fromUtf8(words)),
                          QWebEngineScript::ApplicationWorld);
}

QString TWebBrowser::LocationURL() const
{
    return m_page->location().toString();
}

QString TWebBrowser::localFile() const
{
    const QUrl location = m_page->location();
    return location.isLocalFile() ? location.toLocalFile() : QString();
}

QPoint TWebBrowser::scrollPosition() const
{
    return m_page->scrollPosition().toPoint();
}

void TWebBrowser::scrollWhenLoaded(const QPoint &position)
{
    m_pendingScroll = position;
}

// A page in a viewer not shown yet (a window still opening, a tab behind
// another) keeps its scroll until it is shown, as the engine sets no
// scroll on a page it does not show.
void TWebBrowser::applyPendingScroll(bool loaded)
{
    if (!loaded || !m_pendingScroll)
        return;
    if (!isVisible()) {
        m_scrollWhenShown = true;
        return;
    }
    // The engine reports the scroll position in the page's pixels as
    // zoomed, and a script scrolls in pixels of the page itself.
    m_page->runJavaScript(QStringLiteral("window.scrollTo(%1 / %3, %2 / %3)")
                              .arg(m_pendingScroll->x())
                              .arg(m_pendingScroll->y())
                              .arg(m_page->zoomFactor()),
                          QWebEngineScript::ApplicationWorld);
    m_pendingScroll.reset();
}

void TWebBrowser::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (std::exchange(m_scrollWhenShown, false))
        QTimer::singleShot(0, this, [this] { applyPendingScroll(true); });
}

void TWebBrowser::clear()
{
    m_pendingScroll.reset();
    m_scrollWhenShown = false;
    m_view->history()->clear();
    m_view->setUrl(QUrl(QStringLiteral("about:blank")));
}

void TWebBrowser::setZoomPercent(int percent)
{
    m_view->setZoomFactor(percent / 100.0);
}

void TWebBrowser::back()
{
    m_view->back();
}

void TWebBrowser::forward()
{
    m_view->forward();
}

void TWebBrowser::print(std::unique_ptr<QPrinter> printer)
{
    if (m_printer)
        return;  // one print at a time: the engine refuses a second meanwhile
    m_printer = std::move(printer);
    m_view->print(m_printer.get());
}

bool TWebBrowser::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (watched == m_view && static_cast<QChildEvent *>(event)->child()->isWidgetType())
            static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
        break;
    case QEvent::Wheel: {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        if (!wheel->modifiers().testFlag(Qt::ControlModifier) || wheel->angleDelta().y() == 0)
            break;
        emit zoomRequested(wheel->angleDelta().y() > 0 ? 1 : -1);
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // Taken whole, press and release, so that the engine never sees them.
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        if (button != Qt::BackButton && button != Qt::ForwardButton)
            break;
        if (event->type() == QEvent::MouseButtonRelease)
            button == Qt::BackButton ? back() : forward();
        return true;
    }
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

// A render process that dies (a crash, the system ending it for memory, a
// page that brings it down) leaves the view without content. The page is
// loaded once more in a new process; should that die as well before another
// page is asked for, a blank page takes its place, so a page that kills its
// renderer cannot keep the viewer reloading. A process the viewer ended for
// not answering is not given its page again. Either runs once the engine's
// notification has returned.
void TWebBrowser::renderProcessDied()
{
    m_question->invalidate();
    if (m_reloadedAfterDeath || m_endedUnanswered) {
        if (std::exchange(m_endedUnanswered, false))
            emit statusMessage(QStringLiteral("Страница перестала отвечать и была закрыта"));
        QTimer::singleShot(0, m_view, [view = m_view] { view->setUrl(QUrl(QStringLiteral("about:blank"))); });
        return;
    }
    m_reloadedAfterDeath = true;
    QTimer::singleShot(0, m_view, &QWebEngineView::reload);
}

// Asks the render process a question that any live page answers at once;
// a process that leaves it unanswered too long (a script that never ends)
// is ended. A dialog of the page's script holds the process up rightly.
void TWebBrowser::checkRenderer()
{
    const qint64 pid = m_page->renderProcessPid();
    if (m_page->dialogOpen() || pid <= 0 || m_endedUnanswered) {
        m_question->invalidate();
        return;
    }
    if (!m_question->isValid()) {
        m_question->start();
        m_page->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                              [question = m_question](const QVariant &) { question->invalidate(); });
    } else if (m_question->elapsed() >= AnswerLimit) {
        m_endedUnanswered = terminateProcess(pid);
    }
}
