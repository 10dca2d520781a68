#include "platform.h"

#include "core/error.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

int g_busyDepth = 0;
MessageBoxObserver g_messageBoxObserver;

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

}  // namespace

void prepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // All pages of a library are local files of one site: one renderer
    // process serves every tab, instead of one process per bookmark tab.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--process-per-site"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --process-per-site").trimmed());
    if (runningAsRoot() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral("Brimvel"));
    setApplicationName(QStringLiteral("Library"));
    // The desktop entry installed with the program is org.brimvel.Library.desktop;
    // naming it lets window managers match the windows to it.
    setDesktopFileName(QStringLiteral("org.brimvel.Library"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/brimvel-16.png"));
    icon.addFile(QStringLiteral(":/icons/brimvel-32.png"));
    setWindowIcon(icon);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showError(std::current_exception());
        return true;
    }
}

void BeginBusyCursor()
{
    if (g_busyDepth++ == 0)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndBusyCursor()
{
    if (g_busyDepth == 0)
        return;
    if (--g_busyDepth == 0)
        QGuiApplication::restoreOverrideCursor();
}

int busyCursorDepth()
{
    return g_busyDepth;
}

QMessageBox::StandardButton showMessageBox(QMessageBox::Icon icon, const QString &caption, const QString &text,
                                           QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
    if (g_messageBoxObserver)
        g_messageBoxObserver(box);
    box.exec();
    return box.standardButton(box.clickedButton());
}

void setMessageBoxObserver(MessageBoxObserver observer)
{
    g_messageBoxObserver = std::move(observer);
}

void showError(const QString &message)
{
    showMessageBox(QMessageBox::Critical, ApplicationTitle, withFullStop(message));
}

void showError(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const AppError &e) {
        showError(e.message());
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showError(QStringLiteral("Unknown error"));
    }
}
