// A link: a label whose caption shows blue and underlined, red while the
// pointer is over it, with the hand pointer. A click is reported to the
// window (OnClick); an address in URL, if one is set, is opened by the label
// itself as soon as it is pressed.
#pragma once

#include "ui/info/TsLabel.h"

#include <QFont>

class TsWebLabel : public TsLabel {
    Q_OBJECT

public:
    // How the opened program's window should show, numbered as the classic
    // desktop show commands. The desktop's URL opener takes no such command,
    // so the value is only kept.
    enum TsWindowShowMode {
        soHide = 0,
        soNormal = 1,
        soShowMinimized = 2,
        soMaximize = 3,
        soShowNoActivate = 4,
        soShow = 5,
        soMinimize = 6,
        soShowMinNoActive = 7,
        soShowNA = 8,
        soRestore = 9,
        soDefault = 10,
    };
    Q_ENUM(TsWindowShowMode)

private:
    Q_PROPERTY(QFont HoverFont READ HoverFont WRITE setHoverFont)
    Q_PROPERTY(QColor HoverFontColor READ HoverFontColor WRITE setHoverFontColor)
    Q_PROPERTY(QString URL READ URL WRITE setURL)
    Q_PROPERTY(TsWindowShowMode ShowMode READ ShowMode WRITE setShowMode)

public:
    explicit TsWebLabel(QWidget* parent = nullptr);

    // The font and text colour while the pointer is over the label. Setting
    // them neither re-measures nor repaints the label.
    QFont HoverFont() const { return m_hoverFont; }
    void setHoverFont(const QFont& font);
    QColor HoverFontColor() const { return m_hoverFontColor; }
    void setHoverFontColor(const QColor& color);

    QString URL() const { return m_url; }
    void setURL(const QString& url) { m_url = url; }
    TsWindowShowMode ShowMode() const { return m_showMode; }
    void setShowMode(TsWindowShowMode mode) { m_showMode = mode; }

protected:
    QFont currentFont() const override;
    QColor currentFontColor() const override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QFont m_hoverFont;
    QColor m_hoverFontColor;
    QString m_url;
    TsWindowShowMode m_showMode = soDefault;
};
