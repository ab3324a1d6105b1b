// A picture window that is created with the others and never shown.
#pragma once

#include <QScopedPointer>
#include <QWidget>

namespace Ui {
class TForm2;
}

class TForm2 : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

private:
    const QScopedPointer<Ui::TForm2> m_ui;
};

extern TForm2* Form2;
