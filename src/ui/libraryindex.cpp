// SPDX-License-Identifier: GPL-3.0-or-later
#include "libraryindex.h"

#include "platform.h"

#include "core/error.h"
#include "core/library.h"

#include <QThread>

namespace {

QString updateFailure(const QString &message)
{
    return QStringLiteral("Индексирование прервано: %1").arg(message);
}

}  // namespace

LibraryIndex::LibraryIndex(QObject *parent) : QObject(parent) {}

LibraryIndex::~LibraryIndex()
{
    stop();
}

void LibraryIndex::close()
{
    stop();
    m_index.reset();
    setNote({});
    emit indexChanged();
}

void LibraryIndex::open(const Library &library)
{
    close();
    const QString file = FullTextIndex::fileFor(library.AppDir());
    try {
        m_index = std::make_unique<FullTextIndex>(file);
    } catch (...) {
        setNote(QStringLiteral("Поиск по тексту недоступен: %1").arg(errorMessage(std::current_exception())));
        return;
    }
    emit indexChanged();
    if (m_index->wasSetAside())
        setNote(QStringLiteral("Повреждённый указатель поиска по тексту отложен, создан новый"));
    try {
        startUpdate(library, file);
    } catch (...) {
        setNote(updateFailure(errorMessage(std::current_exception())));
    }
}

void LibraryIndex::startUpdate(const Library &library, const QString &file)
{
    auto update = std::make_shared<IndexUpdate>(library, file);
    auto outcome = std::make_shared<Outcome>();
    const int generation = ++m_generation;
    m_stop = false;
    auto progress = [this, generation](int done, int total) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, done, total] {
                if (generation == m_generation && updating())
                    emit progressed(done, total);
            },
            Qt::QueuedConnection);
    };
    m_worker.reset(QThread::create([this, update, outcome, progress] {
        // The pool the update starts inherits the lower priority, so the
        // window and its pages keep the processor they need.
        lowerThreadPriority();
        try {
            update->run(m_stop, progress);
        } catch (...) {
            outcome->error = errorMessage(std::current_exception());
        }
    }));
    m_outcome = outcome;
    connect(m_worker.get(), &QThread::finished, this, &LibraryIndex::finishUpdate);
    m_worker->start();
}

void LibraryIndex::stop()
{
    if (!m_worker)
        return;
    m_stop = true;
    m_worker->wait();
    finishUpdate();
}

void LibraryIndex::finishUpdate()
{
    // A stopped worker is finished at once, so the signal of its end may
    // come after another has started.
    if (!m_worker || !m_worker->isFinished())
        return;
    m_worker.reset();
    if (!m_outcome->error.isEmpty())
        setNote(updateFailure(m_outcome->error));
    emit updateEnded();
}

void LibraryIndex::setNote(const QString &note)
{
    if (note == m_note)
        return;
    m_note = note;
    emit noteChanged(m_note);
}
