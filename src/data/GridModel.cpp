#include "data/GridModel.h"

#include "data/DataSource.h"
#include "data/Table.h"

GridModel::GridModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void GridModel::setDataSource(DataSource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source) {
        connect(m_source, &DataSource::dataSetChanged, this, &GridModel::reload);
        connect(m_source, &DataSource::recordChanged, this, &GridModel::onRecordChanged);
        connect(m_source, &DataSource::recordRemoved, this, &GridModel::onRecordRemoved);
        connect(m_source, &DataSource::recordsAppended, this, &GridModel::onRecordsAppended);
        connect(m_source, &DataSource::scrolled, this, &GridModel::onScrolled);
        connect(m_source, &DataSource::stateChanged, this, &GridModel::onStateChanged);
    }
    reload();
}

Table* GridModel::table() const
{
    return m_source ? m_source->dataSet() : nullptr;
}

int GridModel::fieldOf(int column) const
{
    return column >= 0 && column < int(m_fields.size()) ? m_fields[std::size_t(column)] : -1;
}

void GridModel::reload()
{
    beginResetModel();
    m_fields.clear();
    m_rows = 0;
    m_indicatorRow = -1;
    if (Table* t = table()) {
        for (std::size_t i = 0; i < t->fields().size(); ++i) {
            if (t->fields()[i].visible)
                m_fields.push_back(int(i));
        }
        if (t->active()) {
            m_rows = t->recordCount();
            m_indicatorRow = t->currentRow();
        }
    }
    endResetModel();
    emit currentRowChanged(m_indicatorRow);
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const Table* t = table();
    if (!t)
        return {};
    // A cell shows at most DisplayLimit characters, and no more of the value is read.
    if (role == Qt::DisplayRole)
        return t->displayText(index.row(), fieldOf(index.column()), DisplayLimit);
    return t->valueAt(index.row(), fieldOf(index.column())).value_or(QString());
}

bool GridModel::tooLongToEdit(const QModelIndex& index) const
{
    const Table* t = table();
    return t && index.isValid()
        && t->displayText(index.row(), fieldOf(index.column()), EditLimit + 1).size() > EditLimit;
}

void GridModel::forgetRefusal()
{
    m_refusedIndex = QPersistentModelIndex();
    m_refusedText.clear();
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Table* t = table();
    m_lastWriteRefused = false;
    if (!t || !index.isValid() || role != Qt::EditRole)
        return false;
    const QString text = value.toString();
    if (index == m_refusedIndex && text == m_refusedText) {
        m_lastWriteRefused = true; // told once already
        return false;
    }
    forgetRefusal();
    try {
        const int field = fieldOf(index.column());
        // Nothing new typed (the record holds this text already, pending
        // or stored): the record is left alone.
        if (t->holdsAt(index.row(), field, text) || (text.isEmpty() && t->holdsAt(index.row(), field, std::nullopt)))
            return false;
        if (t->currentRow() != index.row())
            t->moveTo(index.row());
        if (t->state() == Table::State::Browse)
            t->edit();
        t->setValue(field, text);
        return true;
    } catch (...) {
        m_lastWriteRefused = true;
        m_refusedIndex = index;
        m_refusedText = text;
        if (onError)
            onError(std::current_exception());
        return false;
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        const Table* t = table();
        const int field = fieldOf(section);
        if (role == Qt::DisplayRole && t && field >= 0)
            return t->fields()[std::size_t(field)].name;
        return {};
    }
    if (role != IndicatorRole)
        return {};
    const Table* t = table();
    if (!t || section != t->currentRow())
        return int(NoIndicator);
    return int(t->state() == Table::State::Edit ? EditIndicator : BrowseIndicator);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void GridModel::onRecordChanged(int row)
{
    if (row == -1 && m_rows > 0) {
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, 0, m_rows - 1);
        return;
    }
    if (row < 0 || row >= m_rows)
        return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    emit headerDataChanged(Qt::Vertical, row, row);
}

void GridModel::onRecordsAppended(int first, int last)
{
    if (last < first)
        return;
    if (first != m_rows) {
        reload(); // out of step: show the table as it stands
        return;
    }
    beginInsertRows({}, first, last);
    m_rows = last + 1;
    endInsertRows();
    if (m_indicatorRow < 0) {
        if (const Table* t = table())
            onScrolled(t->currentRow());
    }
}

void GridModel::onRecordRemoved(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    beginRemoveRows({}, row, row);
    --m_rows;
    endRemoveRows();
}

void GridModel::onScrolled(int row)
{
    const int old = m_indicatorRow;
    m_indicatorRow = row;
    if (old >= 0 && old < m_rows)
        emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < m_rows)
        emit headerDataChanged(Qt::Vertical, row, row);
    emit currentRowChanged(row);
}

void GridModel::onStateChanged()
{
    if (m_indicatorRow >= 0 && m_indicatorRow < m_rows)
        emit headerDataChanged(Qt::Vertical, m_indicatorRow, m_indicatorRow);
}
