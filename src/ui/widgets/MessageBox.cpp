#include "ui/widgets/MessageBox.h"

QVector<QMessageBox::StandardButton>& MessageBox::answers()
{
    static QVector<QMessageBox::StandardButton> queue;
    return queue;
}

QVector<MessageBox::Shown>& MessageBox::log()
{
    static QVector<Shown> entries;
    return entries;
}

bool& MessageBox::answerWithDefault()
{
    static bool on = false;
    return on;
}

void MessageBox::setAnswerWithDefault(bool on)
{
    answerWithDefault() = on;
}

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                             const QString& text, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    log().append({icon, title, text});
    if (!answers().isEmpty())
        return answers().takeFirst();
    if (answerWithDefault())
        return defaultButton;
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    box.setObjectName(QStringLiteral("MessageBox"));
    return QMessageBox::StandardButton(box.exec());
}

bool MessageBox::confirm(QWidget* parent, const QString& title, const QString& text)
{
    return show(parent, QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                QMessageBox::Ok)
        == QMessageBox::Ok;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    answers().append(answer);
}

void MessageBox::clearNextAnswers()
{
    answers().clear();
}

const QVector<MessageBox::Shown>& MessageBox::shown()
{
    return log();
}

void MessageBox::clearShown()
{
    log().clear();
}
