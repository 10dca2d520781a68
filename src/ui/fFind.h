// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class TFormStorage;

// The find dialog: the text to look for, typed or picked from the search
// history, the drop-down list of cmbMask with the most recent text first.
// "Искать" closes it with Accepted, enabled only while the trimmed text is
// longer than 3 characters; "Отмена" and Escape close it with Rejected. The
// history is read from the settings store when the dialog is shown and
// written back on every close; a close with Accepted first puts the text at
// the head of the history, while the box keeps the text as typed.
class TfrmFind : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmFind(QWidget *parent = nullptr);
    ~TfrmFind() override;

    static constexpr QSize DesignedClientSize{362, 127};
    static constexpr int MaxTextLength = 255;

    QLabel *Label1 = nullptr;
    QComboBox *cmbMask = nullptr;
    QWidget *Panel1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    TFormStorage *fsFind = nullptr;

    // Every close, whichever way, comes through here.
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the key pressed last in the box does to its text.
    enum class KeyEdit { None, Types, Deletes };

    void createControls();
    void FormCreate();
    void FormCloseQuery(int result);
    void cmbMaskChange();
    void cmbMaskTextEdited(const QString &text);
    QString historyEntryStartingWith(const QString &text) const;

    // The text as the user last typed or picked it, without an offered completion.
    QString m_typedText;
    KeyEdit m_keyEdit = KeyEdit::None;
    // The texts put at the head of the history by this dialog.
    QStringList m_addedTexts;
};
