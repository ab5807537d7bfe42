#pragma once

#include "HealthRules.h"

#include <QAbstractTableModel>

// The calibrations of the record, newest first, with their health flags.
class CalibrationListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Number, Date, Cameras, Wand, Range, Worst, Flags, ColumnCount };

    explicit CalibrationListModel(QObject* parent = nullptr);

    void setHistory(const CalibrationHistory* history, const QVector<QVector<HealthFlag>>* flags);
    // Index into the history's blocks of a row, -1 for none.
    int blockIndex(int row) const;
    int rowOf(int blockIndex) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const CalibrationHistory* m_history = nullptr;
    const QVector<QVector<HealthFlag>>* m_flags = nullptr;
};
