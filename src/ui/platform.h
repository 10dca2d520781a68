// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <exception>
#include <functional>

class QDialog;
class QWidget;

// The toolkit services the windows rely on: application set-up, the busy
// cursor, message boxes and the top-level error handler. Every message box
// of the program goes through showMessageBox, so tests can watch and answer.

// The application title: the main window's caption and that of error boxes.
// It is not made the application's display name, which the window system
// would append to the caption of every other window ("Поиск — ...").
inline const QString ApplicationTitle = QStringLiteral("Библиотека BRIMVEL");

// Prepares the process for embedded web viewers; must run before the
// application object is made. Switches Chromium's sandbox off when running
// as root, where Chromium refuses to start with it, and raises the soft
// limit of open files toward the hard limit, as browsers do, saying so on
// standard error when it stays below what the page engine starts with.
void prepareWebEngine();

// Closes every window when the process is asked to end (SIGTERM, SIGHUP or
// SIGINT where the platform has them), so that the session is saved as on a
// user's close. The same signal again ends the process at once. Runs with
// the application object made.
void closeWindowsOnTerminationSignals();

// The application object: names the program for the window system and the
// settings store, and hands any error that escapes an event to the
// top-level error handler as a last backstop.
class TApplication : public QApplication
{
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// The nesting pair for the application-wide busy cursor.
void BeginBusyCursor();
void EndBusyCursor();
int busyCursorDepth();

// Shows a modal message box over the active window and returns the button
// the user chose. The text is shown as plain text, never as rich text.
QMessageBox::StandardButton showMessageBox(QMessageBox::Icon icon, const QString &caption, const QString &text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Shows the message of a page's script (alert, confirm, prompt) like
// showMessageBox, with a check box by which the user refuses the page's
// further messages; `refuseMore` tells whether it was ticked.
QMessageBox::StandardButton showPageMessageBox(const QString &text, QMessageBox::StandardButtons buttons,
                                               bool &refuseMore);

// Lowers the calling thread's scheduling priority below the window's, and
// that of the threads it starts from then on, for work in the background.
void lowerThreadPriority();

// Ends the process `pid` at once; false where the platform cannot.
bool terminateProcess(qint64 pid);

// Called with each message box just before it runs; tests use it to read
// the box and to answer it.
using MessageBoxObserver = std::function<void(QMessageBox &)>;
void setMessageBoxObserver(MessageBoxObserver observer);

// Runs a modal dialog of the system's (a folder chooser, the print dialog)
// and returns its result; the observer sees it just before it runs, so
// tests can answer it.
int execDialog(QDialog &dialog);
using DialogObserver = std::function<void(QDialog &)>;
void setDialogObserver(DialogObserver observer);

// The top-level error handler: shows the message of an error that no
// handler caught in a stop box captioned with the application title.
void showError(const QString &message);
void showError(const std::exception_ptr &error);

// Runs an event handler and hands any error escaping it to showError.
template <typename Handler>
void runHandler(Handler &&handler)
{
    try {
        handler();
    } catch (...) {
        showError(std::current_exception());
    }
}
