#include "ui/widgets/PixelFonts.h"

#include <QFont>
#include <QMetaProperty>
#include <QWidget>

namespace {

// Returns whether font had its own size in points and now has it in pixels.
bool toPixels(QFont& font)
{
    if (!(font.resolveMask() & QFont::SizeResolved) || font.pixelSize() > 0 || font.pointSizeF() <= 0)
        return false;
    font.setPixelSize(qRound(font.pointSizeF() * 96.0 / 72.0));
    return true;
}

void convert(QWidget* widget)
{
    if (widget->testAttribute(Qt::WA_SetFont)) {
        QFont font = widget->font();
        if (toPixels(font))
            widget->setFont(font);
    }
    const QMetaObject* meta = widget->metaObject();
    for (int i = QWidget::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.metaType().id() != QMetaType::QFont || !property.isWritable())
            continue;
        QFont font = property.read(widget).value<QFont>();
        if (toPixels(font))
            property.write(widget, font);
    }
}

} // namespace

void usePixelFonts(QWidget* root)
{
    convert(root);
    for (QWidget* child : root->findChildren<QWidget*>())
        convert(child);
}
