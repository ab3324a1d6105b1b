#include "ui/main/GridDelegate.h"

#include "data/GridModel.h"
#include "data/Table.h"
#include "ui/main/DbGrid.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

GridDelegate::GridDelegate(DbGrid* grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
{
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    m_grid->gridModel()->forgetRefusal();
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setObjectName(QStringLiteral("InplaceEditor"));
        line->setFrame(false);
        const Table* table = m_grid->table();
        const int field = m_grid->gridModel()->fieldOf(index.column());
        if (table && field >= 0) {
            const int size = table->fields()[std::size_t(field)].size;
            // The grid opens no editor on a longer value than it holds.
            const qsizetype stored = table->displayText(m_grid->tableRow(index), field, GridModel::EditLimit).size();
            if (size > 0)
                line->setMaxLength(int(std::min<qsizetype>(std::max<qsizetype>(size, stored), GridModel::EditLimit)));
        }
        connect(line, &QLineEdit::textEdited, this, &GridDelegate::editingStarted);
    }
    m_editor = editor;
    return editor;
}

void GridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    // The editor takes the cell's value once, when it opens. The row is
    // repainted while the user types (the record goes into edit mode), and
    // that must not put the old value back over what was typed.
    if (editor == m_loadedEditor)
        return;
    m_loadedEditor = editor;
    QStyledItemDelegate::setEditorData(editor, index);
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    // An editor the user has not typed into gives nothing back: a value is
    // never rewritten just because it was shown.
    if (auto* line = qobject_cast<QLineEdit*>(editor); line && !line->isModified())
        return;
    QStyledItemDelegate::setModelData(editor, model, index);
}

void GridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (m_grid->hasFocus() && index == m_grid->currentIndex())
        option->state |= QStyle::State_Selected;
    else
        option->state &= ~QStyle::State_Selected;
}

void GridDelegate::commitAndClose()
{
    if (QWidget* editor = openEditor()) {
        emit commitData(editor);
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

// An editor the grid has let go is hidden at once and deleted later.
QWidget* GridDelegate::openEditor() const
{
    QWidget* editor = m_editor;
    return editor && !editor->isHidden() ? editor : nullptr;
}

bool GridDelegate::commit()
{
    if (QWidget* editor = openEditor()) {
        emit commitData(editor);
        return !m_grid->gridModel()->lastWriteRefused();
    }
    return true;
}

void GridDelegate::close()
{
    if (QWidget* editor = openEditor())
        emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool GridDelegate::eventFilter(QObject* object, QEvent* event)
{
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Tab:
        case Qt::Key_Backtab: {
            // Leaving the cell: what was typed goes into the record first.
            // When the record refuses it, the editor stays open with the
            // text, so the user can put it right or press Escape.
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
            emit commitData(editor);
            if (m_grid->gridModel()->lastWriteRefused())
                return true;
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            QCoreApplication::sendEvent(m_grid, &copy);
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit commitData(editor);
            if (!m_grid->gridModel()->lastWriteRefused())
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            return true;
        case Qt::Key_Escape:
            emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
            emit editingCancelled();
            return true;
        default:
            break;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
