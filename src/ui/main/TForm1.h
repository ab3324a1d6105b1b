// The main window: the directory grid, the search box, the sort buttons, the
// menu that opens the side windows. It owns the database connection and the
// directory table.
#pragma once

#include "data/Connection.h"
#include "data/Table.h"

#include <QMainWindow>
#include <QScopedPointer>

namespace Ui {
class TForm1;
}

class DataSource;

class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1* ui() const { return m_ui.data(); }

    Connection ADOConnection1;
    Table ADOTable1;
    DataSource* DataSource1 = nullptr;

    // The application title set once the database is open.
    static QString applicationTitle();

    // The session is ending: saves an edit still pending in the grid, or,
    // when the file refuses it, drops it, so nothing is left half-done.
    void endSession();

    void FormCreate(QObject* Sender);
    void FormActivate(QObject* Sender);
    // The application's message hook while the main window lives: turns
    // every vertical wheel event into an arrow key press for the focused
    // control (Handled: the event went no further).
    void MouseWheelHook(QObject* Receiver, QEvent* Msg, bool& Handled);
    void Button3Click(QObject* Sender);
    void ADOTable1BeforeInsert(Table& DataSet);
    void DBGrid1KeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void N5Click(QObject* Sender);
    void N1Click(QObject* Sender);
    void N4Click(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Button2Click(QObject* Sender);
    void RadioButton3Click(QObject* Sender);
    void RadioButton4Click(QObject* Sender);
    void RadioButton5Click(QObject* Sender);
    void RadioButton6Click(QObject* Sender);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void connectHandlers();

    const QScopedPointer<Ui::TForm1> m_ui;
    bool m_placed = false;
};

extern TForm1* Form1;
