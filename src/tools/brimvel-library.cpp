// SPDX-License-Identifier: GPL-3.0-or-later
// brimvel-library: shows, without windows, the tree the viewer builds from a
// library, what in it is broken, and what the viewer's search finds; builds
// and searches the full-text index; and opens a library in the viewer.

#include "directories.h"
#include "indexcommands.h"
#include "librarycommands.h"
#include "viewlibrary.h"

#include "core/error.h"
#include "core/library.h"
#include "core/paths.h"
#include "core/search.h"
#include "core/text.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <cstdio>
#include <optional>

namespace {

const QString Usage = QStringLiteral("Usage: brimvel-library [-C DIR] tree\n"
                                     "       brimvel-library [-C DIR] check\n"
                                     "       brimvel-library [-C DIR] find TEXT\n"
                                     "       brimvel-library [-C DIR] index\n"
                                     "       brimvel-library [-C DIR] search QUERY\n"
                                     "       brimvel-library [-C DIR] view [DIR]\n"
                                     "       brimvel-library --help\n");

const QString Description =
    QStringLiteral("Shows what the BRIMVEL viewer builds from the library in the working\n"
                   "directory, and what in it is broken; opens a library in the viewer.\n"
                   "Reads the library, never writes.\n"
                   "\n"
                   "Commands:\n"
                   "  tree       every author, book and contents entry, indented two blanks\n"
                   "             per level; an entry with a tab and its page path. A book\n"
                   "             whose contents fail to load ends with \"! \" and the message.\n"
                   "  check      one line per problem (a failed load, a missing start page or\n"
                   "             page file), then the counts of books, entries and problems.\n"
                   "  find TEXT  the caption of every node the viewer's Find and Find next\n"
                   "             select for TEXT (at least 4 characters, letter case ignored).\n"
                   "  index      builds or updates the full-text index of every page (kept in\n"
                   "             the user's cache, never in the library): progress on standard\n"
                   "             error when it is a terminal, then the books indexed, the pages\n"
                   "             and the seconds taken.\n"
                   "  search QUERY\n"
                   "             the pages of the index that match QUERY, best first: the\n"
                   "             caption, a tab and the passage with the words in [brackets].\n"
                   "             QUERY: words (all of them, any form), \"a phrase\", prefix*,\n"
                   "             -excluded, and OR between alternatives.\n"
                   "  view [DIR] the viewer on the library in DIR, or else in the working\n"
                   "             directory: the viewer beside this program, or else the one\n"
                   "             on PATH, takes this program's place. A directory that holds\n"
                   "             no library still opens the viewer, which then reports the\n"
                   "             missing catalogue. Without DIR or -C, a working directory\n"
                   "             without a catalogue opens the library the viewer opened last.\n"
                   "\n"
                   "Options:\n"
                   "  -C DIR     use the library in DIR instead of the working directory\n"
                   "  -h, --help show this text\n"
                   "\n"
                   "Exit status: 0 when every book loaded, no problem was found or something\n"
                   "matched; 1 otherwise; 2 for a usage error, an unreadable catalogue, a\n"
                   "search that failed to load a book or a malformed QUERY. view ends as the viewer ends; it exits\n"
                   "with 2 when DIR or the viewer is missing.\n");

// A command line that names something to do.
struct Invocation
{
    QString directory;  // empty for the working directory
    QString command;
    QString operand;  // find's TEXT, search's QUERY, view's DIR
};

// A command line that cannot be run, and what is wrong with it.
struct UsageError
{
    QString message;
};

QString takeSearchText(const QStringList &positional)
{
    if (positional.size() != 2)
        throw UsageError{QStringLiteral("find takes one TEXT")};
    QString text = trimText(positional.at(1));
    if (text.size() < ShortestSearchText)
        throw UsageError{QStringLiteral("TEXT must be at least %1 characters long").arg(ShortestSearchText)};
    return text;
}

QString takeQuery(const QStringList &positional)
{
    if (positional.size() != 2)
        throw UsageError{QStringLiteral("search takes one QUERY")};
    return positional.at(1);
}

// view's DIR: the working directory when -C names it, empty when nothing does.
QString takeViewDirectory(const QStringList &positional, bool directoryGiven)
{
    if (positional.size() > 2)
        throw UsageError{QStringLiteral("view takes at most one DIR")};
    return positional.value(1, directoryGiven ? QStringLiteral(".") : QString());
}

Invocation invocationOf(const QCommandLineParser &parser, const QCommandLineOption &directory)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        throw UsageError{QStringLiteral("no command given")};
    const QString &command = positional.first();
    if (command == QLatin1String("find"))
        return {parser.value(directory), command, takeSearchText(positional)};
    if (command == QLatin1String("search"))
        return {parser.value(directory), command, takeQuery(positional)};
    if (command == QLatin1String("view"))
        return {parser.value(directory), command, takeViewDirectory(positional, parser.isSet(directory))};
    if (command != QLatin1String("tree") && command != QLatin1String("check") && command != QLatin1String("index"))
        throw UsageError{QStringLiteral("unknown command '%1'").arg(command)};
    if (positional.size() > 1)
        throw UsageError{QStringLiteral("%1 takes no arguments").arg(command)};
    return {parser.value(directory), command, {}};
}

