// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include "error.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <array>
#include <limits>

namespace {

const QString CountName = QStringLiteral("Count");
const QString FlagsName = QStringLiteral("Flags");
const QString ShowCmdName = QStringLiteral("ShowCmd");
const QString PixelsPerInchName = QStringLiteral("PixelsPerInch");
const QString MinMaxPosName = QStringLiteral("MinMaxPos");
const QString NormPosName = QStringLiteral("NormPos");

QString itemName(int index)
{
    return QStringLiteral("Item%1").arg(index);
}

// The names of a key path "\Software\<organisation>\<application>".
struct StoreName
{
    QString organisation;
    QString application;
};

// The file named after the message of a failure, when the store is a file.
QString inFile(const QString &file)
{
    return file.isEmpty() ? QString() : QStringLiteral(" in ") + QDir::toNativeSeparators(file);
}

[[noreturn]] void failToCreateKey(const QString &keyPath, const QString &file = {})
{
    throw AppError(QStringLiteral("Failed to create key %1").arg(keyPath) + inFile(file));
}

StoreName storeName(const QString &keyPath)
{
    const QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() != 3 || parts.at(0).compare(QLatin1String("Software"), Qt::CaseInsensitive) != 0)
        failToCreateKey(keyPath);
    return {parts.at(1), parts.at(2)};
}

// Where the native store is a file of its own, an empty one stands for a
// key without values. The registry (Windows) and the property lists (Apple)
// create their keys with the first value written.
bool storeIsPlainFile()
{
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return false;
#else
    return true;
#endif
}

// The store's file, found as QSettings finds it, so that it can be checked
// before QSettings reads it; empty where the store is no file.
QString storeFile(const StoreName &name)
{
    if (!storeIsPlainFile())
        return {};
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/')
           + name.organisation + QLatin1Char('/') + name.application + QStringLiteral(".conf");
}

// The lock file QSettings takes while it writes the store file.
QString writeLockFile(const QString &file)
{
    return file + QStringLiteral(".lock");
}

QString updateLockFile(const StoreName &name, const QString &file)
{
    if (file.isEmpty())
        return QDir::temp().filePath(name.organisation + QLatin1Char('-') + name.application
                                     + QStringLiteral(".update.lock"));
    return file + QStringLiteral(".update.lock");
}

// A FIFO, a device or a socket in place of a file the store reads would
// block it or feed it without end.
bool absentOrRegular(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

// How long an update waits for another instance's update to end.
constexpr int UpdateLockWaitMs = 5000;

void createStoreWhenMissing(const QString &file, const QString &keyPath)
{
    if (file.isEmpty() || QFileInfo::exists(file))
        return;
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile newFile(file);
    // NewOnly: a store another instance has just written is never truncated.
    if (!newFile.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !QFileInfo::exists(file))
        failToCreateKey(keyPath, file);
}

// The words of a stored position, split at commas and blanks; a missing or
// non-numeric word takes the fallback.
std::array<int, 4> positionWords(const QString &text, const std::array<int, 4> &fallback)
{
    static const QRegularExpression separators(QStringLiteral("[, ]+"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    std::array<int, 4> result = fallback;
    for (qsizetype i = 0; i < qMin(words.size(), qsizetype(result.size())); ++i)
        result[size_t(i)] = decimalInteger(words.at(i)).value_or(fallback[size_t(i)]);
    return result;
}

QString joinedPosition(int first, int second, int third, int fourth)
{
    return QStringLiteral("%1,%2,%3,%4").arg(first).arg(second).arg(third).arg(fourth);
}

// The text stored for the current screen size, or else the plain one.
QString readSizedText(const SettingsStore &store, const QString &section, const QString &name,
                      const ScreenMetrics &screen)
{
    const QString sized = store.readText(section, name + screenSizeSuffix(screen.size));
    return sized.isEmpty() ? store.readText(section, name) : sized;
}

// The rectangle from left, top, right and bottom, when it is not empty.
std::optional<QRect> nonEmptyRect(const std::array<int, 4> &edges)
{
    const qint64 width = qint64(edges[2]) - edges[0];
    const qint64 height = qint64(edges[3]) - edges[1];
    if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max()
        || height > std::numeric_limits<int>::max())
        return std::nullopt;
    return QRect(edges[0], edges[1], int(width), int(height));
}

// How many entries a stored list holds, by the rule of readStringList.
int storedListLength(const SettingsStore &store, const QString &section, int count)
{
    if (count <= MaxStoredListCount)
        return count;
    for (int last = MaxStoredListCount - 1; last >= 0; --last)
        if (store.valueExists(section, itemName(last)))
            return last + 1;
    return 0;
}

}  // namespace

SettingsStore::SettingsStore(const QString &keyPath, Access access)
{
    const StoreName name = storeName(keyPath);
    m_file = storeFile(name);
    // A directory in its place is let through: the write then fails as any
    // write to an unwritable store does.
    const QFileInfo file(m_file);
    if (file.exists() && !file.isFile() && !file.isDir())
        failToCreateKey(keyPath, m_file);
    if (access == Access::Update) {
        const QString lockFile = updateLockFile(name, m_file);
        QDir().mkpath(QFileInfo(lockFile).absolutePath());
        m_updateLock = std::make_unique<QLockFile>(lockFile);
        if (!absentOrRegular(lockFile) || !m_updateLock->tryLock(UpdateLockWaitMs))
            m_unheldLock = lockFile;
    }
    m_settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, name.organisation, name.application);
    createStoreWhenMissing(m_file, keyPath);
}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::exists(const QString &keyPath)
{
    const QString file = storeFile(storeName(keyPath));
    return file.isEmpty() || QFileInfo(file).isFile();
}

