// SPDX-License-Identifier: GPL-3.0-or-later
#include "formstorage.h"

#include "platform.h"

#include "core/error.h"
#include "core/placement.h"
#include "core/settings.h"
#include "core/text.h"

#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QWidget>
#include <optional>

namespace {

const QString FormVersionName = QStringLiteral("FormVersion");
const QString VisibleName = QStringLiteral("Visible");

// The value name of a stored property "Component.Property": the two names,
// blanks around them ignored, joined by an underscore. Nothing for a name
// that lacks either part.
std::optional<QString> storedValueName(const QString &entry)
{
    const qsizetype dot = entry.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    const QString component = trimText(entry.left(dot));
    const QString property = trimText(entry.mid(dot + 1));
    if (component.isEmpty() || property.isEmpty())
        return std::nullopt;
    return component + QLatin1Char('_') + property;
}

bool isBound(const std::variant<IntegerProperty, StringListProperty> &access)
{
    return std::visit([](const auto &property) { return property.get && property.set; }, access);
}

ScreenMetrics currentScreenMetrics()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->size(), qRound(screen->logicalDotsPerInch())};
}

ShowState showStateOfWindow(Qt::WindowStates states)
{
    if (states.testFlag(Qt::WindowMinimized))
        return ShowState::Minimised;
    if (states.testFlag(Qt::WindowMaximized))
        return ShowState::Maximised;
    return ShowState::Normal;
}

// Gives `pane` of `splitter` the size `wanted`, taken from the pane after
// it; true when the two panes had room for it.
bool applyPaneSize(QSplitter *splitter, int pane, int wanted)
{
    QList<int> sizes = splitter->sizes();
    const int next = pane + 1;
    if (pane < 0 || next >= sizes.size())
        return true;
    const int shared = sizes.at(pane) + sizes.at(next);
    sizes[pane] = qBound(0, wanted, shared);
    sizes[next] = shared - sizes.at(pane);
    splitter->setSizes(sizes);
    return wanted <= shared;
}

// A pane size the splitter has no room for yet: a window restored
// maximised is laid out at its normal size first and gets its maximised
// size only once shown. The size is applied again at each resize of the
// splitter until it fits, or until the user moves the handle.
class PendingPaneSize : public QObject
{
public:
    static constexpr const char *Name = "PendingPaneSize";

    PendingPaneSize(QSplitter *splitter, int pane, int wanted)
        : QObject(splitter),
          m_splitter(splitter),
          m_pane(pane),
          m_wanted(wanted)
    {
        setObjectName(Name);
        splitter->installEventFilter(this);
        connect(splitter, &QSplitter::splitterMoved, this, &QObject::deleteLater);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_splitter && event->type() == QEvent::Resize) {
            // The splitter lays its panes out for the new size first.
            QTimer::singleShot(0, this, [this] {
                if (applyPaneSize(m_splitter, m_pane, m_wanted))
                    deleteLater();
            });
        }
        return false;
    }

private:
    QSplitter *m_splitter;
    int m_pane;
    int m_wanted;
};

}  // namespace

StringListProperty comboBoxItems(QComboBox *box)
{
    auto boxItems = [box] {
        QStringList result;
        for (int i = 0; i < box->count(); ++i)
            result.append(box->itemText(i));
        return result;
    };
    auto setItems = [box](const QStringList &items) {
        const QString text = box->currentText();
        box->clear();
        box->addItems(items);
        box->setCurrentIndex(-1);
        box->setEditText(text);
    };
    return {boxItems, setItems, {}};
}

IntegerProperty splitterPaneSize(QSplitter *splitter, int pane)
{
    auto size = [splitter, pane] { return splitter->sizes().value(pane); };
    auto setSize = [splitter, pane](int newSize) {
        delete splitter->findChild<QObject *>(QLatin1String(PendingPaneSize::Name), Qt::FindDirectChildrenOnly);
        if (!applyPaneSize(splitter, pane, newSize))
            new PendingPaneSize(splitter, pane, newSize);
    };
    return {size, setSize};
}

TFormStorage::TFormStorage(QWidget *window, const QString &section, TPlacementOptions options,
                           const QList<TStoredProperty> &storedProps)
    : QObject(window),
      m_window(window),
      m_section(section),
      m_options(options)
{
    for (const TStoredProperty &property : storedProps) {
        const std::optional<QString> valueName = storedValueName(property.name);
        if (valueName && isBound(property.access))
            m_storedProps.append({*valueName, property.access});
    }
    window->installEventFilter(this);
    if (auto *dialog = qobject_cast<QDialog *>(window)) {
        // A dialog closes through done(), whichever way the user closes it;
        // finished follows each close exactly once.
        m_isDialog = true;
        connect(dialog, &QDialog::finished, this, [this] { saveReportingOnce(); });
    }
}

