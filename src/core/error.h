// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <exception>
#include <stdexcept>

// The one error class of the viewer. It carries the message the user sees;
// every handler lets it escape to the top-level error handler.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &message) : std::runtime_error(message.toStdString()), m_message(message) {}

    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

// The message for a failed allocation (std::bad_alloc), made before one fails.
inline const QString OutOfMemory = QStringLiteral("Out of memory.");

// The message as the top-level error handler shows it: a full stop is added
// when the message is not empty and its last character comes after "." in
// code order.
QString withFullStop(const QString &message);

// The message the user sees for an error caught as `error`: an AppError's
// own, OutOfMemory for a failed allocation, what() of another standard
// exception, "Unknown error" for anything else.
QString errorMessage(const std::exception_ptr &error);
