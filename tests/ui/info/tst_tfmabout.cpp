// The about window: its layout, the credits scroll driven tick by tick, its
// links, and the main window's input around showing and closing it.
#include "../../common/Controls.h"
#include "Fixture.h"
#include "UrlRecorder.h"

#include "app/Fonts.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TsWebLabel.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

class TestTFmAbout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The windows are laid out for the program's bundled font.
        Q_INIT_RESOURCE(fonts);
        QVERIFY(!fonts::installSubstituteFont().isEmpty());
    }
    void init();
    void cleanup();

    void controlsStandInTheirPlaces();
    void linksShowTheMakersAddresses();
    void windowAsksForATitleBarWithoutButtons();
    void firstTickLiftsTheCreditsOnePixel();
    void creditsComeBackAfter197Ticks();
    void runningTimerScrollsTheCredits();
    void scrollResumesWhereItStopped();
    void closeButtonGivesTheMainWindowBack();
    void anyCloseGivesTheMainWindowBackAndStopsTheScroll();
    void minimisingAloneIsUndone();
    void centredFirstThenWhereItWasLeft();
    void linksOpenTheirAddresses_data();
    void linksOpenTheirAddresses();

private:
    void showAbout();
    QWidget* panel1() const { return control<QFrame>(m_about.get(), "Panel1"); }
    QTimer* timer() const { return m_about->findChild<QTimer*>(QStringLiteral("Timer1")); }

    std::unique_ptr<UrlRecorder> m_urls;
    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<TFmAbout> m_about;
};

void TestTFmAbout::init()
{
    m_urls = std::make_unique<UrlRecorder>();
    m_main = std::make_unique<QWidget>();
    m_main->setWindowTitle(QStringLiteral("main"));
    m_main->resize(600, 500);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    m_about = std::make_unique<TFmAbout>(m_main.get());
}

void TestTFmAbout::cleanup()
{
    m_about.reset();
    m_main.reset();
    QCOMPARE(m_urls->escaped(), QString());
    m_urls.reset();
}

void TestTFmAbout::showAbout()
{
    m_about->showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_about.get()));
}

void TestTFmAbout::controlsStandInTheirPlaces()
{
    QCOMPARE(FmAbout, m_about.get());
    QCOMPARE(m_about->windowTitle(), QStringLiteral("О программе..."));
    QCOMPARE(m_about->size(), QSize(413, 290));
    QCOMPARE(m_about->minimumSize(), m_about->maximumSize());
    QCOMPARE(control<QFrame>(m_about.get(), "Panel1")->geometry(), QRect(120, 175, 241, 95));
    // Fonts: the layout's points are the pixel sizes the window was drawn with.
    QCOMPARE(control<QLabel>(m_about.get(), "Label1")->font().pixelSize(), 16);
    QVERIFY(control<QLabel>(m_about.get(), "Label1")->font().bold());
    QCOMPARE(control<QLabel>(m_about.get(), "Label6")->font().pixelSize(), 11);
    QVERIFY(control<TsWebLabel>(m_about.get(), "sWebLabel1")->font().bold()
        && control<TsWebLabel>(m_about.get(), "sWebLabel1")->font().underline());
    QVERIFY(!control<TsWebLabel>(m_about.get(), "sWebLabel3")->font().bold()
        && control<TsWebLabel>(m_about.get(), "sWebLabel3")->font().underline());
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel1")->HoverFont().pixelSize(), 11);
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel1")->HoverFontColor(), QColor(Qt::red));
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel1")->FontColor(), QColor(Qt::blue));
    // The footer links sit seamlessly on the footer; the mail link is a box
    // of the same light blue over the credits.
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel1")->Color(), QColor(185, 242, 253));
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel2")->Color(), QColor(185, 242, 253));
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel3")->Color(), QColor(185, 242, 253));
    // Stacking: the credits panel lies under the header and the footer.
    const QObjectList children = m_about->children();
    QVERIFY(children.indexOf(control<QFrame>(m_about.get(), "Panel1"))
        < children.indexOf(control<QFrame>(m_about.get(), "Panel2")));
    QVERIFY(children.indexOf(control<QFrame>(m_about.get(), "Panel1"))
        < children.indexOf(control<QFrame>(m_about.get(), "Panel3")));
    // The footer captions end before their links.
    const auto inkEnd = [](QLabel* label) {
        return label->x() + QFontMetrics(label->font()).horizontalAdvance(label->text().trimmed());
    };
    QVERIFY(inkEnd(control<QLabel>(m_about.get(), "Label6")) < control<TsWebLabel>(m_about.get(), "sWebLabel1")->x());
    QVERIFY(inkEnd(control<QLabel>(m_about.get(), "Label10")) < control<TsWebLabel>(m_about.get(), "sWebLabel2")->x());
    // The mail caption stands just before the address, both inside the panel.
    QCOMPARE(control<QLabel>(m_about.get(), "Label8")->geometry().right() + 3,
        control<TsWebLabel>(m_about.get(), "sWebLabel3")->x());
    QVERIFY(control<QLabel>(m_about.get(), "Label8")->x() >= 0);
    QVERIFY(control<TsWebLabel>(m_about.get(), "sWebLabel3")->geometry().right()
        < control<QFrame>(m_about.get(), "Panel1")->width());
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel3")->y(), 82);
    QCOMPARE(control<QLabel>(m_about.get(), "Label8")->y(), 83);
}

