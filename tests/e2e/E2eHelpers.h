#pragma once

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTableWidget>
#include <QtTest>

namespace E2e {

// The item in the given column of the row whose column 0 reads key.
inline QTableWidgetItem* rowItem(QTableWidget* table, const QString& key, int column)
{
    for (int row = 0; table && row < table->rowCount(); ++row)
        if (table->item(row, 0) && table->item(row, 0)->text() == key)
            return table->item(row, column);
    return nullptr;
}

// Ticks the Select boxes of the transfer dialog the way the operator does: the box changes and
// the cell is clicked, which is what updates the Apply button.
inline void selectTargets(QWidget* transferDialog, const QStringList& ids)
{
    auto* table = transferDialog->findChild<QTableWidget*>(QStringLiteral("tableWidget_configs"));
    for (const QString& id : ids) {
        QTableWidgetItem* select = rowItem(table, id, 4);
        if (!select)
            continue;
        select->setCheckState(Qt::Checked);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          table->visualItemRect(select).center());
    }
}

// The controller's state file, or an empty object when it is missing or does not parse.
inline QJsonObject readState(const QString& path, bool* parses = nullptr)
{
    QFile file(path);
    QJsonParseError error{};
    const QJsonDocument doc = file.open(QIODevice::ReadOnly)
                                  ? QJsonDocument::fromJson(file.readAll(), &error)
                                  : QJsonDocument();
    if (parses)
        *parses = file.isOpen() && error.error == QJsonParseError::NoError && doc.isObject();
    return doc.object();
}

inline QJsonObject configuration(const QJsonObject& state, const QString& id)
{
    for (const QJsonValue& v : state.value(QStringLiteral("configurations")).toArray())
        if (v.toObject().value(QStringLiteral("id")).toString() == id)
            return v.toObject();
    return {};
}

} // namespace E2e
