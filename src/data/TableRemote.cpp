// Other programs' changes to the records of an open table, heard from a
// shared server, put into the rows in memory.
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/RowSelection.h"
#include "data/Store.h"
#include "data/Table.h"
#include "data/TableRows.h"

#include <QTimer>

#include <unordered_map>
#include <unordered_set>

struct Table::Remote {
    std::vector<RemoteChanges> waiting;
    bool retryScheduled = false;
    // The rows by key, for the rows up to `covered`.
    std::unordered_map<qint64, int> rowOfKey;
    int covered = 0;

    int find(const RowSet& rows, qint64 key)
    {
        for (; covered < rows.rowCount(); ++covered) {
            if (rows.keyProblem(covered) == RowSet::KeyProblem::None || !rowOfKey.count(rows.key(covered)))
                rowOfKey[rows.key(covered)] = covered;
        }
        const auto found = rowOfKey.find(key);
        if (found == rowOfKey.end() || rows.isDeleted(found->second))
            return -1;
        return found->second;
    }
};

namespace {

// Milliseconds between tries while the changes wait for the user to finish
// a record or for the rows to be read in.
constexpr int kRetryMs = 100;

bool sameText(const RowSet& rows, int row, int column, const TextValue& value)
{
    if (!value)
        return rows.isNull(row, column);
    return !rows.isNull(row, column) && rows.text(row, column) == *value;
}

} // namespace

void Table::applyRemoteChanges(RemoteChanges changes)
{
    if (!active())
        return;
    if (!m_remote)
        m_remote = std::make_shared<Remote>();
    m_remote->waiting.push_back(std::move(changes));
    applyWaitingRemoteChanges();
}

void Table::applyWaitingRemoteChanges()
{
    if (!active() || !m_remote || m_remote->waiting.empty())
        return;
    if (!selectable() || m_state != State::Browse || controlsDisabled() || m_writing) {
        // The record being typed is left alone (a change to it is refused
        // when it is posted), and the rows are not changed under it nor
        // under a write waiting for the server.
        if (!m_remote->retryScheduled) {
            m_remote->retryScheduled = true;
            std::weak_ptr<Remote> remote = m_remote;
            QTimer::singleShot(kRetryMs, m_data.get(), [this, remote] {
                if (remote.expired())
                    return;
                m_remote->retryScheduled = false;
                applyWaitingRemoteChanges();
            });
        }
        return;
    }
    std::vector<RemoteChanges> batches;
    batches.swap(m_remote->waiting);
    const RowSet& rows = m_data->rows();
    const int columns = rows.columnCount();

    // Everything read anew: the records that differ, are new or are gone.
    std::vector<RemoteRecord> records;
    for (RemoteChanges& batch : batches) {
        if (!batch.all) {
            for (RemoteRecord& record : batch.records)
                records.push_back(std::move(record));
            continue;
        }
        const RowSet& all = *batch.all;
        std::unordered_set<qint64> present;
        for (int r = 0; r < all.rowCount(); ++r) {
            present.insert(all.key(r));
            const int row = m_remote->find(rows, all.key(r));
            bool same = row >= 0;
            for (int c = 0; same && c < columns; ++c)
                same = all.isNull(r, c) == rows.isNull(row, c) && all.utf8(r, c) == rows.utf8(row, c);
            if (same)
                continue;
            RemoteRecord record { all.key(r), false, {} };
            for (int c = 0; c < columns; ++c)
                record.values.push_back(all.value(r, c));
            records.push_back(std::move(record));
        }
        for (int row = 0; row < rows.rowCount(); ++row) {
            if (!rows.isDeleted(row) && rows.keyProblem(row) == RowSet::KeyProblem::None
                && !present.count(rows.key(row)))
                records.push_back({ rows.key(row), true, {} });
        }
    }

    bool changed = false;
    for (const RemoteRecord& record : records) {
        const int row = m_remote->find(rows, record.key);
        if (record.deleted) {
            if (row >= 0) {
                m_data->markDeleted(row);
                changed = true;
            }
            continue;
        }
        TableRows::Values values;
        for (int c = 0; c < columns && c < int(record.values.size()); ++c) {
            if (row < 0 || !sameText(rows, row, c, record.values[std::size_t(c)]))
                values.emplace_back(c + 1, record.values[std::size_t(c)]);
        }
        if (row < 0) {
            m_data->appendRow(record.key, m_data->stage(values, true));
            changed = true;
        } else if (!values.empty()) {
            m_data->apply(row, m_data->stage(values, false));
            changed = true;
        }
    }
    if (!changed)
        return;

    // The filter and sort chosen anew; the current record kept where it
    // still shows, else the place it had. A changed field's order is built
    // again in the background: until it is there the rows shown stay (with
    // their new values), and the window never waits for it.
    const int current = rowIndex(m_row);
    Selection selection = Selection::parse(m_filtered ? m_filter : QString(), m_indexFieldNames, m_fields);
    if (!m_data->ordersReady(selection.fields())) {
        keepSelection(m_filter, m_filtered, m_indexFieldNames, std::move(selection));
        m_keepCurrent = true;
        notifyRecord(-1);
        applyPendingSelection();
        return;
    }
    RowView view = m_data->selection().view(selection);
    if (view == m_view) {
        notifyRecord(-1);
        return;
    }
    showKeeping(std::move(view), current, m_row);
}
