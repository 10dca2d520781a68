// SPDX-License-Identifier: GPL-3.0-or-later
#include "indexingstatus.h"

#include "libraryindex.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QStyle>
#include <QToolButton>

namespace {

constexpr int ProgressBarWidth = 120;

// "книги" after a number that ends in 1 but not in 11, "книг" otherwise.
QString booksWord(int count)
{
    return count % 10 == 1 && count % 100 != 11 ? QStringLiteral("книги") : QStringLiteral("книг");
}

// "Индексирование: 1 234 из 20 000 книг", the numbers grouped as in Russian.
QString progressText(int done, int total)
{
    const QLocale russian(QLocale::Russian);
    return QStringLiteral("Индексирование: %1 из %2 %3")
        .arg(russian.toString(done), russian.toString(total), booksWord(total));
}

}  // namespace

IndexingStatus::IndexingStatus(LibraryIndex *index, QWidget *parent)
    : QWidget(parent),
      m_progressLabel(new QLabel),
      m_progressBar(new QProgressBar),
      m_stopButton(new QToolButton),
      m_noteLabel(new QLabel)
{
    m_progressBar->setFixedWidth(ProgressBarWidth);
    m_progressBar->setTextVisible(false);
    m_stopButton->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    m_stopButton->setAutoRaise(true);
    m_stopButton->setToolTip(QStringLiteral("Остановить индексирование"));
    m_stopButton->setStatusTip(m_stopButton->toolTip());
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_noteLabel);
    layout->addWidget(m_progressLabel);
    layout->addWidget(m_progressBar);
    layout->addWidget(m_stopButton);
    showProgressPart(false);
    showNote(index->note());

    connect(m_stopButton, &QToolButton::clicked, this, [this, index] {
        m_stopButton->setEnabled(false);
        index->requestStop();
    });
    connect(index, &LibraryIndex::progressed, this, &IndexingStatus::showProgress);
    connect(index, &LibraryIndex::updateEnded, this, [this] { showProgressPart(false); });
    connect(index, &LibraryIndex::noteChanged, this, &IndexingStatus::showNote);
}

void IndexingStatus::showProgress(int done, int total)
{
    m_progressLabel->setText(progressText(done, total));
    m_progressBar->setRange(0, total);
    m_progressBar->setValue(done);
    showProgressPart(true);
}

void IndexingStatus::showProgressPart(bool shown)
{
    m_progressLabel->setVisible(shown);
    m_progressBar->setVisible(shown);
    m_stopButton->setVisible(shown);
    if (!shown)
        m_stopButton->setEnabled(true);
}

void IndexingStatus::showNote(const QString &note)
{
    m_noteLabel->setText(note);
    m_noteLabel->setVisible(!note.isEmpty());
}