void TestTFmAbout::linksShowTheMakersAddresses()
{
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel1")->Caption(), QStringLiteral("http://svetsoft.ru/sarwino"));
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel2")->Caption(), QStringLiteral("http://svetsoft.ru/kordon"));
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel3")->Caption(), QStringLiteral("info@svetsoft.ru"));
    for (TsWebLabel* link : { control<TsWebLabel>(m_about.get(), "sWebLabel1"),
             control<TsWebLabel>(m_about.get(), "sWebLabel2"), control<TsWebLabel>(m_about.get(), "sWebLabel3") }) {
        QVERIFY(link->URL().isEmpty());
        QCOMPARE(link->height(), QFontMetrics(link->font()).height());
        QCOMPARE(
            link->width(), QFontMetrics(link->font()).boundingRect(QRect(0, 0, 1000, 100), 0, link->Caption()).width());
    }
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel1")->pos(), QPoint(224, 45));
    QCOMPARE(control<TsWebLabel>(m_about.get(), "sWebLabel2")->pos(), QPoint(224, 61));
}

void TestTFmAbout::windowAsksForATitleBarWithoutButtons()
{
    const Qt::WindowFlags flags = m_about->windowFlags();
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(flags & Qt::CustomizeWindowHint);
    for (Qt::WindowType button : { Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint,
             Qt::WindowCloseButtonHint, Qt::WindowContextHelpButtonHint })
        QVERIFY(!(flags & button));
}

void TestTFmAbout::firstTickLiftsTheCreditsOnePixel()
{
    QVERIFY(!timer()->isActive());
    QCOMPARE(timer()->interval(), 150);
    QCOMPARE(panel1()->y(), 175);
    m_about->Timer1Timer(timer());
    QCOMPARE(panel1()->pos(), QPoint(120, 174));
}

void TestTFmAbout::creditsComeBackAfter197Ticks()
{
    int lowest = panel1()->y();
    for (int tick = 1; tick <= 197; ++tick) {
        m_about->Timer1Timer(timer());
        lowest = qMin(lowest, panel1()->y());
        if (tick < 197)
            QCOMPARE(panel1()->y(), 175 - tick);
    }
    QCOMPARE(panel1()->y(), 175);
    QCOMPARE(lowest, -21);
    m_about->Timer1Timer(timer());
    QCOMPARE(panel1()->y(), 174);
}

