#include "CalibrationListModel.h"

#include "HistoryExport.h"

#include <QBrush>
#include <QColor>

CalibrationListModel::CalibrationListModel(QObject* parent) : QAbstractTableModel(parent) {}

void CalibrationListModel::setHistory(const CalibrationHistory* history,
                                      const QVector<QVector<HealthFlag>>* flags)
{
    beginResetModel();
    m_history = history;
    m_flags = flags;
    endResetModel();
}

int CalibrationListModel::blockIndex(int row) const
{
    return row >= 0 && row < rowCount() ? m_history->blocks.size() - 1 - row : -1;
}

int CalibrationListModel::rowOf(int blockIndex) const
{
    return blockIndex >= 0 && blockIndex < rowCount() ? rowCount() - 1 - blockIndex : -1;
}

int CalibrationListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_history ? 0 : m_history->blocks.size();
}

int CalibrationListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CalibrationListModel::data(const QModelIndex& index, int role) const
{
    const int block = blockIndex(index.row());
    if (block < 0)
        return QVariant();
    const CalibrationBlock& b = m_history->blocks.at(block);
    const QVector<HealthFlag> flags = m_flags ? m_flags->value(block) : QVector<HealthFlag>();
    if (role == Qt::ForegroundRole && !b.adopted)
        return QBrush(Qt::gray);
    if (role == Qt::BackgroundRole && index.column() == Flags && !flags.isEmpty())
        return QBrush(QColor(255, 224, 178));
    if (role == Qt::ToolTipRole && index.column() == Flags) {
        QStringList reasons;
        for (const HealthFlag& flag : flags)
            reasons << flag.shown;
        if (!b.adopted)
            reasons << tr("not adopted by the controller: %1").arg(b.refusal);
        return reasons.join(QLatin1Char('\n'));
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Number:
        return b.number;
    case Date:
        return b.displayDate();
    case Cameras:
        return b.cameras.size();
    case Wand:
        return HistoryExport::number(b.wandResidual);
    case Range:
        return HistoryExport::number(b.wandRange);
    case Worst:
        return HistoryExport::worstCamera(b);
    case Flags:
        return HistoryExport::flagWords(b, flags, QString(), HistoryExport::Words::Translated);
    }
    return QVariant();
}

QVariant CalibrationListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const QString titles[ColumnCount] = {
        tr("#"),          tr("Date"),         tr("Cameras"), tr("Wand residual"),
        tr("Wand range"), tr("Worst camera"), tr("Flags")};
    return section >= 0 && section < ColumnCount ? QVariant(titles[section]) : QVariant();
}
