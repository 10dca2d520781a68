// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform.h"

#include "core/error.h"

#include <QCheckBox>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QThread>
#include <QtGlobal>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

int g_busyDepth = 0;
MessageBoxObserver g_messageBoxObserver;
DialogObserver g_dialogObserver;

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

#ifdef Q_OS_UNIX
// Enough open files for a browser; the hard limit may allow far more.
constexpr rlim_t WantedOpenFiles = 8192;

// The pipe through which a signal handler wakes the event loop: a handler
// may do little more than write() safely.
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = savedErrno;
}

bool watchSignalPipe()
{
    static bool watched = false;
    if (watched)
        return true;
    if (::pipe(g_signalPipe) != 0)
        return false;
    for (const int end : g_signalPipe) {
        ::fcntl(end, F_SETFL, O_NONBLOCK);
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        QApplication::closeAllWindows();
    });
    watched = true;
    return true;
}
#endif

// The fewest open files the page engine starts with.
constexpr int FewestOpenFiles = 256;

void raiseOpenFileLimit()
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    if (limit.rlim_cur < WantedOpenFiles && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min(limit.rlim_max, WantedOpenFiles);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur < rlim_t(FewestOpenFiles))
        std::fprintf(stderr, "Only %lu files may be open at once; the page viewer needs at least %d.\n",
                     static_cast<unsigned long>(limit.rlim_cur), FewestOpenFiles);
#endif
}

// Shows `box` as plain text, whatever its text looks like, and returns the
// button the user chose.
QMessageBox::StandardButton runMessageBox(QMessageBox &box, const QString &text)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (g_messageBoxObserver)
        g_messageBoxObserver(box);
    box.exec();
    return box.standardButton(box.clickedButton());
}

}  // namespace

void closeWindowsOnTerminationSignals()
{
#ifdef Q_OS_UNIX
    if (!watchSignalPipe())
        return;
    struct sigaction action
    {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
#endif
}

void prepareWebEngine()
{
    raiseOpenFileLimit();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Each tab keeps the render process of its own (the engine's default),
    // so that a page whose script never ends holds up no other tab.
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
    QMessageBox box(icon, caption, QString(), buttons, QApplication::activeWindow());
    return runMessageBox(box, text);
}

QMessageBox::StandardButton showPageMessageBox(const QString &text, QMessageBox::StandardButtons buttons,
                                               bool &refuseMore)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Сообщение страницы"), QString(), buttons,
                    QApplication::activeWindow());
    box.setCheckBox(new QCheckBox(QStringLiteral("Больше не показывать сообщений этой страницы")));
    const QMessageBox::StandardButton chosen = runMessageBox(box, text);
    refuseMore = box.checkBox()->isChecked();
    return chosen;
}

void lowerThreadPriority()
{
#ifdef Q_OS_LINUX
    // The nice value is the thread's own on Linux, and threads inherit it;
    // Qt's priorities there either change nothing or, at the idle class,
    // starve the thread on a busy machine.
    constexpr int BackgroundNice = 10;
    setpriority(PRIO_PROCESS, id_t(gettid()), BackgroundNice);
#else
    QThread::currentThread()->setPriority(QThread::LowPriority);
#endif
}

bool terminateProcess(qint64 pid)
{
#ifdef Q_OS_UNIX
    return pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0;
#else
    Q_UNUSED(pid);
    return false;
#endif
}

void setMessageBoxObserver(MessageBoxObserver observer)
{
    g_messageBoxObserver = std::move(observer);
}

int execDialog(QDialog &dialog)
{
    if (g_dialogObserver)
        g_dialogObserver(dialog);
    return dialog.exec();
}

void setDialogObserver(DialogObserver observer)
{
    g_dialogObserver = std::move(observer);
}

void showError(const QString &message)
{
    showMessageBox(QMessageBox::Critical, ApplicationTitle, withFullStop(message));
}

void showError(const std::exception_ptr &error)
{
    showError(errorMessage(error));
}
