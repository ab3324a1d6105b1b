#include "data/Table.h"

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DataSource.h"
#include "data/Filter.h"
#include "data/Store.h"
#include "data/TableRows.h"
#include "data/WaitCheck.h"

#include <QMetaObject>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

const QString& closedDataSetMessage()
{
    static const QString message = QStringLiteral("Cannot perform this operation on a closed dataset");
    return message;
}

// Rows read at once when the table opens: a small table whole, a big one a
// few screens' worth; the rest follows in the background.
constexpr int kFirstRows = 20000;
// Rows handed to the view in one turn of the window's event loop while the
// rows come in: the grid's bookkeeping grows with the rows it is given at
// once, and a half of a big table arrives in one piece.
int s_viewSliceRows = 1 << 16;

// Two values are the same when both are no value, or both texts are equal
// (a null QString and an empty one are the same text).
bool sameValue(const TextValue& a, const TextValue& b)
{
    if (!a || !b)
        return !a && !b;
    return *a == *b;
}

} // namespace

Table::Table() = default;

Table::~Table()
{
    if (active() && m_connection && m_connection->connected())
        m_connection->store().watch({});
    for (DataSource* source : m_sources)
        source->m_dataSet = nullptr;
}

void Table::setConnection(Connection* connection)
{
    m_connection = connection;
}

void Table::setTableName(const QString& name)
{
    if (active())
        throw DataError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_tableName = name;
}

void Table::setFields(std::vector<FieldDef> fields)
{
    if (active())
        throw DataError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_fields = std::move(fields);
}

int Table::fieldIndex(const QString& name) const
{
    return indexOfField(m_fields, name);
}

int Table::fieldByName(const QString& name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw DataError(fieldNotFoundMessage(name));
    return index;
}

// Opening and closing ------------------------------------------------------

void Table::open()
{
    if (active())
        return;
    if (!m_connection)
        throw DataError(QStringLiteral("Missing Connection or ConnectionString"));
    if (m_fields.empty() || m_fields.front().type != FieldType::AutoInc)
        throw DataError(QStringLiteral("У таблицы «%1» не задано ключевое поле.").arg(m_tableName));
    // A filter or sort stored while closed must make sense before anything is read.
    Selection selection = Selection::parse(m_filtered ? m_filter : QString(), m_indexFieldNames, m_fields);

    QStringList names;
    for (const FieldDef& field : m_fields)
        names << field.name;
    m_connection->open();
    auto data = std::make_unique<TableRows>(m_fields);
    // Connected before the reading thread starts: it may signal at once.
    TableRows* rows = data.get();
    QObject::connect(rows, &TableRows::rowsArrived, rows, [this](int count) { onRowsArrived(count); });
    // Queued even when waitUntilLoaded() ends the reading: whatever was
    // under way then finishes before the filter and sort take over.
    QObject::connect(
        rows, &TableRows::finished, rows, [this] { onRowsFinished(); }, Qt::QueuedConnection);
    QObject::connect(
        rows, &TableRows::failed, rows, [this](const QString& message) { onLoadFailed(message); },
        Qt::QueuedConnection);
    QObject::connect(rows, &TableRows::orderBuilt, rows, [this] { applyPendingSelection(); });
    QObject::connect(rows, &TableRows::scanned, rows, [this] { applyPendingSelection(); });
    try {
        data->load(m_connection->store(), m_tableName, names, kFirstRows);
    } catch (const std::bad_alloc&) {
        throw DataError(QStringLiteral("Не хватает памяти, чтобы прочитать таблицу «%1» из файла «%2».")
                            .arg(m_tableName, m_connection->store().path()));
    }
    m_data = std::move(data);

    m_buffer.assign(m_fields.size(), std::nullopt);
    m_changed.assign(m_fields.size(), false);
    m_refused = false;
    m_state = State::Browse;
    m_view.clear();
    m_rowsIn = m_rowsShown = 0;
    m_showQueued = m_finishQueued = false;
    m_selection = std::move(selection);
    m_selectionPending = !m_selection.chooseAll();
    ++m_selectionTicket;
    m_allRowsShown = rowsReady();
    if (m_allRowsShown && (!m_selectionPending || m_data->ordersReady(m_selection.fields()))) {
        m_view = m_data->selection().view(m_selection);
        m_selectionPending = false;
    } else if (m_allRowsShown) {
        m_view = m_data->selection().view(Selection());
    } else {
        // Until every row is in, the rows show in stored order as they come.
        onRowsArrived(m_data->rows().rowCount());
    }
    if (m_selectionPending) {
        m_data->prefer(m_selection.fields());
        m_data->scanFor(m_selectionTicket, m_selection);
        setBusy(true);
    }
    m_row = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    notifyDataSet();
    notifyState();
    m_connection->store().watch([this](RemoteChanges changes) { applyRemoteChanges(std::move(changes)); });
}