bool TFormStorage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Show && !m_shown) {
            m_shown = true;
            runHandler([this] { restore(); });
        } else if (event->type() == QEvent::Close && !m_isDialog) {
            closeWindow(event);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// The window's own close handler decides first; the storage saves only when
// it lets the window close. The event has then been delivered.
void TFormStorage::closeWindow(QEvent *event)
{
    static_cast<QObject *>(m_window)->event(event);
    if (event->isAccepted())
        saveReportingOnce();
}

void TFormStorage::windowDestroying()
{
    m_window->removeEventFilter(this);
    disconnect(m_window, nullptr, this, nullptr);
    if (!m_restored || m_saved)
        return;
    m_destroying = true;
    saveReportingOnce();
    m_destroying = false;
}

bool TFormStorage::isMainWindow() const
{
    return m_window->parentWidget() == nullptr;
}

WindowPlacement TFormStorage::currentPlacement() const
{
    const Qt::WindowStates states = m_window->windowState();
    WindowPlacement placement;
    placement.state = showStateOfWindow(states);
    if (states.testFlag(Qt::WindowMinimized) && states.testFlag(Qt::WindowMaximized))
        placement.flags = RestoreToMaximisedFlag;
    placement.normalRect = m_window->normalGeometry();
    if (placement.normalRect.isEmpty())
        placement.normalRect = m_window->geometry();
    return placement;
}

QString TFormStorage::listSection(const BoundProperty &property) const
{
    return m_section + QLatin1Char('.') + property.valueName;
}

// An error before the stored properties leaves the storage not restored, so
// the window saves nothing over the values it could not read.
void TFormStorage::restore()
{
    m_saved = false;
    const SettingsStore store(m_iniFileName);
    const bool current = store.readInteger(m_section, FormVersionName, 0) >= Version;
    if (current) {
        if (m_options.testFlag(fpPosition))
            restorePosition(store);
        if (m_options.testFlag(fpState))
            restoreState(store);
        restoreStoredProps(store);
    }
    m_restored = true;
    if (current && onRestorePlacement)
        onRestorePlacement();
}

void TFormStorage::restorePosition(const SettingsStore &store)
{
    if (const std::optional<QRect> rect =
            readNormalRect(store, m_section, currentScreenMetrics(), currentPlacement().normalRect))
        m_window->setGeometry(*rect);
}

// A main window stored minimised opens normal, and minimises once start-up
// has finished.
void TFormStorage::restoreState(const SettingsStore &store)
{
    const ShowState state = readShowState(store, m_section);
    const bool minimiseLater = state == ShowState::Minimised && isMainWindow();
    Qt::WindowStates states = m_window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == ShowState::Maximised)
        states |= Qt::WindowMaximized;
    else if (state == ShowState::Minimised && !minimiseLater)
        states |= Qt::WindowMinimized;
    m_window->setWindowState(states);
    if (minimiseLater)
        QMetaObject::invokeMethod(m_window, &QWidget::showMinimized, Qt::QueuedConnection);
    m_window->update();
}

void TFormStorage::restoreStoredProps(const SettingsStore &store)
{
    try {
        for (const BoundProperty &property : std::as_const(m_storedProps))
            restoreProperty(store, property);
    } catch (const std::exception &) {
        // A stored property that cannot be read ends this step unreported.
    }
}

void TFormStorage::restoreProperty(const SettingsStore &store, const BoundProperty &property)
{
    if (const auto *integer = std::get_if<IntegerProperty>(&property.access)) {
        const QString text = store.readText(m_section, property.valueName, QString::number(integer->get()));
        integer->set(decimalInteger(trimText(text)).value_or(0));
    } else if (const auto *list = std::get_if<StringListProperty>(&property.access)) {
        if (const std::optional<QStringList> items = readStringList(store, listSection(property)))
            list->set(*items);
    }
}

void TFormStorage::saveReportingOnce()
{
    try {
        save();
        m_lastSaveError.clear();
    } catch (const AppError &error) {
        if (error.message() != m_lastSaveError)
            showError(error.message());
        m_lastSaveError = error.message();
    } catch (...) {
        showError(std::current_exception());
    }
}

void TFormStorage::save()
{
    if (!m_restored)
        return;
    SettingsStore store(m_iniFileName, SettingsStore::Access::Update);
    store.writeInteger(m_section, FormVersionName, Version);
    if (m_options) {
        writePlacement(store, m_section, currentPlacement(), currentScreenMetrics());
        store.writeText(m_section, VisibleName, m_destroying ? QStringLiteral("1") : QStringLiteral("0"));
    }
    saveStoredProps(store);
    store.commit();
    m_saved = true;
}

void TFormStorage::saveStoredProps(SettingsStore &store)
{
    for (const BoundProperty &property : std::as_const(m_storedProps))
        saveProperty(store, property);
}

void TFormStorage::saveProperty(SettingsStore &store, const BoundProperty &property)
{
    if (const auto *integer = std::get_if<IntegerProperty>(&property.access))
        store.writeInteger(m_section, property.valueName, integer->get());
    else if (const auto *list = std::get_if<StringListProperty>(&property.access))
        writeStringList(store, listSection(property),
                        list->merge ? list->merge(storedList(store, property)) : list->get());
}

// A stored list that cannot be read is merged as an empty one: the save
// then replaces it.
QStringList TFormStorage::storedList(const SettingsStore &store, const BoundProperty &property) const
{
    try {
        return readStringList(store, listSection(property)).value_or(QStringList());
    } catch (const AppError &) {
        return {};
    }
}

void FitFormToWorkArea(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect workArea = screen->availableGeometry();
    if (workArea.isEmpty())
        workArea = QRect(QPoint(0, 0), screen->size());
    window->move(positionInWorkArea(window->frameGeometry(), workArea));
}
