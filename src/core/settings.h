// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QLockFile;
class QSettings;

// The key path of the viewer's own values in the store.
inline const QString LibraryKeyPath = QStringLiteral("\\Software\\Brimvel\\Library");

// The per-user settings store: one key holding named sections, each with
// named text values; numbers are kept as decimal text. It stands on QSettings
// in the native format: the registry below HKEY_CURRENT_USER on Windows, the
// file $XDG_CONFIG_HOME/<organisation>/<application>.conf elsewhere.
//
// Changes are collected until commit(), which writes the whole store at once
// through a temporary file renamed over the old one, so a failed or broken-off
// save never leaves half a store behind. A damaged store file is read as far
// as it can be parsed and replaced by the next commit.
class SettingsStore
{
public:
    // Read: the store as it is. Update: the store held, through a lock file
    // of its own beside it, for a change that depends on what it holds now,
    // from opening until the store is closed.
    enum class Access { Read, Update };

    // Opens the store at a key path "\Software\<organisation>\<application>"
    // (the leading backslash is optional), creating it when missing. Throws
    // "Failed to create key %s" when the path names no such key or the key
    // cannot be created, which includes a store file that is neither a
    // regular file nor a directory: it is left as it is, never read.
    //
    // Messages about a store file end with " in " and the file's path.
    explicit SettingsStore(const QString &keyPath, Access access = Access::Read);
    ~SettingsStore();
    // Whether the store at `keyPath` exists, so that a reader that must not
    // create it can look first; true where the store is no file of its own.
    static bool exists(const QString &keyPath);
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // The reads throw "Failed to get data for '%s'" when the store cannot be
    // read, and "Invalid data type for '%s'" for a value that is not a text.
    bool valueExists(const QString &section, const QString &name) const;
    QString readText(const QString &section, const QString &name, const QString &defaultText = {}) const;
    // A missing value, and text that is not a decimal integer, give defaultValue.
    int readInteger(const QString &section, const QString &name, int defaultValue) const;

    void writeText(const QString &section, const QString &name, const QString &text);
    void writeInteger(const QString &section, const QString &name, int value);
    // Deletes a section with every value and section below it.
    void deleteSection(const QString &section);

    // Writes the changes made since opening. Throws "Failed to set data for
    // '%s'", naming the first value changed, when the store cannot be
    // written; so does a store held for update that could not be held, and
    // a lock file of the store that is not a regular file, which would keep
    // the write waiting for ever. The message names the file at fault.
    void commit();

private:
    QString valuePath(const QString &section, const QString &name) const;
    void checkReadable(const QString &name) const;
    void noteChange(const QString &name);
    [[noreturn]] void failToSet(const QString &file) const;

    QString m_file;  // the store's file; empty where the store is no file
    std::unique_ptr<QLockFile> m_updateLock;
    QString m_unheldLock;  // the update lock that could not be held
    std::unique_ptr<QSettings> m_settings;
    QString m_firstChangeName;
};

// A string list kept as a section of its own: "Count", then the entries as
// "Item0", "Item1", ... in list order.
//
// Writing deletes the section first, and writes nothing more for an empty list.
void writeStringList(SettingsStore &store, const QString &section, const QStringList &items);
// Reading gives nothing when the trimmed "Count" is not above 0 (missing and
// non-numeric counts are 0); otherwise the entries, a missing one as an empty
// text. A count above MaxStoredListCount cannot come from a save and is taken
// as damaged: then only the entries up to the last one present among the
// first MaxStoredListCount names are read.
constexpr int MaxStoredListCount = 1000;
std::optional<QStringList> readStringList(const SettingsStore &store, const QString &section);

// Window placement as the store keeps it.

// The show states of the "ShowCmd" value.
enum class ShowState { Normal, Minimised, Maximised };
int showCmdOf(ShowState state);
// 1, 5 and 9 are normal, 2, 6 and 7 minimised, 3 maximised; anything else normal.
ShowState showStateOf(int showCmd);

// The placement flag of a window that returns to maximised when it leaves
// the minimised state.
constexpr int RestoreToMaximisedFlag = 2;

// A window's placement record: the flags, the show state, the minimised and
// maximised positions (-1 where the window system cannot tell them) and the
// normal rectangle, the one the window has when neither minimised nor
// maximised.
struct WindowPlacement
{
    int flags = 0;
    ShowState state = ShowState::Normal;
    QPoint minimisedPosition{-1, -1};
    QPoint maximisedPosition{-1, -1};
    QRect normalRect;
};

// The screen at the time of a save or a restore.
struct ScreenMetrics
{
    QSize size;
    int pixelsPerInch = 0;
};

// The suffix "(<width>x<height>)" that keeps one set of positions per screen size.
QString screenSizeSuffix(const QSize &size);

// Writes, in this order, "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos"
// with the screen-size suffix and without it, and "NormPos" likewise. The
// positions are written "%d,%d,%d,%d"; the normal rectangle as left, top,
// right and bottom, right and bottom lying just outside it.
void writePlacement(SettingsStore &store, const QString &section, const WindowPlacement &placement,
                    const ScreenMetrics &screen);

// The stored normal rectangle, when a restore may apply it: a position text
// was found for the current screen size or the plain one, the stored pixels
// per inch match the screen's, and the rectangle is not empty. Missing or
// non-numeric words of "NormPos" fall back to the current rectangle. The
// stored flags and the minimised and maximised positions are not applied:
// they matter only to a window system that lets a program place minimised
// and maximised windows.
std::optional<QRect> readNormalRect(const SettingsStore &store, const QString &section, const ScreenMetrics &screen,
                                    const QRect &currentRect);

// The stored "ShowCmd"; missing or unknown values are normal.
ShowState readShowState(const SettingsStore &store, const QString &section);
