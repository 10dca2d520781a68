#include "viewer.h"

#include "core/paths.h"

#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

TWebBrowser::TWebBrowser(QWidget *parent) : QWidget(parent), m_view(new QWebEngineView(this))
{
    // Library pages without a charset of their own are Windows-1251 text.
    m_view->settings()->setDefaultTextEncoding(QStringLiteral("windows-1251"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    connect(m_view->page(), &QWebEnginePage::renderProcessTerminated, this, &TWebBrowser::renderProcessDied);
}

void TWebBrowser::Navigate2(const QString &path)
{
    m_reloadedAfterDeath = false;
    m_view->setUrl(QUrl::fromLocalFile(platformPath(path)));
}

QString TWebBrowser::LocationURL() const
{
    return m_view->url().toString();
}

// A render process that dies (a crash, the system ending it for memory, a
// page that brings it down) leaves the view without content. The page is
// loaded once more in a new process; should that die as well before another
// page is asked for, a blank page takes its place, so a page that kills its
// renderer cannot keep the viewer reloading. Either runs once the engine's
// notification has returned.
void TWebBrowser::renderProcessDied()
{
    if (m_reloadedAfterDeath) {
        QTimer::singleShot(0, m_view, [view = m_view] { view->setUrl(QUrl(QStringLiteral("about:blank"))); });
        return;
    }
    m_reloadedAfterDeath = true;
    QTimer::singleShot(0, m_view, &QWebEngineView::reload);
}
