// The window that tells how to get a firm into the directory: a letter to
// the maker's mail address; it also links to the maker's pages.
#pragma once

#include "ui/info/InfoWindow.h"

#include <QScopedPointer>

namespace Ui {
class TFmAddRecord;
}

class TFmAddRecord : public InfoWindow {
    Q_OBJECT

public:
    explicit TFmAddRecord(QWidget* owner);
    ~TFmAddRecord() override;

    void Button1Click(QObject* Sender);

private:
    const QScopedPointer<Ui::TFmAddRecord> m_ui;
};

extern TFmAddRecord* FmAddRecord;
