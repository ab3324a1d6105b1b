#include "ui/widgets/MessageBox.h"

#include "ui/widgets/ModalOnScreen.h"

#include <QAbstractButton>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>

namespace {

// The boxes waiting for an answer, innermost last.
QList<QPointer<QMessageBox>>& openBoxes()
{
    static QList<QPointer<QMessageBox>> boxes;
    return boxes;
}

bool& sessionEnded()
{
    static bool ended = false;
    return ended;
}

// The answer of a box no one is left to answer: Cancel where the box offers
// it, so nothing is done that the user did not agree to, else its default.
QMessageBox::StandardButton unseenAnswer(
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    return (buttons & QMessageBox::Cancel) ? QMessageBox::Cancel : defaultButton;
}

} // namespace

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
    const QString& text, QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    log().append({ icon, title, text });
    if (!answers().isEmpty())
        return answers().takeFirst();
    if (answerWithDefault())
        return defaultButton;
    if (sessionEnded()) {
        qWarning("%s: %s", qUtf8Printable(title), qUtf8Printable(text));
        return unseenAnswer(buttons, defaultButton);
    }
    QMessageBox box(icon, title, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    box.setObjectName(QStringLiteral("MessageBox"));
    modal::keepOnScreen();
    openBoxes().append(&box);
    const auto forget = qScopeGuard([&box] { openBoxes().removeAll(&box); });
    return QMessageBox::StandardButton(box.exec());
}

void MessageBox::endSession()
{
    sessionEnded() = true;
    // Innermost first: each answer ends that box's wait.
    const QList<QPointer<QMessageBox>> boxes = openBoxes();
    for (auto it = boxes.crbegin(); it != boxes.crend(); ++it) {
        QMessageBox* box = *it;
        if (!box)
            continue;
        const QMessageBox::StandardButton answer
            = unseenAnswer(box->standardButtons(), box->standardButton(box->defaultButton()));
        if (QAbstractButton* button = box->button(answer))
            button->click();
        else
            box->done(answer);
    }
}

bool MessageBox::confirm(QWidget* parent, const QString& title, const QString& text)
{
    return show(parent, QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
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
