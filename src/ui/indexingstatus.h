// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class LibraryIndex;
class QLabel;
class QProgressBar;
class QToolButton;

// The status bar's part for the full-text index: while the index is being
// updated, "Индексирование: 1 234 из 20 000 книг" with a progress bar and a
// button that stops it; and the index's note, if it has one.
class IndexingStatus : public QWidget
{
    Q_OBJECT

public:
    explicit IndexingStatus(LibraryIndex *index, QWidget *parent = nullptr);

private:
    void showProgress(int done, int total);
    void showProgressPart(bool shown);
    void showNote(const QString &note);

    QLabel *m_progressLabel;
    QProgressBar *m_progressBar;
    QToolButton *m_stopButton;
    QLabel *m_noteLabel;
};
