#include "ui/main/DbGrid.h"

#include "data/DataError.h"
#include "data/DataSource.h"
#include "data/GridModel.h"
#include "data/RowWindow.h"
#include "data/Table.h"
#include "ui/main/GridDelegate.h"
#include "ui/main/IndicatorHeader.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/MessageBox.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>

namespace {

// Width of the record indicator column, in pixels.
constexpr int kIndicatorWidth = 11;

} // namespace

DbGrid::DbGrid(QWidget* parent)
    : QTableView(parent)
    , m_model(new GridModel(this))
    , m_window(new RowWindow(m_model, this))
    , m_rowsBar(new QScrollBar(Qt::Vertical))
    , m_delegate(new GridDelegate(this))
{
    setVerticalHeader(new IndicatorHeader(this));
    setModel(m_window);
    setItemDelegate(m_delegate);
    // Nothing is ever selected: the current cell alone shows selected, and
    // only while the grid has the focus (the delegate paints it so).
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(
        QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone); // long values are cut at the cell edge, not shortened
    setCornerButtonEnabled(false);

    verticalHeader()->setFixedWidth(kIndicatorWidth + 1);
    // Below the last row the indicator column shows the grid's own white,
    // not the window colour behind it.
    QPalette blank = verticalHeader()->palette();
    blank.setColor(QPalette::Window, blank.color(QPalette::Base));
    verticalHeader()->setPalette(blank);
    verticalHeader()->setAutoFillBackground(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_model->onError = [](std::exception_ptr error) { errors::report(error); };
    connect(m_delegate, &GridDelegate::editingStarted, this, &DbGrid::startEditing);
    connect(m_delegate, &GridDelegate::editingCancelled, this, &DbGrid::cancelRecord);
    connect(m_model, &GridModel::currentRowChanged, this, &DbGrid::followTable);
    connect(m_model, &GridModel::modelReset, this, &DbGrid::applyColumnWidths);

    // The rows' scroll bar takes the place of the view's own, which stays
    // hidden and at its start: the view holds no more rows than it shows.
    m_rowsBar->setObjectName(QStringLiteral("RowsScrollBar"));
    m_rowsBar->setSingleStep(1);
    addScrollBarWidget(m_rowsBar, Qt::AlignTop);
    verticalScrollBar()->hide();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value != 0)
            verticalScrollBar()->setValue(0);
    });
    connect(m_rowsBar, &QScrollBar::valueChanged, this, [this](int top) {
        bool moved = false;
        if (!guarded([&] { moved = scrollRowsTo(top); }) || !moved)
            updateRowsBar(); // back to where the rows are
    });
    connect(m_window, &RowWindow::windowAboutToChange, this, [this] { ++m_windowChanging; });
    connect(m_window, &RowWindow::windowChanged, this, [this] {
        if (--m_windowChanging > 0)
            return;
        syncCurrent();
        updateRowsBar();
    });
}

int DbGrid::workColumn() const
{
    return std::clamp(m_column, 0, std::max(m_model->columnCount() - 1, 0));
}

int DbGrid::tableRow(const QModelIndex& index) const
{
    return index.isValid() ? m_window->tableRow(index.row()) : -1;
}

QModelIndex DbGrid::cellOf(int tableRow, int column) const
{
    const int row = m_window->windowRow(tableRow);
    return row >= 0 ? m_window->index(row, column) : QModelIndex();
}

void DbGrid::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (index.isValid() && m_window->rowCount() > 0)
        QTableView::scrollTo(m_window->index(0, index.column()), hint);
}

void DbGrid::updateGeometries()
{
    QTableView::updateGeometries();
    fitWindow();
}

void DbGrid::fitWindow()
{
    const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
    const int height = viewport()->height();
    const int page = std::max(1, height / rowHeight);
    m_window->setCapacity(std::max(page, (height + rowHeight - 1) / rowHeight), page);
    updateRowsBar();
}

void DbGrid::updateRowsBar()
{
    const Qt::ScrollBarPolicy policy
        = m_model->rowCount() > m_window->page() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
    if (verticalScrollBarPolicy() != policy)
        setVerticalScrollBarPolicy(policy);
    const QSignalBlocker quiet(m_rowsBar);
    m_rowsBar->setRange(0, m_window->lastTop());
    m_rowsBar->setPageStep(m_window->page());
    m_rowsBar->setValue(m_window->top());
}

bool DbGrid::scrollRowsTo(int top)
{
    top = std::clamp(top, 0, m_window->lastTop());
    if (top == m_window->top())
        return true;
    if (!m_delegate->commit())
        return false;
    m_delegate->close();
    m_window->setTop(top);
    return true;
}

bool DbGrid::showRow(int tableRow)
{
    const int top = m_window->top();
    const int page = m_window->page();
    if (tableRow < top)
        return scrollRowsTo(tableRow);
    if (tableRow >= top + page)
        return scrollRowsTo(tableRow - page + 1);
    return true;
}

