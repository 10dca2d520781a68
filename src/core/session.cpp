// SPDX-License-Identifier: GPL-3.0-or-later
#include "session.h"

#include "settings.h"
#include "text.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>

namespace {

const QString ReadingSection = QStringLiteral("reading");
const QString LibrariesSection = QStringLiteral("reading.Libraries");
const QString RestoreName = QStringLiteral("RestorePages");
const QString ZoomName = QStringLiteral("Zoom");
const QString FolderName = QStringLiteral("Folder");
const QString FrontName = QStringLiteral("Front");
const QString PagesName = QStringLiteral("Pages");

constexpr std::array ZoomLevels{25, 33, 50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400, 500};

// A library's section is named after a digest of its folder, which keeps
// the name short and free of the separators a path holds; the folder itself
// is stored in it and compared on reading.
QString sessionSection(const QString &folder)
{
    const QByteArray digest = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("session.") + QString::fromLatin1(digest);
}

QString pageValue(int index, const char *what)
{
    return QStringLiteral("Page%1_%2").arg(index).arg(QLatin1String(what));
}

int storedZoom(const SettingsStore &store, const QString &section, int fallback)
{
    return std::clamp(store.readInteger(section, ZoomName, fallback), MinimumZoom, MaximumZoom);
}

QPoint pointOfText(const QString &text)
{
    const QStringList words = text.split(QLatin1Char(','));
    return {decimalInteger(words.value(0)).value_or(0), decimalInteger(words.value(1)).value_or(0)};
}

}  // namespace

ReadingPreferences readPreferences(const SettingsStore &store)
{
    ReadingPreferences preferences;
    preferences.restorePages = store.readInteger(ReadingSection, RestoreName, 1) != 0;
    preferences.zoomPercent = storedZoom(store, ReadingSection, preferences.zoomPercent);
    for (const QString &folder : readStringList(store, LibrariesSection).value_or(QStringList()))
        if (!folder.isEmpty() && preferences.recentLibraries.size() < MaxRecentLibraries)
            preferences.recentLibraries.append(folder);
    return preferences;
}

void writePreferences(SettingsStore &store, const ReadingPreferences &preferences, const QStringList &dropped)
{
    QStringList recent = preferences.recentLibraries;
    for (const QString &folder : readPreferences(store).recentLibraries)
        if (!recent.contains(folder) && !dropped.contains(folder) && recent.size() < MaxRecentLibraries)
            recent.append(folder);
    store.writeInteger(ReadingSection, RestoreName, preferences.restorePages ? 1 : 0);
    store.writeInteger(ReadingSection, ZoomName, preferences.zoomPercent);
    writeStringList(store, LibrariesSection, recent);
}

void addRecentLibrary(QStringList &recent, const QString &folder)
{
    recent.removeAll(folder);
    recent.prepend(folder);
    while (recent.size() > MaxRecentLibraries)
        recent.removeLast();
}

QString mostRecentLibrary()
{
    try {
        if (!SettingsStore::exists(LibraryKeyPath))
            return {};
        const SettingsStore store(LibraryKeyPath);
        for (const QString &folder : readPreferences(store).recentLibraries)
            if (QFileInfo(folder).isDir())
                return folder;
    } catch (const std::exception &) {
        // An unreadable store names no library.
    }
    return {};
}

std::optional<LibrarySession> readLibrarySession(const SettingsStore &store, const QString &folder)
{
    const QString section = sessionSection(folder);
    if (store.readText(section, FolderName) != folder)
        return std::nullopt;
    LibrarySession session;
    const int count = std::clamp(store.readInteger(section, PagesName, 0), 0, MaxStoredListCount);
    for (int index = 0; index < count; ++index)
        session.pages.append({addressOfText(store.readText(section, pageValue(index, "Entry"))),
                              store.readText(section, pageValue(index, "File")),
                              pointOfText(store.readText(section, pageValue(index, "Scroll")))});
    session.front = store.readInteger(section, FrontName, 0);
    session.zoomPercent = storedZoom(store, section, session.zoomPercent);
    return session;
}

void writeLibrarySession(SettingsStore &store, const QString &folder, const LibrarySession &session)
{
    const QString section = sessionSection(folder);
    store.deleteSection(section);
    store.writeText(section, FolderName, folder);
    store.writeInteger(section, PagesName, int(session.pages.size()));
    for (int index = 0; index < session.pages.size(); ++index) {
        const SessionPage &page = session.pages.at(index);
        store.writeText(section, pageValue(index, "Entry"), addressText(page.entry));
        store.writeText(section, pageValue(index, "File"), page.page);
        store.writeText(section, pageValue(index, "Scroll"),
                        QStringLiteral("%1,%2").arg(page.scroll.x()).arg(page.scroll.y()));
    }
    store.writeInteger(section, FrontName, session.front);
    store.writeInteger(section, ZoomName, session.zoomPercent);
}

int zoomStep(int percent, int direction)
{
    if (direction > 0) {
        const auto next = std::upper_bound(ZoomLevels.begin(), ZoomLevels.end(), percent);
        return next == ZoomLevels.end() ? MaximumZoom : *next;
    }
    const auto next = std::lower_bound(ZoomLevels.begin(), ZoomLevels.end(), percent);
    return next == ZoomLevels.begin() ? MinimumZoom : *std::prev(next);
}
