// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QTextStream;

// brimvel-library view: opens a library in the viewer. The viewer takes its
// library from the working directory and reads no arguments, so the command
// changes into `directory` and starts the viewer there, in place of this
// process where the platform allows. The viewer is the one beside this
// program, or else the one on PATH. A directory that holds no library still
// opens the viewer, which reports the missing catalogue itself. With
// `directory` empty, a working directory without a catalogue gives way to
// the library the viewer opened last, when there is one.
//
// Returns only when the viewer was not started in place: ExitFailure, with
// the reason on `err`, when `directory` or the viewer cannot be found or the
// viewer cannot be started; ExitSuccess where the viewer was started beside
// this process.
int viewLibrary(const QString &directory, QTextStream &err);