void Table::close()
{
    if (!active())
        return;
    if (m_connection && m_connection->connected())
        m_connection->store().watch({});
    m_remote.reset();
    m_state = State::Inactive;
    m_data.reset(); // stops the reading and the order builds first
    m_allRowsShown = false;
    m_rowsIn = m_rowsShown = 0;
    m_showQueued = m_finishQueued = false;
    m_view.clear();
    m_row = -1;
    m_bof = m_eof = true;
    m_selectionPending = false;
    setBusy(false);
    notifyDataSet();
    notifyState();
}

bool Table::loading() const
{
    return m_data && !selectable();
}

bool Table::rowsReady() const
{
    return m_data && m_data->ready();
}

bool Table::selectable() const
{
    return rowsReady() && m_allRowsShown;
}

void Table::waitUntilLoaded()
{
    if (!m_data)
        return;
    const waitcheck::Allowed meant;
    m_data->waitUntilLoaded();
    onRowsFinished(true);
}

void Table::waitUntilSelected()
{
    waitUntilLoaded();
    if (!m_data || !m_selectionPending || !m_data->ready())
        return;
    const waitcheck::Allowed meant;
    m_data->waitForOrders(m_selection.fields());
    applyPendingSelection();
}

void Table::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    for (DataSource* source : std::vector<DataSource*>(m_sources))
        emit source->busyChanged(busy);
}

void Table::checkActive() const
{
    if (!active())
        throw DataError(closedDataSetMessage());
}

// A step that would change the rows, the view or the record being typed
// while a change is being written.
void Table::checkIdle() const
{
    checkActive();
    if (m_writing)
        throw SilentAbort();
}

// Keeps a step that arrived while a change is being written for when the
// write is over; false when nothing is written and it may run now.
bool Table::deferWhileWriting(std::function<void()> step)
{
    if (!m_writing)
        return false;
    m_afterWriting.push_back(std::move(step));
    return true;
}

// For as long as a change is written to the file. What waited runs after
// the step that wrote has finished.
class Table::Writing {
public:
    explicit Writing(Table& table)
        : m_table(table)
    {
        m_table.m_writing = true;
    }
    ~Writing()
    {
        m_table.m_writing = false;
        if (m_table.m_afterWriting.empty() || !m_table.m_data)
            return;
        Table* table = &m_table;
        m_table.m_data->post([table] {
            std::vector<std::function<void()>> steps;
            steps.swap(table->m_afterWriting);
            for (const auto& step : steps)
                step();
        });
    }
    Writing(const Writing&) = delete;
    Writing& operator=(const Writing&) = delete;

private:
    Table& m_table;
};

std::size_t Table::memoryUsage() const
{
    return m_data ? m_data->rows().memoryUsage() : 0;
}

// Reading in --------------------------------------------------------------

int Table::viewSliceRows()
{
    return s_viewSliceRows;
}

void Table::setViewSliceRows(int rows)
{
    s_viewSliceRows = std::max(rows, 1);
}

// More rows are in: while the rows still show in stored order they are
// added at the end, a slice at a time.
void Table::onRowsArrived(int count)
{
    if (!m_data || m_allRowsShown || deferWhileWriting([this, count] { onRowsArrived(count); }))
        return;
    m_rowsIn = std::max(m_rowsIn, count);
    showArrivedRows();
}

