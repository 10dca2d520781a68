// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings store of the test's temporary home, seen directly.

#include <QDir>
#include <QFile>
#include <QSettings>
#include <memory>

using ValueMap = QMap<QString, QVariant>;

inline const QString StoreKeyPath = QStringLiteral("\\Software\\Brimvel\\Library");

inline std::unique_ptr<QSettings> rawStore()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brimvel"),
                                       QStringLiteral("Library"));
}

inline QString storePath()
{
    return rawStore()->fileName();
}

inline void removeStore()
{
    QFile::remove(storePath());
    QDir(storePath()).removeRecursively();
}

// Values under "section/name" paths, of any type, so a test can plant what
// the program would never write.
inline void plant(const ValueMap &values)
{
    const auto store = rawStore();
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        store->setValue(it.key(), it.value());
}

inline QVariant storedValue(const QString &path)
{
    return rawStore()->value(path);
}
