// SPDX-License-Identifier: GPL-3.0-or-later
#include "fFind.h"

#include "formstorage.h"
#include "platform.h"

#include "core/search.h"
#include "core/searchhistory.h"
#include "core/settings.h"
#include "core/text.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int PanelHeight = 41;

}  // namespace

TfrmFind::TfrmFind(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Поиск"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(DesignedClientSize);
    createControls();
    // The texts this dialog adds join the history as stored when it closes,
    // which another instance may have changed since it was read.
    StringListProperty history = comboBoxItems(cmbMask);
    history.merge = [this](QStringList stored) {
        for (const QString &text : std::as_const(m_addedTexts))
            AddToHistory(text, stored);
        return stored;
    };
    fsFind = new TFormStorage(this, QStringLiteral("search"), {}, {{QStringLiteral("cmbMask.Items"), history}});
    connect(cmbMask, &QComboBox::editTextChanged, this, [this] { runHandler([this] { cmbMaskChange(); }); });
    connect(cmbMask->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString &text) { runHandler([&] { cmbMaskTextEdited(text); }); });
    connect(cmbMask, &QComboBox::textActivated, this, [this](const QString &text) { m_typedText = text; });
    cmbMask->installEventFilter(this);
    runHandler([this] { FormCreate(); });
    cmbMask->setFocus();
}

TfrmFind::~TfrmFind()
{
    fsFind->windowDestroying();
}

void TfrmFind::createControls()
{
    Label1 = new QLabel(QStringLiteral("Что искать?"), this);
    Label1->move(8, 8);
    Label1->adjustSize();

    cmbMask = new QComboBox(this);
    cmbMask->setGeometry(8, 24, 345, 21);
    cmbMask->setEditable(true);
    cmbMask->lineEdit()->setMaxLength(MaxTextLength);
    // The list is the history alone: confirming a text adds nothing to it.
    cmbMask->setInsertPolicy(QComboBox::NoInsert);
    // The dialog completes typed text itself (cmbMaskTextEdited). With a
    // case-insensitive completer of its own, the box would swap the user's
    // text for a list entry differing in letter case whenever editing ends.
    cmbMask->setCompleter(nullptr);

    Panel1 = new QWidget(this);
    Panel1->setGeometry(0, DesignedClientSize.height() - PanelHeight, DesignedClientSize.width(), PanelHeight);
    BitBtn1 = new QPushButton(QStringLiteral("Искать"), Panel1);
    BitBtn1->setGeometry(152, 8, 97, 25);
    BitBtn1->setDefault(true);
    BitBtn1->setEnabled(false);
    BitBtn2 = new QPushButton(QStringLiteral("Отмена"), Panel1);
    BitBtn2->setGeometry(256, 8, 97, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(cmbMask, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
}

void TfrmFind::FormCreate()
{
    fsFind->setIniFileName(LibraryKeyPath);
}

// Reads the box rather than the signal's text: a completion made while the
// box reports an edit is followed by the report of the text before it.
void TfrmFind::cmbMaskChange()
{
    BitBtn1->setEnabled(trimText(cmbMask->currentText()).size() >= ShortestSearchText);
}

// Notes whether a key typed or deleted, as the text alone cannot tell:
// typing over a selection may leave the text shorter than before.
bool TfrmFind::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cmbMask && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool deletes = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete
                             || key->matches(QKeySequence::Cut) || key->matches(QKeySequence::DeleteEndOfWord)
                             || key->matches(QKeySequence::DeleteStartOfWord);
        m_keyEdit = deletes ? KeyEdit::Deletes : (key->text().isEmpty() ? KeyEdit::None : KeyEdit::Types);
    }
    return QDialog::eventFilter(watched, event);
}

// Inline completion: when the user has typed at the end of the text, the
// first history entry that begins with it, ignoring letter case, supplies the
// rest, which stays selected so that further typing replaces it. Deleting
// never completes, so Backspace removes an offered rest. An edit made
// without a typing key (pasting, say) completes when it lengthened the text.
void TfrmFind::cmbMaskTextEdited(const QString &text)
{
    const bool typed = m_keyEdit == KeyEdit::Types || (m_keyEdit == KeyEdit::None && text.size() > m_typedText.size());
    m_keyEdit = KeyEdit::None;
    m_typedText = text;
    QLineEdit *edit = cmbMask->lineEdit();
    if (!typed || edit->cursorPosition() != text.size())
        return;
    const QString entry = historyEntryStartingWith(text);
    if (entry.size() <= text.size())
        return;
    edit->setText(text + entry.mid(text.size()));
    edit->setSelection(int(text.size()), int(edit->text().size() - text.size()));
}

QString TfrmFind::historyEntryStartingWith(const QString &text) const
{
    for (int i = 0; i < cmbMask->count(); ++i)
        if (cmbMask->itemText(i).startsWith(text, Qt::CaseInsensitive))
            return cmbMask->itemText(i);
    return {};
}

void TfrmFind::done(int result)
{
    runHandler([&] { FormCloseQuery(result); });
    QDialog::done(result);
}

// On OK the text goes to the head of the history. The box keeps the text as
// the user left it, not the stored form of a moved entry: setting the items
// leaves the box's text alone.
void TfrmFind::FormCloseQuery(int result)
{
    if (result != QDialog::Accepted)
        return;
    const StringListProperty items = comboBoxItems(cmbMask);
    QStringList history = items.get();
    AddToHistory(cmbMask->currentText(), history);
    m_addedTexts.append(cmbMask->currentText());
    items.set(history);
}
