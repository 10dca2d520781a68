#pragma once

#include <QWidget>

class QWebEngineView;

// The page viewer: an embedded web view that fills its tab. It is told to
// open a local file and reports where it is; nothing else is asked of it.
class TWebBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit TWebBrowser(QWidget *parent = nullptr);

    // Opens the local file `path`, a path the viewer built (backslashes are
    // mapped onto this platform). Returns at once; the page loads on its own.
    void Navigate2(const QString &path);

    // The page shown now, including pages reached through links; empty
    // before anything has been opened.
    QString LocationURL() const;

private:
    void renderProcessDied();

    QWebEngineView *m_view;
    // The page has been loaded anew once since the last Navigate2 because
    // its render process died.
    bool m_reloadedAfterDeath = false;
};
