#include "data/RowWindow.h"

#include <algorithm>

RowWindow::RowWindow(QAbstractItemModel* source, QObject* parent)
    : QAbstractTableModel(parent)
    , m_source(source)
{
    connect(m_source, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        emit windowAboutToChange();
        beginResetModel();
    });
    connect(m_source, &QAbstractItemModel::modelReset, this, [this] {
        m_top = std::clamp(m_top, 0, lastTop());
        m_rows = std::clamp(m_source->rowCount() - m_top, 0, m_capacity);
        endResetModel();
        emit windowChanged();
    });
    connect(m_source, &QAbstractItemModel::rowsAboutToBeInserted, this,
        [this](const QModelIndex&, int first, int last) { onSourceAboutToInsert(first, last); });
    connect(m_source, &QAbstractItemModel::rowsInserted, this, &RowWindow::onSourceInserted);
    connect(m_source, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex&, int first, int last) { onSourceAboutToRemove(first, last); });
    connect(m_source, &QAbstractItemModel::rowsRemoved, this, &RowWindow::onSourceRemoved);
    connect(m_source, &QAbstractItemModel::dataChanged, this, &RowWindow::onSourceDataChanged);
    connect(m_source, &QAbstractItemModel::headerDataChanged, this, &RowWindow::onSourceHeaderChanged);
    m_rows = std::clamp(m_source->rowCount(), 0, m_capacity);
}

int RowWindow::lastTop() const
{
    return std::max(0, m_source->rowCount() - m_page);
}

int RowWindow::windowRow(int tableRow) const
{
    const int row = tableRow - m_top;
    return tableRow >= 0 && row >= 0 && row < m_rows ? row : -1;
}

void RowWindow::setCapacity(int capacity, int page)
{
    capacity = std::max(1, capacity);
    page = std::clamp(page, 1, capacity);
    if (capacity == m_capacity && page == m_page)
        return;
    emit windowAboutToChange();
    m_capacity = capacity;
    m_page = page;
    fill();
    emit windowChanged();
}

void RowWindow::setTop(int row)
{
    row = std::clamp(row, 0, lastTop());
    if (row == m_top)
        return;
    emit windowAboutToChange();
    m_top = row;
    fill();
    const int columns = columnCount();
    if (m_rows > 0 && columns > 0) {
        emit dataChanged(index(0, 0), index(m_rows - 1, columns - 1));
        emit headerDataChanged(Qt::Vertical, 0, m_rows - 1);
    }
    emit windowChanged();
}

void RowWindow::fill()
{
    if (const int back = m_top - lastTop(); back > 0) {
        beginInsertRows({}, 0, back - 1);
        m_top -= back;
        m_rows += back;
        endInsertRows();
    }
    const int rows = std::clamp(m_source->rowCount() - m_top, 0, m_capacity);
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
}

void RowWindow::onSourceAboutToInsert(int first, int last)
{
    emit windowAboutToChange();
    const int count = last - first + 1;
    m_pendingRows = 0;
    m_pendingAbove = 0;
    if (first < m_top) {
        m_pendingAbove = count;
        return;
    }
    const int at = first - m_top;
    if (at > m_rows || at >= m_capacity)
        return; // below the window
    const int coming = std::min(count, m_capacity - at);
    // Rows pushed out at the bottom go first.
    if (const int out = m_rows + coming - m_capacity; out > 0) {
        beginRemoveRows({}, m_rows - out, m_rows - 1);
        m_rows -= out;
        endRemoveRows();
    }
    beginInsertRows({}, at, at + coming - 1);
    m_pendingRows = coming;
}

void RowWindow::onSourceInserted()
{
    m_top += m_pendingAbove;
    if (m_pendingRows > 0) {
        m_rows += m_pendingRows;
        endInsertRows();
    }
    m_pendingRows = m_pendingAbove = 0;
    fill();
    emit windowChanged();
}

void RowWindow::onSourceAboutToRemove(int first, int last)
{
    emit windowAboutToChange();
    m_pendingAbove = std::max(0, std::min(last, m_top - 1) - first + 1);
    const int from = std::max(first, m_top) - m_top;
    const int to = std::min(last, m_top + m_rows - 1) - m_top;
    m_pendingRows = 0;
    if (from <= to) {
        beginRemoveRows({}, from, to);
        m_pendingRows = to - from + 1;
    }
}

void RowWindow::onSourceRemoved()
{
    m_top -= m_pendingAbove;
    if (m_pendingRows > 0) {
        m_rows -= m_pendingRows;
        endRemoveRows();
    }
    m_pendingRows = m_pendingAbove = 0;
    fill();
    emit windowChanged();
}

QModelIndex RowWindow::toSource(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    return m_source->index(m_top + index.row(), index.column());
}

int RowWindow::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RowWindow::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_source->columnCount();
}

QVariant RowWindow::data(const QModelIndex& index, int role) const
{
    const QModelIndex source = toSource(index);
    return source.isValid() ? m_source->data(source, role) : QVariant();
}

bool RowWindow::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const QModelIndex source = toSource(index);
    return source.isValid() && m_source->setData(source, value, role);
}

QVariant RowWindow::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (section < 0 || section >= m_rows)
            return {};
        section += m_top;
    }
    return m_source->headerData(section, orientation, role);
}

Qt::ItemFlags RowWindow::flags(const QModelIndex& index) const
{
    const QModelIndex source = toSource(index);
    return source.isValid() ? m_source->flags(source) : Qt::NoItemFlags;
}

void RowWindow::onSourceDataChanged(const QModelIndex& from, const QModelIndex& to, const QList<int>& roles)
{
    const int first = std::max(from.row() - m_top, 0);
    const int last = std::min(to.row() - m_top, m_rows - 1);
    if (first <= last)
        emit dataChanged(index(first, from.column()), index(last, to.column()), roles);
}

void RowWindow::onSourceHeaderChanged(Qt::Orientation orientation, int first, int last)
{
    if (orientation == Qt::Horizontal) {
        emit headerDataChanged(orientation, first, last);
        return;
    }
    first = std::max(first - m_top, 0);
    last = std::min(last - m_top, m_rows - 1);
    if (first <= last)
        emit headerDataChanged(orientation, first, last);
}
