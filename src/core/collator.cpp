// SPDX-License-Identifier: GPL-3.0-or-later
#include "collator.h"

#include "error.h"

#include <unicode/ucol.h>

namespace {

const UChar *icuText(QStringView text)
{
    return reinterpret_cast<const UChar *>(text.utf16());
}

}  // namespace

void Collator::Close::operator()(UCollator *collator) const
{
    ucol_close(collator);
}

Collator::Collator(Qt::CaseSensitivity sensitivity, Input input)
{
    UErrorCode status = U_ZERO_ERROR;
    m_collator.reset(ucol_open("ru_RU", &status));
    const auto set = [&](UColAttribute attribute, UColAttributeValue value) {
        ucol_setAttribute(m_collator.get(), attribute, value, &status);
    };
    set(UCOL_NORMALIZATION_MODE, input == Input::AnyText ? UCOL_ON : UCOL_OFF);
    set(UCOL_STRENGTH, sensitivity == Qt::CaseSensitive ? UCOL_DEFAULT_STRENGTH : UCOL_SECONDARY);
    set(UCOL_NUMERIC_COLLATION, UCOL_OFF);
    set(UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE);
    if (U_FAILURE(status))
        throw AppError(
            QStringLiteral("The Russian collation is not available: %1").arg(QLatin1String(u_errorName(status))));
}

int Collator::compare(QStringView a, QStringView b) const
{
    return ucol_strcoll(m_collator.get(), icuText(a), int32_t(a.size()), icuText(b), int32_t(b.size()));
}

void Collator::appendSortKey(QStringView text, std::string &keys) const
{
    // A Cyrillic letter takes about three bytes of key; room for four and a
    // little more spares the second call for nearly every text.
    const size_t start = keys.size();
    auto room = int32_t(4 * text.size() + 16);
    for (;;) {
        keys.resize(start + size_t(room));
        const int32_t length = ucol_getSortKey(m_collator.get(), icuText(text), int32_t(text.size()),
                                               reinterpret_cast<uint8_t *>(keys.data() + start), room);
        if (length == 0) {  // ICU failed: an empty key, still terminated
            keys.resize(start + 1);
            keys[start] = '\0';
            return;
        }
        if (length <= room) {
            keys.resize(start + size_t(length));
            return;
        }
        room = length;
    }
}
