// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringView>

#include <memory>
#include <string>

struct UCollator;

// The Russian collation of the record order and of the author index: ICU's
// collator for the Russian locale with the attributes QCollator gives it.
//
// It is used directly rather than through QCollator because QCollator
// always normalises its input, and on a catalogue of 100,000 books that
// check alone is an eighth of the collation's cost. Text that cannot hold a
// combining mark (the code page's characters only) is in the form ICU
// compares correctly without it, so it is compared with normalisation off;
// any other text keeps it. QCollator also copies each text and allocates
// each sort key on its own.
class Collator
{
public:
    enum class Input {
        AnyText,           // may hold combining marks: normalised
        NoCombiningMarks,  // compared as it is
    };

    // Throws AppError when ICU has no collation for the locale.
    Collator(Qt::CaseSensitivity sensitivity, Input input);

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    int compare(QStringView a, QStringView b) const;

    // Appends the sort key of `text` to `keys`, with its terminating NUL:
    // keys compare with strcmp as their texts compare.
    void appendSortKey(QStringView text, std::string &keys) const;

private:
    struct Close
    {
        void operator()(UCollator *collator) const;
    };
    std::unique_ptr<UCollator, Close> m_collator;
};
