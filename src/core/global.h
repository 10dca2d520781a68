#pragma once

#include <QString>

// The library directory: the working directory at start-up with the
// platform's separator appended. Every data path starts with it.
extern QString AppDir;

// Sets AppDir from the process's current working directory.
void setAppDirFromCurrentDirectory();

// Removes every leading and trailing character whose code is 32 or less.
// Characters above 127 are never trimmed.
QString trimText(const QString &text);
