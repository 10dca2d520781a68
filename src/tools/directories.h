// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

// Directories named on the command line. Qt decodes the arguments as UTF-8
// and replaces what is not, so the name of a directory that is not valid
// UTF-8 would name nothing; such a name is taken from the arguments' own
// bytes, which main() hands over first.
void rememberArguments(int argc, char *argv[]);

// Why `directory`, as named on the command line, is no directory to work
// in ("no such directory '...'", "'...' is not a directory"); nothing when it is.
std::optional<QString> notADirectory(const QString &directory);

// Makes `directory`, as named on the command line, the working directory.
bool changeDirectory(const QString &directory);
