// What every side window (bus timetables, add-record, about) does to the
// main window: while it is shown the main window takes no input yet keeps its
// look, any close gives the input back, and a minimise while it is shown is
// undone. Input is sent through the window system, where modality acts.
#include "ui/bus/TFrmCar.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/widgets/HoverGroup.h"
#include "ui/widgets/ModalOnScreen.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using MakeWindow = std::function<SecondaryWindow*(QWidget*)>;
using CloseWindow = std::function<void(SecondaryWindow*)>;
Q_DECLARE_METATYPE(MakeWindow)
Q_DECLARE_METATYPE(CloseWindow)

class TestSecondaryWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mainWindowTakesInputOnlyWhileNoSideWindowIsShown_data();
    void mainWindowTakesInputOnlyWhileNoSideWindowIsShown();
    void minimiseWhileShownIsUndone_data();
    void minimiseWhileShownIsUndone();
    void minimiseWithNoSideWindowStays();

private:
    void addWindows();
    // A real click on the main window's button, through the window system.
    void clickMain();

    std::unique_ptr<QWidget> m_main;
    QPushButton* m_button = nullptr;
    SecondaryWindow* m_side = nullptr;
};

void TestSecondaryWindow::init()
{
    m_main = std::make_unique<QWidget>();
    m_main->resize(500, 400);
    m_button = new QPushButton(QStringLiteral("button"), m_main.get());
    m_button->setGeometry(10, 10, 100, 30);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
}

void TestSecondaryWindow::cleanup()
{
    m_side = nullptr;
    m_main.reset(); // the side window with it, its child
}

void TestSecondaryWindow::clickMain()
{
    QTest::mouseClick(m_main->windowHandle(), Qt::LeftButton, {}, m_button->geometry().center());
}

void TestSecondaryWindow::addWindows()
{
    QTest::addColumn<MakeWindow>("make");
    QTest::addColumn<CloseWindow>("close");
    const MakeWindow bus = [](QWidget* owner) {
        static HoverGroup hover;
        return new TFrmCar(owner, hover);
    };
    const MakeWindow add = [](QWidget* owner) { return new TFmAddRecord(owner); };
    const MakeWindow about = [](QWidget* owner) { return new TFmAbout(owner); };
    // The window manager's close: the close box, Alt+F4, a taskbar menu.
    const CloseWindow wmClose = [](SecondaryWindow* w) { QVERIFY(w->close()); };
    const CloseWindow closeButton = [](SecondaryWindow* w) {
        auto* button = w->findChild<QPushButton*>(QStringLiteral("Button1"));
        QVERIFY(button);
        QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, button->mapTo(w, button->rect().center()));
    };
    QTest::newRow("bus, close box") << bus << wmClose;
    QTest::newRow("add-record, Закрыть") << add << closeButton;
    QTest::newRow("add-record, window manager") << add << wmClose;
    QTest::newRow("about, Закрыть") << about << closeButton;
    QTest::newRow("about, window manager") << about << wmClose;
}

void TestSecondaryWindow::mainWindowTakesInputOnlyWhileNoSideWindowIsShown_data()
{
    addWindows();
}

void TestSecondaryWindow::mainWindowTakesInputOnlyWhileNoSideWindowIsShown()
{
    QFETCH(MakeWindow, make);
    QFETCH(CloseWindow, close);
    QSignalSpy clicks(m_button, &QPushButton::clicked);
    m_side = make(m_main.get());
    for (int round = 0; round < 2; ++round) {
        m_side->showAndActivate();
        QVERIFY(QTest::qWaitForWindowActive(m_side));
        clickMain();
        QTest::keyClick(m_main->windowHandle(), Qt::Key_Space);
        QCOMPARE(clicks.count(), round);
        QVERIFY(modal::blocked(m_button));
        // It keeps its look: nothing in it is drawn disabled.
        QVERIFY(m_main->isEnabled() && m_button->isEnabled());
        // Coming back to the main window changes nothing.
        m_main->activateWindow();
        QTest::qWait(50);
        clickMain();
        QCOMPARE(clicks.count(), round);

        close(m_side);
        QTRY_VERIFY(!m_side->isVisible());
        QVERIFY(!modal::blocked(m_button));
        clickMain();
        QCOMPARE(clicks.count(), round + 1);
    }
}

void TestSecondaryWindow::minimiseWhileShownIsUndone_data()
{
    QTest::addColumn<bool>("side");
    QTest::addColumn<bool>("main");
    QTest::newRow("the side window alone") << true << false;
    // What openbox does on the side window's minimise button.
    QTest::newRow("both") << true << true;
    QTest::newRow("the main window alone") << false << true;
}

void TestSecondaryWindow::minimiseWhileShownIsUndone()
{
    QFETCH(bool, side);
    QFETCH(bool, main);
    m_side = new TFmAddRecord(m_main.get());
    m_side->showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_side));
    if (main)
        m_main->setWindowState(Qt::WindowMinimized);
    if (side)
        m_side->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(!m_side->isMinimized() && !m_main->isMinimized());
    QVERIFY(m_side->isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), m_side);
    QVERIFY(modal::blocked(m_button));
}

void TestSecondaryWindow::minimiseWithNoSideWindowStays()
{
    m_side = new TFmAddRecord(m_main.get());
    m_side->showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_side));
    m_side->close();
    m_main->setWindowState(Qt::WindowMinimized);
    QTest::qWait(100);
    QVERIFY(m_main->isMinimized());
}

QTEST_MAIN(TestSecondaryWindow)
#include "tst_secondarywindow.moc"