void DbGrid::syncCurrent()
{
    const Table* t = table();
    const QModelIndex target = t && t->active() ? cellOf(t->currentRow(), workColumn()) : QModelIndex();
    if (target == currentIndex())
        return;
    const QScopedValueRollback following(m_following, true);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
}

void DbGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    viewport()->update(visualRect(currentIndex()));
}

void DbGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    viewport()->update(visualRect(currentIndex()));
}

DataSource* DbGrid::dataSource() const
{
    return m_model->dataSource();
}

void DbGrid::setDataSource(DataSource* source)
{
    if (DataSource* old = dataSource())
        old->onUpdateRecord = nullptr;
    m_widthsApplied = false;
    m_model->setDataSource(source);
    if (source) {
        connect(source, &DataSource::dataSetChanged, this, &DbGrid::applyColumnWidths, Qt::UniqueConnection);
        // Whatever makes the table leave or post its record (a move, a
        // new filter or sort, closing) takes what the editor holds first.
        source->onUpdateRecord = [this] { return updateRecord(); };
    }
}

bool DbGrid::updateRecord()
{
    // Putting the text into the record may itself move the table to the
    // editor's row, which asks again.
    if (m_updatingRecord)
        return true;
    m_updatingRecord = true;
    const auto done = qScopeGuard([this] { m_updatingRecord = false; });
    return m_delegate->commit();
}

void DbGrid::finishEdit()
{
    Table* t = table();
    if (!t || !t->active())
        return;
    t->checkBrowseMode();
    m_delegate->close();
}

Table* DbGrid::table() const
{
    return m_model->table();
}

void DbGrid::applyColumnWidths()
{
    const QFontMetrics rows(font());
    verticalHeader()->setMinimumSectionSize(1);
    if (verticalHeader()->defaultSectionSize() != rows.height() + 4)
        verticalHeader()->setDefaultSectionSize(rows.height() + 4);
    const Table* t = table();
    if (m_widthsApplied || !t || m_model->columnCount() == 0)
        return;
    const QFontMetrics titles(horizontalHeader()->font());
    const int digit = rows.horizontalAdvance(QLatin1Char('0'));
    for (int column = 0; column < m_model->columnCount(); ++column) {
        const FieldDef& field = t->fields()[std::size_t(m_model->fieldOf(column))];
        const int characters = field.displayWidth > 0 ? field.displayWidth : field.size;
        const int width = std::max(characters * digit + 4, titles.horizontalAdvance(field.name) + 4);
        setColumnWidth(column, width);
    }
    m_widthsApplied = true;
}

int DbGrid::virtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        break;
    }
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    return 0;
}

void DbGrid::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    guarded([&] {
        int key = virtualKey(event->key());
        if (onKeyDown && key != 0) {
            onKeyDown(this, key, event->modifiers());
            if (key == 0)
                return;
        }
        handleKey(event);
    });
}

bool DbGrid::atLastRow() const
{
    const Table* t = table();
    return t && t->currentRow() >= t->recordCount() - 1;
}

void DbGrid::handleKey(QKeyEvent* event)
{
    Table* t = table();
    const bool open = t && t->active();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    // Insert, and moving down or tabbing on from the last record, ask the
    // table for a new record.
    switch (event->key()) {
    case Qt::Key_Insert:
        if (open && mods == Qt::NoModifier) {
            t->insert();
            return;
        }
        break;
    case Qt::Key_Down:
        if (open && !(mods & Qt::ControlModifier) && atLastRow()) {
            t->insert();
            return;
        }
        break;
    case Qt::Key_Backtab:
    case Qt::Key_Tab:
        // Tab walks the cells; Ctrl+Tab and Ctrl+Shift+Tab leave the grid
        // for the window's next or previous control.
        if (mods & Qt::ControlModifier) {
            QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab && !(mods & Qt::ShiftModifier));
            return;
        }
        if (event->key() == Qt::Key_Tab && open && mods == Qt::NoModifier && atLastRow()
            && currentIndex().column() == m_model->columnCount() - 1) {
            t->insert();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (mods == Qt::ControlModifier) {
            if (!open || t->isEmpty())
                return;
            // A record that cannot be deleted is refused before any question.
            if (t->state() == Table::State::Browse)
                t->checkModifiable(t->currentRow());
            if (MessageBox::confirm(this, QStringLiteral("Confirm"), QStringLiteral("Delete record?")))
                t->deleteRecord();
            return;
        }
        break;
    case Qt::Key_Escape:
        if (open && t->state() == Table::State::Edit) {
            t->cancel();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (state() != QAbstractItemView::EditingState && currentIndex().isValid()) {
            QAbstractItemView::edit(currentIndex());
            return;
        }
        break;
    case Qt::Key_Home:
        if (open && (mods & Qt::ControlModifier)) {
            t->first();
            return;
        }
        break;
    case Qt::Key_End:
        if (open && (mods & Qt::ControlModifier)) {
            t->last();
            return;
        }
        break;
    default:
        break;
    }
    if (open && moveKey(event))
        return;
    QTableView::keyPressEvent(event);
}

bool DbGrid::moveKey(QKeyEvent* event)
{
    Table* t = table();
    const int count = m_model->rowCount();
    const int row = t->currentRow();
    if (count == 0 || row < 0)
        return false;
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return false;
    default:
        break;
    }
    // A key brings a record scrolled out of sight back into view first.
    if (!showRow(row))
        return true;
    const int columns = m_model->columnCount();
    const int column = workColumn();
    const int page = m_window->page();
    switch (event->key()) {
    case Qt::Key_Up:
        moveToCell(std::max(row - 1, 0), column);
        return true;
    case Qt::Key_Down:
        moveToCell(std::min(row + 1, count - 1), column);
        return true;
    case Qt::Key_PageUp:
        moveToCell(std::max(row - page, 0), column);
        return true;
    case Qt::Key_PageDown:
        moveToCell(std::min(row + page, count - 1), column);
        return true;
    case Qt::Key_Tab:
        // On along the record, then to the next record's first cell.
        if (column + 1 < columns)
            moveToCell(row, column + 1);
        else if (row + 1 < count)
            moveToCell(row + 1, 0);
        return true;
    case Qt::Key_Backtab:
        if (column > 0)
            moveToCell(row, column - 1);
        else if (row > 0)
            moveToCell(row - 1, columns - 1);
        else
            event->ignore(); // before the first cell: to the previous control
        return true;
    default:
        return false;
    }
}