// Hands the view the next slice of the rows read in, and queues the next
// turn while more are waiting.
void Table::showArrivedRows()
{
    const int from = m_rowsShown;
    const int to = from + std::min(m_rowsIn - from, s_viewSliceRows);
    if (to > from) {
        const int old = int(m_view.size());
        m_view.appendStored(std::uint32_t(from), std::uint32_t(to));
        m_rowsShown = to;
        if (m_row < 0) {
            m_row = 0;
            m_bof = true;
        }
        m_eof = false;
        notifyAppended(old, int(m_view.size()) - 1);
    }
    if (m_rowsShown >= m_rowsIn || m_showQueued)
        return;
    m_showQueued = true;
    m_data->post([this] {
        m_showQueued = false;
        if (m_finishQueued)
            onRowsFinished();
        else
            onRowsArrived(m_rowsIn);
    });
}

// Every row is in: once the view has them all (at once when asked to, else
// after the slices still to come), a kept filter and sort take over.
void Table::onRowsFinished(bool atOnce)
{
    if (!m_data || !m_data->ready() || m_allRowsShown || deferWhileWriting([this] { onRowsFinished(); }))
        return;
    m_rowsIn = m_data->rows().rowCount();
    m_finishQueued = false;
    // A filter or sort kept for the end takes the view's place: the rows
    // still to come are not handed to the grid first (at 3M, half a million
    // rows or more arrive at once at the end, and the grid's bookkeeping of
    // them took the processor from the look through the rows that answers).
    while (m_rowsShown < m_rowsIn && (atOnce || !m_selectionPending)) {
        showArrivedRows();
        if (!atOnce && m_rowsShown < m_rowsIn) {
            m_finishQueued = true; // the queued slice comes back here
            return;
        }
    }
    m_allRowsShown = true;
    applyPendingSelection();
}

void Table::onLoadFailed(const QString& message)
{
    if (deferWhileWriting([this, message] { onLoadFailed(message); }))
        return;
    close();
    if (onBackgroundError)
        onBackgroundError(std::make_exception_ptr(DataError(message)));
}

// Filter and sort ----------------------------------------------------------

void Table::setFilter(const QString& text)
{
    if (text == m_filter && !m_selectionPending)
        return;
    if (!active() || !m_filtered) {
        Filter::parse(text, m_fields); // a malformed filter is refused even when kept for later
        m_filter = text;
        return;
    }
    reselect(text, m_filtered, m_indexFieldNames);
}

void Table::setFiltered(bool value)
{
    if (value == m_filtered)
        return;
    if (!active()) {
        m_filtered = value;
        return;
    }
    reselect(m_filter, value, m_indexFieldNames);
}

void Table::setIndexFieldNames(const QString& names)
{
    if (names == m_indexFieldNames && !m_selectionPending)
        return;
    if (!active()) {
        m_indexFieldNames = names;
        return;
    }
    reselect(m_filter, m_filtered, names);
}

void Table::setSelection(const QString& filter, const QString& sortFields)
{
    if (!active()) {
        Selection::parse(m_filtered ? filter : QString(), sortFields, m_fields);
        m_filter = filter;
        m_indexFieldNames = sortFields;
        return;
    }
    if (filter == m_filter && sortFields == m_indexFieldNames && !m_selectionPending) {
        checkBrowseMode();
        return;
    }
    reselect(filter, m_filtered, sortFields);
}

// The one step behind a new filter or sort: the pending change is posted,
// then the rows are chosen anew and shown from the first. While rows are
// still being read in, while an order the choice needs is being built, or
// while the record cannot be left, the settings are checked and kept for
// later; the last ones kept are the ones applied.
void Table::reselect(const QString& filter, bool filtered, const QString& sortFields)
{
    if (m_writing)
        throw SilentAbort();
    // A malformed filter or sort is refused before anything else happens.
    keepSelection(filter, filtered, sortFields, Selection::parse(filtered ? filter : QString(), sortFields, m_fields));
    // When the record cannot be left, the kept settings take over once its
    // change is saved or given up.
    checkBrowseMode();
    applyPendingSelection();
}

