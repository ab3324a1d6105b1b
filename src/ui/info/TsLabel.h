// A plain self-painting label with its settings published, so that window
// layouts can set them.
#pragma once

#include "ui/info/TsCustomLabel.h"

class TsLabel : public TsCustomLabel {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QColor FontColor READ FontColor WRITE setFontColor)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE setParentColor)
    Q_PROPERTY(bool Transparent READ Transparent WRITE setTransparent)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE setWordWrap)
    Q_PROPERTY(TextAlignment Alignment READ Alignment WRITE setAlignment)
    Q_PROPERTY(TextLayout Layout READ Layout WRITE setLayout)
    Q_PROPERTY(bool ShowAccelChar READ ShowAccelChar WRITE setShowAccelChar)
    Q_PROPERTY(QWidget* FocusControl READ FocusControl WRITE setFocusControl)

public:
    explicit TsLabel(QWidget* parent = nullptr);
};
