// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/fulltextindex.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class Library;
class QThread;

// The full-text index of the open library, brought up to date in the
// background: opening a library opens its index in the user's cache and
// runs the index's update on a worker thread, while searches go on with
// what is indexed so far. The update stops at a flag that is looked at
// between books and pages; what it committed stays.
class LibraryIndex : public QObject
{
    Q_OBJECT

public:
    explicit LibraryIndex(QObject *parent = nullptr);
    // Stops the update and waits for it.
    ~LibraryIndex() override;

    // Closes the index open before, opens the index of `library` and starts
    // its update. An index that cannot be opened leaves none, with a note
    // saying why.
    void open(const Library &library);
    // Stops the update and closes the index: no index is open.
    void close();
    // Asks the update to stop and returns at once; it ends soon after.
    void requestStop() { m_stop = true; }
    // Asks the update to stop and waits until it has ended.
    void stop();

    // The open index, or null when it could not be opened.
    const FullTextIndex *index() const { return m_index.get(); }
    bool updating() const { return m_worker != nullptr; }
    // What the user should know about the index: that a damaged one was set
    // aside, or why there is none or its update failed; empty otherwise.
    const QString &note() const { return m_note; }

signals:
    // Books committed so far, and the books to index in all.
    void progressed(int done, int total);
    // The update has ended, run through, stopped or failed.
    void updateEnded();
    void noteChanged(const QString &note);
    // Another index, or none, has taken the place of the one open before.
    void indexChanged();

private:
    void startUpdate(const Library &library, const QString &file);
    // Takes the ended worker's outcome, once it has ended.
    void finishUpdate();
    void setNote(const QString &note);

    // What the worker leaves for the window's thread.
    struct Outcome
    {
        QString error;
    };

    std::unique_ptr<FullTextIndex> m_index;
    std::unique_ptr<QThread> m_worker;
    std::shared_ptr<Outcome> m_outcome;
    std::atomic_bool m_stop = false;
    // Counts the updates started, so that the progress of a stopped one,
    // still on its way, is not taken for that of the next.
    int m_generation = 0;
    QString m_note;
};
