// SPDX-License-Identifier: GPL-3.0-or-later
#include "entryaddress.h"

#include <QJsonArray>
#include <QJsonDocument>

QString addressText(const EntryAddress &address)
{
    QJsonArray steps;
    for (const EntryAddress::Step &step : address.steps)
        steps.append(QJsonArray{step.row, step.text});
    return QString::fromUtf8(QJsonDocument(steps).toJson(QJsonDocument::Compact));
}

EntryAddress addressOfText(const QString &text)
{
    const QJsonArray steps = QJsonDocument::fromJson(text.toUtf8()).array();
    EntryAddress address;
    for (const QJsonValue value : steps) {
        const QJsonArray pair = value.toArray();
        if (pair.size() != 2 || !pair.at(0).isDouble() || !pair.at(1).isString())
            return {};
        address.steps.append({pair.at(0).toInt(-1), pair.at(1).toString()});
    }
    return address;
}
