// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The working directory as a folder whose files can be opened. Qt decodes
// file names as UTF-8, so the name of a directory that is not valid UTF-8
// comes back altered and names nothing; where the system keeps a link to
// the process's working directory (/proc/<pid>/cwd on Linux), the link
// stands in for that name.
QString workingDirectory();

// The file at `builtPath`, a path relative to the library folder `folder`
// (a path of this platform, taken as it is) that the library built with
// backslashes, as libraries made on Windows name their files, mapped onto
// this platform: every backslash becomes the platform's separator. Where the
// platform's file names heed letter case and the path does not exist as
// written, the part inside the folder is resolved component by component
// ignoring letter case. The components matched are kept and the first one
// that matches nothing is kept as written with the rest, so that opening
// the path reports the usual error.
QString platformPath(const QString &folder, const QString &builtPath);
