// The about window: what the directory is and where a newer copy is found.
#pragma once

#include "ui/widgets/SecondaryWindow.h"

#include <QScopedPointer>

namespace Ui {
class TFmAbout;
}

class TFmAbout : public SecondaryWindow
{
    Q_OBJECT

public:
    explicit TFmAbout(QWidget* owner);
    ~TFmAbout() override;

    Ui::TFmAbout* ui() const { return m_ui.data(); }

    void Button1Click(QObject* Sender);

private:
    const QScopedPointer<Ui::TFmAbout> m_ui;
};

extern TFmAbout* FmAbout;