// Keeps a filter and sort to be applied by applyPendingSelection(); their
// fields' orders are built first.
void Table::keepSelection(const QString& filter, bool filtered, const QString& sortFields, Selection parsed)
{
    if (m_data)
        m_data->prefer(parsed.fields());
    m_filter = filter;
    m_filtered = filtered;
    m_indexFieldNames = sortFields;
    m_selection = std::move(parsed);
    m_selectionPending = true;
    ++m_selectionTicket;
    m_keepCurrent = false;
}

// After a post or a cancel, a filter or sort that waited for the record to
// be done takes over, once the caller has finished its step.
void Table::schedulePendingSelection()
{
    if (m_selectionPending && m_data)
        m_data->post([this] { applyPendingSelection(); });
}

// A kept filter and sort take over once the last row is in, the orders they
// need are built and no change is being typed; until then the rows shown
// stay as they are. Never waits: called again when more is ready.
void Table::applyPendingSelection()
{
    if (deferWhileWriting([this] { applyPendingSelection(); }))
        return;
    if (!m_selectionPending || !active()) {
        setBusy(false);
        return;
    }
    if (!selectable()) {
        m_data->scanFor(m_selectionTicket, m_selection); // begins once the last row is in
        setBusy(true); // called again when the last row is in
        return;
    }
    if (m_state != State::Browse) {
        setBusy(false); // tried again when the record is posted or cancelled
        return;
    }
    RowView view;
    if (m_data->ordersReady(m_selection.fields())) {
        view = m_data->selection().view(m_selection);
    } else if (auto scanned = m_data->takeScanned(m_selectionTicket)) {
        view = RowView::shared(std::move(scanned)); // found while the orders are built
    } else {
        m_data->scanFor(m_selectionTicket, m_selection);
        setBusy(true); // called again as each order is built, or the scan ends
        return;
    }
    m_selectionPending = false;
    setBusy(false);
    if (std::exchange(m_keepCurrent, false)) {
        showKeeping(std::move(view), rowIndex(m_row), m_row);
        return;
    }
    m_view = std::move(view);
    rebuildView();
}

// A new view in place of one that changed under the user: the record at row
// (of the rows) stays current where it still shows, else the place it had.
void Table::showKeeping(RowView view, int row, int place)
{
    int at = row >= 0 ? int(view.find(std::uint32_t(row))) : -1;
    if (at < 0 && !view.empty())
        at = std::clamp(place, 0, int(view.size()) - 1);
    m_view = std::move(view);
    m_row = at;
    m_bof = m_row <= 0;
    m_eof = m_view.empty();
    notifyDataSet();
}

// A new view is in place: show it from its first record.
void Table::rebuildView()
{
    m_row = m_view.empty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.empty();
    notifyDataSet();
}

// Navigation ---------------------------------------------------------------

int Table::recordCount() const
{
    return int(m_view.size());
}

int Table::rowIndex(int row) const
{
    if (row < 0 || row >= int(m_view.size()))
        return -1;
    return int(m_view[std::size_t(row)]);
}

void Table::setCurrent(int row)
{
    if (row == m_row)
        return;
    m_row = row;
    notifyScroll();
}

void Table::first()
{
    checkIdle();
    checkBrowseMode();
    setCurrent(recordCount() > 0 ? 0 : -1);
    m_bof = true;
    m_eof = recordCount() == 0;
}

void Table::last()
{
    checkIdle();
    checkBrowseMode();
    setCurrent(recordCount() - 1);
    m_eof = true;
    m_bof = recordCount() == 0;
}

void Table::next()
{
    checkIdle();
    checkBrowseMode();
    if (recordCount() == 0 || m_row >= recordCount() - 1) {
        m_eof = true;
        return;
    }
    setCurrent(m_row + 1);
    m_bof = m_eof = false;
}

void Table::prior()
{
    checkIdle();
    checkBrowseMode();
    if (recordCount() == 0 || m_row <= 0) {
        m_bof = true;
        return;
    }
    setCurrent(m_row - 1);
    m_bof = m_eof = false;
}

