#include "ui/info/TsLabel.h"

TsLabel::TsLabel(QWidget* parent)
    : TsCustomLabel(parent)
{
}
