// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target's entry point over kept inputs: every file named on the
// command line, and every file below every directory named there except hidden ones (.gitkeep). A crash,
// a sanitizer report or a hang fails the test that runs it.

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

bool replayFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::fprintf(stderr, "%s (%lld bytes)\n", qPrintable(path), static_cast<long long>(bytes.size()));
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
    return true;
}

}  // namespace

int main(int argc, char *argv[])
{
    int replayed = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        if (!QFileInfo(path).isDir()) {
            ok = replayFile(path) && ok;
            ++replayed;
            continue;
        }
        QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            ok = replayFile(it.next()) && ok;
            ++replayed;
        }
    }
    std::fprintf(stderr, "%d inputs replayed\n", replayed);
    return ok && replayed > 0 ? 0 : 1;
}