void Table::moveBy(int distance)
{
    checkIdle();
    checkBrowseMode();
    const int count = recordCount();
    if (count == 0) {
        m_bof = m_eof = true;
        return;
    }
    const int target = m_row + distance;
    setCurrent(std::clamp(target, 0, count - 1));
    m_bof = target < 0;
    m_eof = target > count - 1;
}

void Table::moveTo(int row)
{
    checkIdle();
    if (row == m_row)
        return;
    checkBrowseMode();
    if (recordCount() == 0) {
        m_bof = m_eof = true;
        return;
    }
    setCurrent(std::clamp(row, 0, recordCount() - 1));
    m_bof = m_eof = false;
}

// Values -------------------------------------------------------------------

TextValue Table::valueAt(int row, int field) const
{
    if (!active() || field < 0 || field >= int(m_fields.size()))
        return std::nullopt;
    const bool editing = m_state == State::Edit && row == m_row;
    if (editing && m_changed[std::size_t(field)])
        return m_buffer[std::size_t(field)];
    const int index = rowIndex(row);
    if (index < 0)
        return std::nullopt;
    if (field == 0)
        return QString::number(m_data->rows().key(index));
    return m_data->rows().value(index, field - 1);
}

QString Table::displayText(int row, int field, int chars) const
{
    const bool editing = m_state == State::Edit && row == m_row;
    const int index = rowIndex(row);
    if (!active() || field <= 0 || field >= int(m_fields.size()) || index < 0
        || (editing && m_changed[std::size_t(field)]))
        return valueAt(row, field).value_or(QString()).left(chars);
    return m_data->rows().head(index, field - 1, chars);
}

bool Table::holdsAt(int row, int field, const TextValue& value) const
{
    const bool editing = m_state == State::Edit && row == m_row;
    const int index = rowIndex(row);
    if (!active() || field <= 0 || field >= int(m_fields.size()) || index < 0
        || (editing && m_changed[std::size_t(field)]))
        return sameValue(valueAt(row, field), value);
    return m_data->rows().holds(index, field - 1, value);
}

qint64 Table::keyAt(int row) const
{
    const int index = rowIndex(row);
    return index < 0 ? 0 : m_data->rows().key(index);
}

TextValue Table::value(int field) const
{
    return valueAt(m_row, field);
}

// Editing ------------------------------------------------------------------

void Table::edit()
{
    checkIdle();
    if (m_state == State::Edit)
        return;
    if (recordCount() == 0) { // no record to edit: a new one is asked for
        insert();
        return;
    }
    checkModifiable(m_row);
    m_buffer.assign(m_fields.size(), std::nullopt);
    m_changed.assign(m_fields.size(), false);
    m_state = State::Edit;
    notifyState();
}

bool Table::canModify(int row) const
{
    if (!active() || !m_connection->store().readOnlyReason().isEmpty())
        return false;
    const int index = rowIndex(row);
    return index < 0 || m_data->rows().keyProblem(index) == RowSet::KeyProblem::None;
}

void Table::checkModifiable(int row) const
{
    checkActive();
    if (const QString reason = m_connection->store().readOnlyReason(); !reason.isEmpty())
        throw DataError(reason);
    const int index = rowIndex(row);
    if (index < 0)
        return;
    const QString file = m_connection->store().path();
    const QString key = m_fields.front().name;
    switch (m_data->rows().keyProblem(index)) {
    case RowSet::KeyProblem::None:
        return;
    case RowSet::KeyProblem::Missing:
        throw DataError(QStringLiteral("Эту запись нельзя изменить или удалить: в файле «%1» у неё нет значения "
                                       "ключа «%2», и программа не может найти её в файле.")
                            .arg(file, key));
    case RowSet::KeyProblem::NotInteger:
        throw DataError(QStringLiteral("Эту запись нельзя изменить или удалить: её ключ «%2» в файле «%1» — "
                                       "не целое число, и программа не может найти её в файле.")
                            .arg(file, key));
    case RowSet::KeyProblem::Duplicate:
        throw DataError(QStringLiteral("Эту запись нельзя изменить или удалить: ключ «%2» в файле «%1» не "
                                       "уникален — значение %3 есть и у других записей, и программа не может "
                                       "отличить эту запись от них.")
                            .arg(file, key, QString::number(m_data->rows().key(index))));
    }
}

