// The city bus timetable window: the routes in a column of labels on the
// left; a click on one shows the names of its two terminal stops and the
// departure times from each on the right. The timetable itself is the data
// of Timetable.h; the window builds its route labels from it.
#pragma once

#include "ui/widgets/SecondaryWindow.h"

#include <QScopedPointer>

#include <array>
#include <string_view>

namespace Ui {
class TFrmCar;
}

class HoverGroup;
class TextLabel;

class TFrmCar : public SecondaryWindow {
    Q_OBJECT

public:
    // hover: the labels that light up under the pointer, in every window;
    // the route labels join it.
    TFrmCar(QWidget* owner, HoverGroup& hover);
    ~TFrmCar() override;

    // Label1 … Label20, the labels of this window in the hover group: the
    // route labels and the heading Label19 (index n-1 holds Labeln).
    const std::array<TextLabel*, 20>& hoverLabels() const { return m_hoverLabels; }

    void FormClose(QObject* Sender);

    void Label1Click(QObject* Sender);
    void Label2Click(QObject* Sender);
    void Label3Click(QObject* Sender);
    void Label4Click(QObject* Sender);
    void Label5Click(QObject* Sender);
    void Label6Click(QObject* Sender);
    void Label7Click(QObject* Sender);
    void Label8Click(QObject* Sender);
    void Label9Click(QObject* Sender);
    void Label10Click(QObject* Sender);
    void Label11Click(QObject* Sender);
    void Label12Click(QObject* Sender);
    void Label13Click(QObject* Sender);
    void Label14Click(QObject* Sender);
    void Label15Click(QObject* Sender);
    void Label16Click(QObject* Sender);
    void Label17Click(QObject* Sender);
    void Label18Click(QObject* Sender);
    void Label19Click(QObject* Sender);

    void Label1MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
    void Image1MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);

protected:
    void windowClosed() override;

private:
    void buildRouteLabels();
    void connectHandlers();
    void restack();
    void showRoute(std::string_view labelName);

    const QScopedPointer<Ui::TFrmCar> m_ui;
    HoverGroup& m_hover;
    std::array<TextLabel*, 20> m_hoverLabels {};
};

extern TFrmCar* FrmCar;
