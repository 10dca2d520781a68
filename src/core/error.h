#pragma once

#include <QString>
#include <stdexcept>

// The one error class of the viewer. It carries the message the user sees;
// every handler lets it escape to the top-level error handler.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }

    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};
