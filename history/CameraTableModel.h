#pragma once

#include "HealthRules.h"

#include <QAbstractTableModel>

// The cameras of one calibration: slot, serial, residual, used share, the change against the
// adopted calibration before it, and flags.
class CameraTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Slot, Serial, Residual, Used, Change, Flags, ColumnCount };

    explicit CameraTableModel(QObject* parent = nullptr);

    // blockIndex -1 shows nothing.
    void setBlock(const CalibrationHistory* history, const QVector<QVector<HealthFlag>>* flags,
                  int blockIndex);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString change(const CameraResult& camera) const;

    const CalibrationBlock* m_block = nullptr;
    const CalibrationBlock* m_previous = nullptr;
    QVector<HealthFlag> m_flags;
};
