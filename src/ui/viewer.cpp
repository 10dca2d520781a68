#include "viewer.h"

#include "core/paths.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>

TWebBrowser::TWebBrowser(QWidget *parent) : QWidget(parent), m_view(new QWebEngineView(this))
{
    // Library pages without a charset of their own are Windows-1251 text.
    m_view->settings()->setDefaultTextEncoding(QStringLiteral("windows-1251"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

void TWebBrowser::Navigate2(const QString &path)
{
    m_view->setUrl(QUrl::fromLocalFile(platformPath(path)));
}

QString TWebBrowser::LocationURL() const
{
    return m_view->url().toString();
}
