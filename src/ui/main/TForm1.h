// The main window: the directory grid, the search box, the sort buttons, the
// category catalogue on the right-hand panel, the menu that opens the side
// windows. It owns the database connection and the directory table, and the
// hover reset shared with the bus window.
#pragma once

#include "data/Connection.h"
#include "data/Table.h"

#include <QMainWindow>
#include <QScopedPointer>
#include <QTimer>

#include <vector>

namespace Ui {
class TForm1;
}

class DataSource;
class HoverGroup;
class TextLabel;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // hover: the labels that light up under the pointer, in every window;
    // the catalogue items join it.
    explicit TForm1(HoverGroup& hover, QWidget* parent = nullptr);
    ~TForm1() override;

    Connection ADOConnection1;
    Table ADOTable1;
    DataSource* DataSource1 = nullptr;

    // The application title set once the database is open.
    static QString applicationTitle();

    // The session is ending: saves an edit still pending in the grid, or,
    // when the file refuses it, drops it, so nothing is left half-done.
    void endSession();

    // The handlers keep the names of the controls and events that first
    // used them; what each one does:
    // Opens the database beside the program, sets the title, clears the
    // category and writes the launchers.
    void FormCreate(QObject* Sender);
    // Puts the wheel hook in place at every activation.
    void FormActivate(QObject* Sender);
    // The application's message hook while the main window lives: turns
    // every vertical wheel event into an arrow key press for the focused
    // control (Handled: the event went no further).
    void MouseWheelHook(QObject* Receiver, QEvent* Msg, bool& Handled);
    // Writes the launchers (the click routine of a hidden button).
    void Button3Click(QObject* Sender);
    // Vetoes every new record, silently.
    void ADOTable1BeforeInsert(Table& DataSet);
    // Keeps Down on the last record from adding one.
    void DBGrid1KeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    // Menu: the bus timetables, the add-record window, the about window.
    void N5Click(QObject* Sender);
    void N1Click(QObject* Sender);
    void N4Click(QObject* Sender);
    // The search: the firms whose names begin with the search box's text,
    // by name (also at every change of the text).
    void Button1Click(QObject* Sender);
    // "Очистить": empties the search box and the category.
    void Button2Click(QObject* Sender);
    // The sort buttons: by name, address, telephone, kind of activity.
    void RadioButton3Click(QObject* Sender);
    void RadioButton4Click(QObject* Sender);
    void RadioButton5Click(QObject* Sender);
    void RadioButton6Click(QObject* Sender);

    // The catalogue: a click on any label chooses its category.
    void Label3Click(QObject* Sender);

    // Hover highlighting: nach() gives every hoverable label of this window
    // and of the bus window the idle colour (the hover group's reset).
    void nach();
    void Label112MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);
    void Image2MouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, int X, int Y);

    // The 99 item labels of the catalogue, in catalogue order.
    const std::vector<TextLabel*>& catalogueItems() const { return m_catalogueItems; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildCatalogue();
    void finishEditForSideWindow();
    void connectHandlers();
    void keepNormalSize();

    const QScopedPointer<Ui::TForm1> m_ui;
    HoverGroup& m_hover;
    std::vector<TextLabel*> m_catalogueItems;
    bool m_placed = false;
    QSize m_normalSize;
    QTimer m_sizeCheck;
};

extern TForm1* Form1;
