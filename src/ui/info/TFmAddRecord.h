// The window that tells how to get a firm into the directory.
#pragma once

#include "ui/widgets/SecondaryWindow.h"

#include <QScopedPointer>

namespace Ui {
class TFmAddRecord;
}

class TFmAddRecord : public SecondaryWindow
{
    Q_OBJECT

public:
    explicit TFmAddRecord(QWidget* owner);
    ~TFmAddRecord() override;

    Ui::TFmAddRecord* ui() const { return m_ui.data(); }

    void Button1Click(QObject* Sender);

private:
    const QScopedPointer<Ui::TFmAddRecord> m_ui;
};

extern TFmAddRecord* FmAddRecord;
