#include "ui/widgets/MessageBox.h"

#include <QEvent>
#include <QTimer>

namespace {

// A box waits for its answer while the rest of the program takes no input.
// Minimised on its own (window managers offer that on every window) it would
// leave the program waiting with nothing to answer on screen, so it comes
// straight back; minimised together with its owner, the two come back
// together.
class KeepOnScreen : public QObject
{
public:
    explicit KeepOnScreen(QWidget* box)
        : QObject(box)
        , m_box(box)
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_box && event->type() == QEvent::WindowStateChange && m_box->isMinimized()
            && !ownerMinimized()) {
            QTimer::singleShot(0, m_box, [this] {
                if (m_box->isVisible() && m_box->isMinimized() && !ownerMinimized()) {
                    m_box->setWindowState(m_box->windowState() & ~Qt::WindowMinimized);
                    m_box->show();
                    m_box->raise();
                    m_box->activateWindow();
                }
            });
        }
        return false;
    }

private:
    bool ownerMinimized() const
    {
        const QWidget* owner = m_box->parentWidget() ? m_box->parentWidget()->window() : nullptr;
        return owner && owner->isMinimized();
    }

    QWidget* m_box;
};

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
    new KeepOnScreen(&box);
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
