// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

struct sqlite3;
struct sqlite3_stmt;

// A failed SQLite call: its message and the database's result code.
class SqliteError : public AppError
{
public:
    SqliteError(const QString &message, int code) : AppError(message), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

// One connection to an SQLite database file; every call that fails throws
// SqliteError.
class SqliteDatabase
{
public:
    explicit SqliteDatabase(const QString &file);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    sqlite3 *handle() const { return m_db; }
    void execute(const char *sql);
    // Throws SqliteError with the database's message when `code` is an error.
    void check(int code) const;

private:
    sqlite3 *m_db = nullptr;
};

// A prepared statement, reset before each use.
class SqliteStatement
{
public:
    SqliteStatement(const SqliteDatabase &db, const char *sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    SqliteStatement &reset();
    SqliteStatement &bind(int index, QStringView text);
    SqliteStatement &bind(int index, const QByteArray &blob);
    SqliteStatement &bindText(int index, QByteArrayView utf8);
    SqliteStatement &bind(int index, qint64 value);
    // Steps once: true while it yields a row.
    bool step();
    // Steps to the end.
    void run();

    qint64 integer(int column) const;
    QString text(int column) const;

private:
    const SqliteDatabase &m_db;
    sqlite3_stmt *m_statement = nullptr;
};
