// SPDX-License-Identifier: GPL-3.0-or-later
#include "error.h"

QString withFullStop(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QString errorMessage(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const AppError &e) {
        return e.message();
    } catch (const std::bad_alloc &) {
        return OutOfMemory;
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
