// The record indicator column of the data grid: a triangle at the current
// record, an I-beam while it is being edited, an asterisk for a new record.
#pragma once

#include <QHeaderView>

class IndicatorHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit IndicatorHeader(QWidget* parent = nullptr);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};
