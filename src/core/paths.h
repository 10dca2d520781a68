#pragma once

#include <QString>

// Maps a path that the viewer built with backslashes, as libraries made on
// Windows name their files, onto this platform: every backslash becomes the
// platform's separator. Where the platform's file names heed letter case and
// the path does not exist as written, it is resolved component by component
// ignoring letter case. A component that matches nothing is kept as written,
// so that opening the path reports the usual error.
QString platformPath(const QString &builtPath);
