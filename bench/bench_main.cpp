// Measures how quickly the viewer opens a large library: the catalogue's
// bare XML parse, the main window's creation (which reads the catalogue and
// builds the author and book levels) and the time until the window is on
// screen. Prints medians of several runs and the peak memory.

#include "librarygen.h"

#include "ui/fMain.h"
#include "ui/platform.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The peak resident memory of the process in MiB, where the system tells it.
double peakMemoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

void report(const char *what, const std::vector<double> &runs)
{
    std::printf("%-34s median %8.1f ms   (min %.1f, max %.1f, %zu runs)\n", what, median(runs),
                *std::min_element(runs.begin(), runs.end()), *std::max_element(runs.begin(), runs.end()),
                runs.size());
}

} // namespace

int main(int argc, char *argv[])
{
    prepareWebEngine();
    TApplication application(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Start-up benchmark of the library viewer"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("books"), QStringLiteral("Books in the catalogue."), QStringLiteral("n"), QStringLiteral("100000")});
    parser.addOption({QStringLiteral("authors"), QStringLiteral("Authors in the catalogue."), QStringLiteral("n"), QStringLiteral("20000")});
    parser.addOption({QStringLiteral("runs"), QStringLiteral("Runs of each measurement."), QStringLiteral("n"), QStringLiteral("5")});
    parser.process(application);
    const int books = parser.value(QStringLiteral("books")).toInt();
    const int authors = std::max(1, parser.value(QStringLiteral("authors")).toInt());
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());

    QTemporaryDir library;
    const qint64 catalogueBytes = generateLibrary(library.path(), books, authors);
    QDir::setCurrent(library.path());
    std::printf("library: %d books by %d authors, catalogue %.1f MiB\n", books, authors,
                double(catalogueBytes) / (1024 * 1024));

    QFile catalogue(QStringLiteral("books.xml"));
    catalogue.open(QIODevice::ReadOnly);
    const QByteArray bytes = catalogue.readAll();
    std::vector<double> parse, create, shown;
    for (int run = 0; run < runs; ++run) {
        parse.push_back(milliseconds([&] {
            pugi::xml_document document;
            document.load_buffer(bytes.constData(), size_t(bytes.size()), pugi::parse_default, pugi::encoding_utf8);
        }));
        QElapsedTimer sinceStart;
        sinceStart.start();
        TfrmMain *window = nullptr;
        create.push_back(milliseconds([&] { window = new TfrmMain; }));
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            std::printf("the window was not shown\n");
        shown.push_back(double(sinceStart.nsecsElapsed()) / 1e6);
        if (run == 0)
            std::printf("tree: %lld nodes, %d authors\n", qlonglong(window->tree().size()),
                        window->tree().childCount(LibraryTree::NoNode));
        delete window;
    }
    report("bare XML parse (pugixml)", parse);
    report("window creation with FormCreate", create);
    report("until the window is shown", shown);
    std::printf("shown / bare parse: %.1f\n", median(shown) / median(parse));
    std::printf("peak memory: %.1f MiB\n", peakMemoryMiB());
    return 0;
}
