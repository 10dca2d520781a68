// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqlitedb.h"

#include <sqlite3.h>

SqliteDatabase::SqliteDatabase(const QString &file)
{
    const int code = sqlite3_open_v2(file.toUtf8().constData(), &m_db,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) {
        const QString message =
            m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(code));
        sqlite3_close(m_db);
        throw SqliteError(message, code);
    }
    sqlite3_extended_result_codes(m_db, 0);
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close_v2(m_db);
}

void SqliteDatabase::execute(const char *sql)
{
    check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

void SqliteDatabase::check(int code) const
{
    if (code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE)
        throw SqliteError(QString::fromUtf8(sqlite3_errmsg(m_db)), code);
}

SqliteStatement::SqliteStatement(const SqliteDatabase &db, const char *sql) : m_db(db)
{
    m_db.check(sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr));
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

SqliteStatement &SqliteStatement::reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    m_db.check(sqlite3_bind_text64(m_statement, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT,
                                   SQLITE_UTF8));
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, const QByteArray &blob)
{
    m_db.check(
        sqlite3_bind_blob64(m_statement, index, blob.constData(), sqlite3_uint64(blob.size()), SQLITE_TRANSIENT));
    return *this;
}

SqliteStatement &SqliteStatement::bindText(int index, QByteArrayView utf8)
{
    m_db.check(
        sqlite3_bind_text64(m_statement, index, utf8.data(), sqlite3_uint64(utf8.size()), SQLITE_STATIC, SQLITE_UTF8));
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, qint64 value)
{
    m_db.check(sqlite3_bind_int64(m_statement, index, value));
    return *this;
}

bool SqliteStatement::step()
{
    const int code = sqlite3_step(m_statement);
    m_db.check(code);
    return code == SQLITE_ROW;
}

void SqliteStatement::run()
{
    while (step()) {
    }
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString SqliteStatement::text(int column) const
{
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(utf8, sqlite3_column_bytes(m_statement, column));
}
