// SPDX-License-Identifier: GPL-3.0-or-later
#include "pageguard.h"

#include <QFileInfo>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

namespace {

// The library folder's canonical path with a separator at its end; empty
// while no library is set.
QString g_libraryRoot;

bool insideLibrary(const QString &canonicalPath)
{
    return !g_libraryRoot.isEmpty() && canonicalPath.startsWith(g_libraryRoot);
}

// Refuses every request that mayLoad refuses: subresources, fetches and
// XMLHttpRequests, navigations and WebSockets alike.
class LibraryRequestInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        info.block(!PageGuard::mayLoad(info.requestUrl()));
    }
};

}  // namespace

void PageGuard::setLibraryFolder(const QString &folder)
{
    // Canonical paths separate with '/' on every platform.
    g_libraryRoot = QFileInfo(folder).canonicalFilePath();
    if (!g_libraryRoot.isEmpty() && !g_libraryRoot.endsWith(u'/'))
        g_libraryRoot += u'/';
}

PageGuard::PageFile PageGuard::pageFile(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return PageFile::Missing;
    // The file is tested as named, so that a library in a folder whose name
    // Qt cannot decode (see workingDirectory) shows its pages; where it
    // lies is tested by its canonical path, which is decoded as the
    // library's root is.
    if (!insideLibrary(file.canonicalFilePath()) || !file.isFile() || !file.isReadable())
        return PageFile::Refused;
    return PageFile::Readable;
}

bool PageGuard::mayLoad(const QUrl &url)
{
    if (url.isLocalFile())
        return pageFile(url.toLocalFile()) == PageFile::Readable;
    return url.scheme() == QLatin1String("data") || url == QUrl(QStringLiteral("about:blank"));
}

void PageGuard::guard(QWebEngineProfile *profile)
{
    profile->setUrlRequestInterceptor(new LibraryRequestInterceptor(profile));
    QWebEngineSettings *settings = profile->settings();
    // Pages show their own images and frames from the library; the
    // interceptor keeps every file request inside it.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    settings->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    // Links such as mailto: would otherwise be handed to other programs.
    settings->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
}
