#include "CameraTableModel.h"

#include "HistoryExport.h"

#include <QBrush>
#include <QColor>

CameraTableModel::CameraTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void CameraTableModel::setBlock(const CalibrationHistory* history,
                                const QVector<QVector<HealthFlag>>* flags, int blockIndex)
{
    beginResetModel();
    const bool valid = history && blockIndex >= 0 && blockIndex < history->blocks.size();
    m_block = valid ? &history->blocks.at(blockIndex) : nullptr;
    const int previous = valid ? HealthRules::previousAdopted(*history, blockIndex) : -1;
    m_previous = previous >= 0 ? &history->blocks.at(previous) : nullptr;
    m_flags = valid && flags ? flags->value(blockIndex) : QVector<HealthFlag>();
    endResetModel();
}

int CameraTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_block ? 0 : m_block->cameras.size();
}

int CameraTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString CameraTableModel::change(const CameraResult& camera) const
{
    if (!m_previous)
        return QString();
    for (const CameraResult& before : m_previous->cameras) {
        if (before.serial != camera.serial)
            continue;
        QString text;
        if (before.slot != camera.slot)
            text = tr("from c%1 ").arg(before.slot, 2, 10, QLatin1Char('0'));
        if (camera.hasValues() && before.hasValues())
            text += QStringLiteral("%1%2")
                        .arg(camera.residual >= before.residual ? QStringLiteral("+") : QString())
                        .arg(camera.residual - before.residual, 0, 'f', 3);
        return text.trimmed();
    }
    return tr("new");
}

QVariant CameraTableModel::data(const QModelIndex& index, int role) const
{
    if (!m_block || index.row() < 0 || index.row() >= rowCount())
        return QVariant();
    const CameraResult& camera = m_block->cameras.at(index.row());
    const QString flags = HistoryExport::flagWords(*m_block, m_flags, camera.serial,
                                                   HistoryExport::Words::Translated);
    if (role == Qt::BackgroundRole && !flags.isEmpty())
        return QBrush(QColor(255, 224, 178));
    if (role == Qt::ToolTipRole) {
        QStringList reasons;
        for (const HealthFlag& flag : m_flags)
            if (flag.serial == camera.serial)
                reasons << flag.shown;
        return reasons.join(QLatin1Char('\n'));
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Slot:
        return QStringLiteral("c%1").arg(camera.slot, 2, 10, QLatin1Char('0'));
    case Serial:
        return camera.serial;
    case Residual:
        return camera.hasValues() ? HistoryExport::number(camera.residual) : camera.residualText;
    case Used:
        return camera.hasValues() ? QStringLiteral("%1 %").arg(camera.used * 100, 0, 'f', 1)
                                  : QString();
    case Change:
        return change(camera);
    case Flags:
        return flags;
    }
    return QVariant();
}

QVariant CameraTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const QString titles[ColumnCount] = {tr("Slot"), tr("Serial"), tr("Residual"),
                                         tr("Used"), tr("Change"), tr("Flags")};
    return section >= 0 && section < ColumnCount ? QVariant(titles[section]) : QVariant();
}