// The invocation, or nothing when the help text was asked for.
std::optional<Invocation> parseArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption directory(QStringLiteral("C"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOption(directory);
    parser.addOption(help);
    if (!parser.parse(arguments))
        throw UsageError{parser.errorText()};
    if (parser.isSet(help))
        return std::nullopt;
    return invocationOf(parser, directory);
}

int runCommand(const Invocation &invocation, QTextStream &out, QTextStream &err)
{
    if (invocation.command == QLatin1String("view"))
        return viewLibrary(invocation.operand, err);
    Library library(workingDirectory());
    library.readCatalogue();
    if (invocation.command == QLatin1String("tree"))
        return listTree(library, out);
    if (invocation.command == QLatin1String("check"))
        return checkLibrary(library, out);
    if (invocation.command == QLatin1String("index"))
        return indexLibrary(library, out, err);
    if (invocation.command == QLatin1String("search"))
        return searchLibrary(library, invocation.operand, out, err);
    return findInLibrary(library, invocation.operand, out);
}

// Runs the command on the library the invocation names; an error that ends
// it is reported as the viewer's error handler words it.
int runInLibrary(const Invocation &invocation, QTextStream &out, QTextStream &err)
{
    if (!invocation.directory.isEmpty() && !changeDirectory(invocation.directory)) {
        err << "brimvel-library: cannot change to directory '" << invocation.directory << "'\n";
        return ExitFailure;
    }
    try {
        return runCommand(invocation, out, err);
    } catch (const AppError &error) {
        out.flush();
        err << visibleText(withFullStop(error.message())) << '\n';
        return ExitFailure;
    } catch (const std::bad_alloc &) {
        out.flush();
        err << OutOfMemory << '\n';
        return ExitFailure;
    }
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    std::optional<Invocation> invocation;
    try {
        invocation = parseArguments(arguments);
    } catch (const UsageError &error) {
        err << "brimvel-library: " << error.message << '\n' << Usage;
        return ExitFailure;
    }
    if (!invocation) {
        out << Usage << '\n' << Description;
        return ExitSuccess;
    }
    return runInLibrary(*invocation, out, err);
}

// Flushes the output; a write that failed on the way (a full disk, a closed
// pipe) makes the command fail with the system's message, whatever it found.
int finishOutput(QTextStream &out, QTextStream &err, int exitCode)
{
    out.flush();
    if (out.status() == QTextStream::Ok)
        return exitCode;
    err << "brimvel-library: cannot write the output: " << out.device()->errorString() << '\n';
    return ExitFailure;
}

}  // namespace

int main(int argc, char *argv[])
{
    rememberArguments(argc, argv);
    QCoreApplication application(argc, argv);
    // The viewer's names, so that both find the same index in the cache.
    QCoreApplication::setOrganizationName(QStringLiteral("Brimvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Library"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    return finishOutput(out, err, run(application.arguments(), out, err));
}