QString SettingsStore::valuePath(const QString &section, const QString &name) const
{
    return section.isEmpty() ? name : section + QLatin1Char('/') + name;
}

// A damaged file (FormatError) is read as far as it parses; only a store
// that cannot be read at all fails.
void SettingsStore::checkReadable(const QString &name) const
{
    if (m_settings->status() == QSettings::AccessError)
        throw AppError(QStringLiteral("Failed to get data for '%1'").arg(name) + inFile(m_file));
}

bool SettingsStore::valueExists(const QString &section, const QString &name) const
{
    checkReadable(name);
    return m_settings->contains(valuePath(section, name));
}

QString SettingsStore::readText(const QString &section, const QString &name, const QString &defaultText) const
{
    if (!valueExists(section, name))
        return defaultText;
    const QVariant value = m_settings->value(valuePath(section, name));
    if (value.typeId() != QMetaType::QString)
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return value.toString();
}

int SettingsStore::readInteger(const QString &section, const QString &name, int defaultValue) const
{
    return decimalInteger(readText(section, name)).value_or(defaultValue);
}

// A write that could never be committed is refused before QSettings holds
// it: QSettings writes what it holds when it goes, and would then wait for
// ever on a lock file that is no regular file.
void SettingsStore::noteChange(const QString &name)
{
    if (!m_firstChangeName.isEmpty())
        return;
    m_firstChangeName = name;
    if (!m_unheldLock.isEmpty())
        failToSet(m_unheldLock);
    if (!m_file.isEmpty() && !absentOrRegular(writeLockFile(m_file)))
        failToSet(writeLockFile(m_file));
}

void SettingsStore::failToSet(const QString &file) const
{
    throw AppError(QStringLiteral("Failed to set data for '%1'").arg(m_firstChangeName) + inFile(file));
}

void SettingsStore::writeText(const QString &section, const QString &name, const QString &text)
{
    noteChange(name);
    m_settings->setValue(valuePath(section, name), text);
}

void SettingsStore::writeInteger(const QString &section, const QString &name, int value)
{
    writeText(section, name, QString::number(value));
}

void SettingsStore::deleteSection(const QString &section)
{
    noteChange(section);
    m_settings->remove(section);
}

void SettingsStore::commit()
{
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        failToSet(m_file);
    m_firstChangeName.clear();
}

void writeStringList(SettingsStore &store, const QString &section, const QStringList &items)
{
    store.deleteSection(section);
    if (items.isEmpty())
        return;
    store.writeInteger(section, CountName, int(items.size()));
    for (int i = 0; i < items.size(); ++i)
        store.writeText(section, itemName(i), items.at(i));
}

std::optional<QStringList> readStringList(const SettingsStore &store, const QString &section)
{
    const int count = decimalInteger(trimText(store.readText(section, CountName, QStringLiteral("0")))).value_or(0);
    const int length = storedListLength(store, section, count);
    if (length <= 0)
        return std::nullopt;
    QStringList items;
    items.reserve(length);
    for (int i = 0; i < length; ++i)
        items.append(store.readText(section, itemName(i)));
    return items;
}

int showCmdOf(ShowState state)
{
    switch (state) {
    case ShowState::Minimised: return 2;
    case ShowState::Maximised: return 3;
    case ShowState::Normal: break;
    }
    return 1;
}

ShowState showStateOf(int showCmd)
{
    switch (showCmd) {
    case 2:
    case 6:
    case 7: return ShowState::Minimised;
    case 3: return ShowState::Maximised;
    default: return ShowState::Normal;
    }
}

QString screenSizeSuffix(const QSize &size)
{
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

void writePlacement(SettingsStore &store, const QString &section, const WindowPlacement &placement,
                    const ScreenMetrics &screen)
{
    const QString suffix = screenSizeSuffix(screen.size);
    const QString minMaxPos = joinedPosition(placement.minimisedPosition.x(), placement.minimisedPosition.y(),
                                             placement.maximisedPosition.x(), placement.maximisedPosition.y());
    const QRect &normal = placement.normalRect;
    const QString normPos =
        joinedPosition(normal.x(), normal.y(), normal.x() + normal.width(), normal.y() + normal.height());
    store.writeInteger(section, FlagsName, placement.flags);
    store.writeInteger(section, ShowCmdName, showCmdOf(placement.state));
    store.writeInteger(section, PixelsPerInchName, screen.pixelsPerInch);
    store.writeText(section, MinMaxPosName + suffix, minMaxPos);
    store.writeText(section, MinMaxPosName, minMaxPos);
    store.writeText(section, NormPosName + suffix, normPos);
    store.writeText(section, NormPosName, normPos);
}

std::optional<QRect> readNormalRect(const SettingsStore &store, const QString &section, const ScreenMetrics &screen,
                                    const QRect &currentRect)
{
    // The minimised and maximised positions count only as a text found.
    const QString minMaxPos = readSizedText(store, section, MinMaxPosName, screen);
    const QString normPos = readSizedText(store, section, NormPosName, screen);
    const std::array<int, 4> edges =
        positionWords(normPos, {currentRect.x(), currentRect.y(), currentRect.x() + currentRect.width(),
                                currentRect.y() + currentRect.height()});
    const bool textFound = !minMaxPos.isEmpty() || !normPos.isEmpty();
    const bool samePixelsPerInch =
        store.readInteger(section, PixelsPerInchName, screen.pixelsPerInch) == screen.pixelsPerInch;
    if (!textFound || !samePixelsPerInch)
        return std::nullopt;
    return nonEmptyRect(edges);
}

ShowState readShowState(const SettingsStore &store, const QString &section)
{
    return showStateOf(store.readInteger(section, ShowCmdName, 0));
}