void Table::validate(int field, const TextValue& value) const
{
    const FieldDef& def = m_fields[std::size_t(field)];
    if (def.type == FieldType::AutoInc)
        throw DataError(QStringLiteral("Field '%1' cannot be modified").arg(def.name));
    if (value && def.size > 0 && value->size() > def.size) {
        throw DataError(QStringLiteral("Значение поля «%1» не помещается: введено символов — %2, "
                                       "а поле вмещает не больше %3. Запись не изменена")
                            .arg(def.name)
                            .arg(value->size())
                            .arg(def.size));
    }
}

void Table::setValue(int field, const TextValue& value)
{
    checkIdle();
    if (field < 0 || field >= int(m_fields.size()))
        throw DataError(QStringLiteral("Field index out of range"));
    if (m_state != State::Edit)
        throw DataError(QStringLiteral("Dataset not in edit or insert mode"));
    // A value as it stands in the file is taken back as it is, even when it
    // is longer than the field: only what the user changed is checked.
    const int index = rowIndex(m_row);
    const bool asStored = index >= 0 && field > 0 && m_data->rows().holds(index, field - 1, value);
    if (!asStored)
        validate(field, value);
    m_buffer[std::size_t(field)] = value;
    m_changed[std::size_t(field)] = true;
    m_refused = false; // the user worked on the record: saving may be tried again
    notifyRecord(m_row);
}

std::vector<FieldChange> Table::changes() const
{
    std::vector<FieldChange> result;
    const int index = rowIndex(m_row);
    Q_ASSERT(index >= 0); // only a shown record is ever edited
    for (std::size_t i = 1; i < m_fields.size(); ++i) {
        if (!m_changed[i])
            continue;
        const TextValue original = m_data->rows().value(index, int(i) - 1);
        const TextValue& value = m_buffer[i];
        if (sameValue(value, original))
            continue;
        // Clearing a field that held nothing leaves it holding nothing.
        if (!original && value && value->isEmpty())
            continue;
        result.push_back({ m_fields[i].name, m_data->rows().stored(index, int(i) - 1), value });
    }
    return result;
}

bool Table::modified() const
{
    return m_state == State::Edit && !changes().empty();
}

void Table::post()
{
    checkIdle();
    if (m_state == State::Browse)
        return;
    try {
        writePending();
    } catch (const DataError&) {
        // The change stays pending; moving on does not try it again until
        // the user works on it, so one refusal is answered once.
        m_refused = true;
        throw;
    }
    m_refused = false;
}

void Table::writePending()
{
    const int index = rowIndex(m_row);
    TableRows::Staged staged;
    try {
        const std::vector<FieldChange> pending = changes();
        for (const FieldChange& change : pending)
            validate(fieldIndex(change.field), change.value);
        // Everything that needs memory is done before the file is written,
        // and nothing after it can fail: a change is never in the file
        // without being here too.
        TableRows::Values values;
        for (const FieldChange& change : pending)
            values.emplace_back(fieldIndex(change.field), change.value);
        // The wait for the last row to be read in is part of the write: the
        // window paints meanwhile, and what arrives waits for the write.
        const Writing writing(*this);
        staged = m_data->stage(values, false);
        if (!pending.empty())
            m_connection->store().update(m_tableName, m_fields.front().name, m_data->rows().key(index), pending);
    } catch (const std::bad_alloc&) {
        throw DataError(QStringLiteral("Не хватает памяти, чтобы сохранить изменения: файл «%1» не изменён.")
                            .arg(m_connection->store().path()));
    }

    m_data->apply(index, staged);
    m_state = State::Browse;
    m_buffer.assign(m_fields.size(), std::nullopt);
    m_changed.assign(m_fields.size(), false);
    notifyRecord(m_row);
    notifyState();
    schedulePendingSelection();
}

