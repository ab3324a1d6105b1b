#include "ui/main/IndicatorHeader.h"

#include "data/GridModel.h"

#include <QPainter>
#include <QPainterPath>

IndicatorHeader::IndicatorHeader(QWidget* parent)
    : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

void IndicatorHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    // The frame and face of an empty section, then the mark.
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.text.clear();
    painter->save();
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();

    const int mark = model() ? model()->headerData(logicalIndex, Qt::Vertical, GridModel::IndicatorRole).toInt()
                             : GridModel::NoIndicator;
    if (mark == GridModel::NoIndicator)
        return;

    painter->save();
    painter->setClipRect(rect);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Qt::black);
    painter->setBrush(Qt::black);
    const QPoint c = rect.center();
    switch (mark) {
    case GridModel::BrowseIndicator: {
        const QPoint triangle[3]
            = { QPoint(c.x() - 2, c.y() - 4), QPoint(c.x() + 2, c.y()), QPoint(c.x() - 2, c.y() + 4) };
        painter->drawPolygon(triangle, 3);
        break;
    }
    case GridModel::EditIndicator:
        painter->drawLine(c.x(), c.y() - 4, c.x(), c.y() + 4);
        painter->drawLine(c.x() - 2, c.y() - 4, c.x() + 2, c.y() - 4);
        painter->drawLine(c.x() - 2, c.y() + 4, c.x() + 2, c.y() + 4);
        break;
    default:
        break;
    }
    painter->restore();
}
