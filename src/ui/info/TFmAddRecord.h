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
    TFmAddRecord();
    ~TFmAddRecord() override;

    Ui::TFmAddRecord* ui() const { return m_ui.data(); }

    void FormActivate(QObject* Sender) override;
    void Button1Click(QObject* Sender);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    const QScopedPointer<Ui::TFmAddRecord> m_ui;
};

extern TFmAddRecord* FmAddRecord;