void DbGrid::moveToCell(int tableRow, int column)
{
    if (!showRow(tableRow))
        return;
    const QModelIndex target = cellOf(tableRow, column);
    if (target.isValid())
        setCurrentIndex(target);
}

void DbGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base class first puts an open editor's text into its record.
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        m_column = current.column();
    const int row = tableRow(current);
    if (row != m_refusedTypingRow)
        m_refusedTypingRow = -1;
    Table* t = table();
    if (m_following || m_windowChanging > 0 || row < 0 || !t || !t->active() || row == t->currentRow())
        return;
    if (!guarded([&] { t->moveTo(row); }))
        followTable(t->currentRow()); // the record could not be left: stay on it
}

void DbGrid::followTable(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QScopedValueRollback following(m_following, true);
    // A record clicked in the row cut off at the bottom stays where it is:
    // rows moving under the pointer would put a double click's second click
    // on another record. The next key shows it whole.
    const bool clicked = QGuiApplication::mouseButtons() != Qt::NoButton && m_window->windowRow(row) >= 0;
    if (!clicked && !guarded([&] { showRow(row); }))
        return;
    const QModelIndex target = cellOf(row, workColumn());
    if (!target.isValid() || target == currentIndex())
        return;
    setCurrentIndex(target);
    scrollTo(target);
}

void DbGrid::startEditing()
{
    guarded([&] {
        Table* t = table();
        if (!t || !t->active())
            return;
        const int row = tableRow(currentIndex());
        if (row >= 0 && row != t->currentRow())
            t->moveTo(row);
        if (t->state() == Table::State::Browse)
            t->edit();
    });
}

void DbGrid::cancelRecord()
{
    guarded([&] {
        Table* t = table();
        if (t && t->state() == Table::State::Edit)
            t->cancel();
    });
}

void DbGrid::postPendingEdit()
{
    m_delegate->commitAndClose();
    Table* t = table();
    if (t && t->active())
        t->savePending();
}

bool DbGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // A record the file cannot identify is never opened for editing; each
    // attempt is told why (Table::edit raises the reason).
    Table* t = table();
    const bool wantsEditor = trigger == AllEditTriggers || (trigger & editTriggers());
    const int row = tableRow(index);
    if (wantsEditor && t && t->active() && row >= 0 && !t->canModify(row)) {
        // Typing on into the same record is not told again: the keys after
        // the first would each bring the same message.
        if (trigger == AnyKeyPressed && row == m_refusedTypingRow)
            return false;
        m_refusedTypingRow = trigger == AnyKeyPressed ? row : -1;
        guarded([&] {
            t->moveTo(row);
            t->edit();
        });
        return false;
    }
    // A value longer than an editor holds is shown, never edited: the
    // editor would give it back cut. Told once while typing goes on.
    if (wantsEditor && t && t->active() && row >= 0 && m_model->tooLongToEdit(m_model->index(row, index.column()))) {
        if (trigger == AnyKeyPressed && row == m_refusedTypingRow)
            return false;
        m_refusedTypingRow = trigger == AnyKeyPressed ? row : -1;
        const QString name = t->fields()[std::size_t(m_model->fieldOf(index.column()))].name;
        guarded([&] {
            throw DataError(QStringLiteral("В поле «%1» этой записи больше %2 знаков: такое значение в таблице "
                                           "только показывается, изменить его здесь нельзя. Запись не изменена.")
                                .arg(name)
                                .arg(GridModel::EditLimit));
        });
        return false;
    }
    return QTableView::edit(index, trigger, event);
}
