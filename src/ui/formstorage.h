// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFlags>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <variant>

class QComboBox;
class QSplitter;
class QWidget;
class SettingsStore;
struct WindowPlacement;

// What a storage keeps of its window's placement.
enum TPlacementOption { fpState = 0x1, fpPosition = 0x2 };
Q_DECLARE_FLAGS(TPlacementOptions, TPlacementOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TPlacementOptions)

// How a storage reaches a stored property of one of the window's components.
struct IntegerProperty
{
    std::function<int()> get;
    std::function<void(int)> set;
};
struct StringListProperty
{
    std::function<QStringList()> get;
    std::function<void(const QStringList &)> set;
    // When given, a save writes the list this makes of the one stored at
    // that moment, so that what another instance saved meanwhile is kept.
    std::function<QStringList(QStringList stored)> merge;
};

// A stored property: its name, the component's name and the property's name
// joined by a dot ("LibBooks.Width"), and the way to reach it. The value
// name in the store joins the two names with an underscore ("LibBooks_Width");
// a string list gets a section of its own, the storage's section, a dot and
// the value name ("search.cmbMask_Items").
struct TStoredProperty
{
    QString name;
    std::variant<IntegerProperty, StringListProperty> access;
};

// The item list of a combo box as a stored property. Setting it leaves the
// box's own text as it was.
StringListProperty comboBoxItems(QComboBox *box);

// The size of one pane of a splitter (its width in a horizontal one) as a
// stored property. Setting it moves the handle after the pane and keeps the
// splitter's total; the panes' minimum sizes still hold.
IntegerProperty splitterPaneSize(QSplitter *splitter, int pane);

// The settings storage of a window: it restores the window's placement and
// stored properties from its section of the settings store when the window
// is first shown, before it becomes visible, and saves them whenever the
// window closes: for a dialog when it finishes (OK, Cancel, Escape or its
// close box), for any other window when its own close handler lets it close.
// Errors are shown by the top-level error handler, except those met while
// restoring the stored properties, which only end that step, and a failed
// save that fails again with the same message, which is shown once.
//
// The window's destructor calls windowDestroying() as its first step; a
// window restored and not saved since then saves once more, with "Visible"
// written as "1".
class TFormStorage : public QObject
{
    Q_OBJECT

public:
    // The version of the stored layout; a stored "FormVersion" below it
    // means nothing is restored.
    static constexpr int Version = 0;

    TFormStorage(QWidget *window, const QString &section, TPlacementOptions options,
                 const QList<TStoredProperty> &storedProps = {});

    // The key path of the store, "\Software\Brimvel\Library"; the window's
    // creation handler sets it.
    const QString &iniFileName() const { return m_iniFileName; }
    void setIniFileName(const QString &keyPath) { m_iniFileName = keyPath; }
    const QString &iniSection() const { return m_section; }
    TPlacementOptions options() const { return m_options; }

    bool restored() const { return m_restored; }
    bool saved() const { return m_saved; }
    bool destroying() const { return m_destroying; }

    // Runs at the end of a restore that read the stored values.
    std::function<void()> onRestorePlacement;

    void windowDestroying();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct BoundProperty
    {
        QString valueName;
        std::variant<IntegerProperty, StringListProperty> access;
    };

    void restore();
    void restorePosition(const SettingsStore &store);
    void restoreState(const SettingsStore &store);
    void restoreStoredProps(const SettingsStore &store);
    void restoreProperty(const SettingsStore &store, const BoundProperty &property);
    void save();
    void saveReportingOnce();
    void saveStoredProps(SettingsStore &store);
    void saveProperty(SettingsStore &store, const BoundProperty &property);
    QStringList storedList(const SettingsStore &store, const BoundProperty &property) const;
    void closeWindow(QEvent *event);
    bool isMainWindow() const;
    WindowPlacement currentPlacement() const;
    QString listSection(const BoundProperty &property) const;

    QWidget *m_window;
    QString m_iniFileName;
    QString m_section;
    TPlacementOptions m_options;
    QList<BoundProperty> m_storedProps;
    bool m_isDialog = false;
    bool m_shown = false;
    bool m_restored = false;
    bool m_saved = false;
    bool m_destroying = false;
    QString m_lastSaveError;
};

// Moves a window that is not wholly inside the desktop work area of the
// primary screen into it, keeping its size (see positionInWorkArea).
void FitFormToWorkArea(QWidget *window);