void TestTFmAbout::runningTimerScrollsTheCredits()
{
    FIXTURE_STEP(showAbout());
    QTRY_VERIFY(timer()->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(panel1()->y() <= 173, 3000);
}

void TestTFmAbout::scrollResumesWhereItStopped()
{
    FIXTURE_STEP(showAbout());
    QTRY_VERIFY(timer()->isActive());
    timer()->stop(); // the test moves the credits itself
    for (int i = 0; i < 40; ++i)
        m_about->Timer1Timer(timer());
    QCOMPARE(panel1()->y(), 135);
    QTest::mouseClick(control<QPushButton>(m_about.get(), "Button1"), Qt::LeftButton);
    QVERIFY(!m_about->isVisible());
    QVERIFY(!timer()->isActive());
    QCOMPARE(panel1()->y(), 135);
    FIXTURE_STEP(showAbout());
    QTRY_VERIFY(timer()->isActive());
    timer()->stop();
    QCOMPARE(panel1()->y(), 135);
    m_about->Timer1Timer(timer());
    QCOMPARE(panel1()->y(), 134);
}

void TestTFmAbout::closeButtonGivesTheMainWindowBack()
{
    QVERIFY(!QApplication::activeModalWidget());
    FIXTURE_STEP(showAbout());
    QTRY_COMPARE(QApplication::activeModalWidget(), m_about.get());
    // Coming back to it keeps the main window disabled.
    m_main->activateWindow();
    QTest::qWait(50);
    m_about->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_about.get()));
    QCOMPARE(QApplication::activeModalWidget(), m_about.get());
    QTest::mouseClick(control<QPushButton>(m_about.get(), "Button1"), Qt::LeftButton);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!m_about->isVisible());
    QVERIFY(!timer()->isActive());
}

void TestTFmAbout::anyCloseGivesTheMainWindowBackAndStopsTheScroll()
{
    FIXTURE_STEP(showAbout());
    QTRY_COMPARE(QApplication::activeModalWidget(), m_about.get());
    QTRY_VERIFY(timer()->isActive());
    // What a window manager's close (Alt+F4, a taskbar menu) comes to.
    QVERIFY(m_about->close());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!timer()->isActive());
    QVERIFY(!m_about->isVisible());
}

void TestTFmAbout::minimisingAloneIsUndone()
{
    FIXTURE_STEP(showAbout());
    QTRY_COMPARE(QApplication::activeModalWidget(), m_about.get());
    m_about->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(!m_about->isMinimized());
    QVERIFY(m_about->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), m_about.get());
}

void TestTFmAbout::centredFirstThenWhereItWasLeft()
{
    FIXTURE_STEP(showAbout());
    const QRect screen = m_main->screen()->availableGeometry();
    // Centred within the window manager's frame.
    QVERIFY(qAbs(m_about->frameGeometry().center().x() - screen.center().x()) <= 4);
    QVERIFY(qAbs(m_about->frameGeometry().center().y() - screen.center().y()) <= 4);
    m_about->move(30, 40);
    QTRY_COMPARE(m_about->pos(), QPoint(30, 40));
    QTest::mouseClick(control<QPushButton>(m_about.get(), "Button1"), Qt::LeftButton);
    FIXTURE_STEP(showAbout());
    QCOMPARE(m_about->pos(), QPoint(30, 40));
}

void TestTFmAbout::linksOpenTheirAddresses_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("address");

    QTest::newRow("product page") << "sWebLabel1"
                                  << "http://svetsoft.ru/sarwino";
    QTest::newRow("courses page") << "sWebLabel2"
                                  << "http://svetsoft.ru/kordon";
    QTest::newRow("mail") << "sWebLabel3"
                          << "mailto:info@svetsoft.ru";
}

void TestTFmAbout::linksOpenTheirAddresses()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    FIXTURE_STEP(showAbout());
    QTRY_VERIFY(timer()->isActive());
    timer()->stop();
    // The credits panel shows its link only once it has risen above the footer.
    for (int i = 0; i < 100; ++i)
        m_about->Timer1Timer(timer());
    auto* label = m_about->findChild<TsWebLabel*>(link);
    QVERIFY(label);
    QVERIFY(label->isVisible());
    QTest::mousePress(label, Qt::LeftButton, {}, label->rect().center());
    QVERIFY(m_urls->opened().isEmpty()); // the window's routine opens it on the click
    QTest::mouseRelease(label, Qt::LeftButton, {}, label->rect().center());
    QCOMPARE(m_urls->openedTexts(), QStringList { address });
}

QTEST_MAIN(TestTFmAbout)
#include "tst_tfmabout.moc"
