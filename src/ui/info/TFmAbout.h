// The about window: what the directory is and where a newer copy is found,
// with the slowly rising credits and the links to the maker's pages.
#pragma once

#include "ui/info/InfoWindow.h"

#include <QScopedPointer>

class QTimer;

namespace Ui {
class TFmAbout;
}

class TFmAbout : public InfoWindow {
    Q_OBJECT

public:
    explicit TFmAbout(QWidget* owner);
    ~TFmAbout() override;

    void FormActivate(QObject* Sender) override;
    void Timer1Timer(QObject* Sender);
    void Button1Click(QObject* Sender);

protected:
    void windowClosed() override;

private:
    const QScopedPointer<Ui::TFmAbout> m_ui;
    QTimer* const m_timer1;
};

extern TFmAbout* FmAbout;
