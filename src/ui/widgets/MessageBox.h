// Message boxes of the program, with a hook that lets tests answer them
// without a person: the next answers are taken from a queue and every box
// asked for is recorded.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QVector>

class MessageBox {
public:
    struct Shown {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
        const QString& text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton);

    // The confirmation question of the data grid: OK or Cancel.
    static bool confirm(QWidget* parent, const QString& title, const QString& text);

    // The program is ending: every box still waiting is answered at once as
    // if cancelled (where it has no Cancel button, with its default button),
    // and every box asked for from now on is answered so without being shown;
    // its text goes to the console.
    static void endSession();

    // For tests: answer the next box with this button instead of showing it.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static void clearNextAnswers();
    // For tests: a box with no queued answer takes its default button.
    static void setAnswerWithDefault(bool on);
    static const QVector<Shown>& shown();
    static void clearShown();

private:
    static QVector<QMessageBox::StandardButton>& answers();
    static QVector<Shown>& log();
    static bool& answerWithDefault();
};