void Table::cancel()
{
    checkIdle();
    m_refused = false;
    if (m_state == State::Edit) {
        m_state = State::Browse;
        m_buffer.assign(m_fields.size(), std::nullopt);
        m_changed.assign(m_fields.size(), false);
        notifyRecord(m_row);
        notifyState();
    }
    schedulePendingSelection();
}

void Table::deleteRecord()
{
    checkIdle();
    if (recordCount() == 0)
        throw DataError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (m_state == State::Edit)
        cancel();

    const int row = m_row;
    const int index = rowIndex(row);
    checkModifiable(row);
    std::vector<FieldChange> originals;
    for (std::size_t i = 1; i < m_fields.size(); ++i)
        originals.push_back({ m_fields[i].name, m_data->rows().stored(index, int(i) - 1), std::nullopt });
    {
        const Writing writing(*this);
        {
            const waitcheck::Allowed meant; // the file is not written while it is still being read
            m_data->waitUntilLoaded();
        }
        m_connection->store().remove(m_tableName, m_fields.front().name, m_data->rows().key(index), originals);
    }

    m_data->markDeleted(index);
    m_view.erase(std::size_t(row));
    notifyRemoved(row);
    m_row = -2;
    setCurrent(recordCount() == 0 ? -1 : std::min(row, recordCount() - 1));
    m_bof = m_row <= 0;
    m_eof = recordCount() == 0 || m_row == recordCount() - 1;
}

void Table::insert()
{
    checkIdle();
    checkBrowseMode();
    if (onBeforeInsert)
        onBeforeInsert(*this);
}

// Controls put what is still being typed into the record; one that could
// not has told the user why, and the step goes no further.
void Table::updateRecord()
{
    for (DataSource* source : std::vector<DataSource*>(m_sources)) {
        if (source->onUpdateRecord && !source->onUpdateRecord())
            throw SilentAbort();
    }
}

void Table::checkBrowseMode()
{
    checkIdle();
    updateRecord();
    if (m_state != State::Edit)
        return;
    if (m_refused)
        throw SilentAbort(); // already answered: the record stays as it is
    post();
}

void Table::savePending()
{
    checkIdle();
    m_refused = false;
    checkBrowseMode();
}

// Controls -----------------------------------------------------------------

void Table::attach(DataSource* source)
{
    if (std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end())
        m_sources.push_back(source);
}

void Table::detach(DataSource* source)
{
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), source), m_sources.end());
}

void Table::disableControls()
{
    if (m_disableCount++ == 0) {
        m_pending = NoChange;
        m_rowWhenDisabled = m_row;
    }
}

void Table::enableControls()
{
    if (m_disableCount == 0 || --m_disableCount > 0)
        return;
    const unsigned pending = m_pending;
    m_pending = NoChange;
    if (pending & DataSetChange) {
        notifyDataSet();
    } else {
        // Values changed in place: every row may need repainting, but the
        // rows themselves and the controls' positions stay.
        if (pending & RecordChange)
            notifyRecord(-1);
        if ((pending & ScrollChange) && m_row != m_rowWhenDisabled)
            notifyScroll();
    }
    if (pending & StateChange)
        notifyState();
}

// Passes a change on to every attached data source, or notes it while the
// controls are disabled.
template <typename... Args> void Table::notify(unsigned change, void (DataSource::*signal)(Args...), Args... args)
{
    if (controlsDisabled()) {
        m_pending |= change;
        return;
    }
    for (DataSource* source : m_sources)
        emit(source->*signal)(args...);
}

void Table::notifyDataSet()
{
    notify(DataSetChange, &DataSource::dataSetChanged);
}

void Table::notifyScroll()
{
    notify(ScrollChange, &DataSource::scrolled, m_row);
}

void Table::notifyState()
{
    notify(StateChange, &DataSource::stateChanged);
}

void Table::notifyRecord(int row)
{
    notify(RecordChange, &DataSource::recordChanged, row);
}

void Table::notifyRemoved(int row)
{
    notify(DataSetChange, &DataSource::recordRemoved, row);
}

void Table::notifyAppended(int first, int last)
{
    notify(DataSetChange, &DataSource::recordsAppended, first, last);
}
