#include "ui/widgets/HoverGroup.h"

#include "ui/widgets/Colours.h"
#include "ui/widgets/TextLabel.h"

void HoverGroup::add(TextLabel* label)
{
    Q_ASSERT(label);
    m_labels.emplace_back(label);
}

void HoverGroup::reset()
{
    for (const QPointer<TextLabel>& label : m_labels) {
        if (label)
            label->setFontRgb(colours::kIdle);
    }
}
