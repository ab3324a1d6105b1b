// The table model behind the data grid: a window onto the table's rows,
// reading each value only when the view paints it, so a million records cost
// nothing up front. Qt Core only, so it is tested without any widget.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>

#include "data/DataSource.h"

#include <exception>
#include <functional>
#include <vector>

class DataSource;
class Table;

class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The vertical header asks for this role to paint the record indicator.
    enum Role { IndicatorRole = Qt::UserRole + 1 };
    enum Indicator { NoIndicator, BrowseIndicator, EditIndicator };

    explicit GridModel(QObject* parent = nullptr);

    DataSource* dataSource() const { return m_source; }
    void setDataSource(DataSource* source);
    Table* table() const;

    // Errors the table raises while the view stores an edited value reach
    // the user through this; the view itself must never see an exception.
    std::function<void(std::exception_ptr)> onError;

    // Whether the last value the view tried to store was refused.
    bool lastWriteRefused() const { return m_lastWriteRefused; }
    // A new editor opens: the value refused last may be tried (and told) again.
    void forgetRefusal();

    // Texts longer than this are cut for display (never in the data), and
    // only this much of a value is read to display it; the editor gets the
    // whole value.
    static constexpr int DisplayLimit = 2000;
    // The most characters a cell's editor holds: a longer value is never
    // put into one (it would come back cut).
    static constexpr int EditLimit = 32767;
    // Whether a cell's value is longer than its editor holds; reads no more
    // of it than that.
    bool tooLongToEdit(const QModelIndex& index) const;

    // The field shown in a column.
    int fieldOf(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The table's current record moved to this row.
    void currentRowChanged(int row);

private:
    void reload();
    void onRecordChanged(int row);
    void onRecordRemoved(int row);
    void onRecordsAppended(int first, int last);
    void onScrolled(int row);
    void onStateChanged();

    QPointer<DataSource> m_source;
    std::vector<int> m_fields; // the visible fields, in field order
    int m_rows = 0;
    int m_indicatorRow = -1;
    bool m_lastWriteRefused = false;
    // The last value refused, so the same value is not refused (and told)
    // again each time the record is asked for what is being typed.
    QPersistentModelIndex m_refusedIndex;
    QString m_refusedText;
};
