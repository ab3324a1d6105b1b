// The bus timetable window driven as a user drives it: its layout, the route
// clicks and what they show, the hover rules of its labels, closing and
// opening it again; and its pictures as shown: the dark background stretched
// over the whole window, the bus banner at its own size in a control one
// pixel wider, so that the control's last column shows the background
// beneath, both unchanged once a route is shown.
#include "../../common/Controls.h"
#include "../../common/PixelCheck.h"
#include "../../common/ProgramFixture.h"
#include "Fixture.h"

#include "app/Application.h"
#include "ui/bus/TFrmCar.h"
#include "ui/bus/Timetable.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/MessageBox.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/PictureLoader.h"
#include "ui/widgets/TextLabel.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
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
#include <QTest>

#include <memory>
#include <set>

namespace {

const QRgb aqua = qRgb(0, 255, 255);
const QRgb white = qRgb(255, 255, 255);
const QRgb yellow = qRgb(255, 255, 0);
const QColor navy(8, 13, 55);

QString spaces(int n)
{
    return QString(n, QLatin1Char(' '));
}

struct Shown {
    QString disp, jd, time1, time2, time3, time4;
};

} // namespace

Q_DECLARE_METATYPE(Shown)

class TestTFrmCar : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void timetableHasItsShape();
    void layoutOfTheWindow();
    void routeClickShowsItsEntry_data();
    void routeClickShowsItsEntry();
    void emptyTextsClearWhatWasThere();
    void firstTimesStayClearOfTheStopName();
    void chosenRouteTwoStopsHighlighting();
    void closingGivesBackTheMainWindowAndResets();
    void screenReaderChoosesARoute();

    void backgroundIsUniformNavy();
    void windowShowsNavyAroundTheTexts_data();
    void windowShowsNavyAroundTheTexts();
    void rowBelowTheBackgroundShowsTheWindowColour();
    void bannerIsDrawnAtItsOwnSize();
    void bannerControlsLastColumnShowsTheBackground();
    void chosenRouteLeavesThePicturesAlone();

private:
    TextLabel* label(const QString& name) const
    {
        return FrmCar->findChild<TextLabel*>(name, Qt::FindDirectChildrenOnly);
    }
    Shown shown() const;
    void open();
    void moveOver(QWidget* control, QPoint at = {});

    ProgramFixture m_program;
};

void TestTFrmCar::initTestCase()
{
    MessageBox::setAnswerWithDefault(true);
    m_program.makeDatabase();
}

void TestTFrmCar::cleanupTestCase()
{
    m_program.close();
}

void TestTFrmCar::init()
{
    MessageBox::clearShown();
    FIXTURE_STEP(m_program.openWindows());
    QVERIFY(Form1 && FrmCar);
}

void TestTFrmCar::cleanup()
{
    QVERIFY(MessageBox::shown().isEmpty());
    m_program.closeWindows();
}

void TestTFrmCar::open()
{
    control<QAction>(Form1, "N5")->trigger();
    QVERIFY(QTest::qWaitForWindowActive(FrmCar));
    QTRY_COMPARE(QApplication::activeModalWidget(), FrmCar);
}

// Through the bus window, as the window system delivers a move.
void TestTFrmCar::moveOver(QWidget* control, QPoint at)
{
    if (at.isNull())
        at = QPoint(3, control->height() / 2);
    const QPoint inWindow = control->mapTo(FrmCar, at);
    QCOMPARE(FrmCar->childAt(inWindow), control);
    QTest::mouseMove(FrmCar->windowHandle(), inWindow);
}

Shown TestTFrmCar::shown() const
{
    return { control<TextLabel>(FrmCar, "Disp")->text(), control<TextLabel>(FrmCar, "JD")->text(),
        control<TextLabel>(FrmCar, "Time1")->text(), control<TextLabel>(FrmCar, "Time2")->text(),
        control<TextLabel>(FrmCar, "Time3")->text(), control<TextLabel>(FrmCar, "Time4")->text() };
}

void TestTFrmCar::timetableHasItsShape()
{
    const auto routes = timetable::routes();
    QCOMPARE(int(routes.size()), 19);
    std::set<std::string_view> names;
    // Non-empty time texts per route, in timetable order.
    const int texts[] = { 4, 2, 2, 4, 4, 4, 2, 4, 2, 2, 2, 3, 2, 2, 2, 2, 2, 2, 2 };
    for (std::size_t i = 0; i < routes.size(); ++i) {
        const timetable::Route& r = routes[i];
        names.insert(r.labelName);
        int filled = 0;
        for (const timetable::TimeText& t : r.times)
            filled += !t.empty();
        QCOMPARE(filled, texts[i]);
        QVERIFY(r.times[0].leadingSpaces > 0 && r.times[2].leadingSpaces > 0);
        QCOMPARE(r.times[1].leadingSpaces + r.times[3].leadingSpaces, 0);
        QVERIFY(r.firstStop.starts_with("От ") && r.secondStop.starts_with("От "));
        QCOMPARE(r.top, r.labelName == "Label1" ? 72 : r.labelName == "Label20" ? 360 : 88 + 16 * int(i - 1));
    }
    QCOMPARE(int(names.size()), 19);
    QVERIFY(!names.count("Label19"));
    QVERIFY(names.count("Label20"));
}

void TestTFrmCar::layoutOfTheWindow()
{
    FIXTURE_STEP(open());
    QCOMPARE(FrmCar->windowTitle(), QStringLiteral("Городские автобусы"));
    QCOMPARE(FrmCar->size(), QSize(680, 490));
    QCOMPARE(FrmCar->minimumSize(), FrmCar->maximumSize());
    const Qt::WindowFlags flags = FrmCar->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    // The 31 controls in creation order, which is their stacking order.
    QStringList order;
    for (QObject* child : FrmCar->children())
        if (child->isWidgetType())
            order << child->objectName();
    QStringList expected = { QStringLiteral("Image1"), QStringLiteral("Image2") };
    for (int n = 2; n <= 18; ++n)
        expected << QStringLiteral("Label%1").arg(n);
    expected << QStringLiteral("Label1") << QStringLiteral("Disp") << QStringLiteral("Time1") << QStringLiteral("Time2")
             << QStringLiteral("JD") << QStringLiteral("Time3") << QStringLiteral("Time4") << QStringLiteral("Label19")
             << QStringLiteral("Label20") << QStringLiteral("Label21") << QStringLiteral("Label22")
             << QStringLiteral("Label23");
    QCOMPARE(order, expected);

    // Route labels: Left 8, one line of 11 pixels, aqua; only "Маршрут №2"
    // without its box.
    for (const timetable::Route& r : timetable::routes()) {
        TextLabel* l = label(QString::fromUtf8(r.labelName.data(), qsizetype(r.labelName.size())));
        QVERIFY(l);
        QCOMPARE(l->text(), QString::fromUtf8(r.caption.data(), qsizetype(r.caption.size())));
        QCOMPARE(l->geometry().topLeft(), QPoint(8, r.top));
        QCOMPARE(l->height(), 13);
        QCOMPARE(l->fontPixels(), 11);
        QCOMPARE(l->fontRgb(), aqua);
        QCOMPARE(l->transparent(), r.labelName == "Label1");
        QVERIFY(l->clickable() && l->hasMouseTracking());
    }
    QCOMPARE(label(QStringLiteral("Label6"))->text(), QStringLiteral("Маршрут №5а ")); // with its space
    const struct {
        QWidget* control;
        QRect place;
    } fixed[] = {
        { control<TextLabel>(FrmCar, "Time1"), { 231, 79, 290, 57 } },
        { control<TextLabel>(FrmCar, "Time2"), { 231, 118, 290, 73 } },
        { control<TextLabel>(FrmCar, "Time3"), { 231, 203, 298, 78 } },
        { control<TextLabel>(FrmCar, "Time4"), { 231, 242, 298, 78 } },
        { control<TextLabel>(FrmCar, "Label21"), { 8, 392, 513, 17 } },
        { control<TextLabel>(FrmCar, "Label22"), { 8, 408, 513, 17 } },
        { control<TextLabel>(FrmCar, "Label23"), { 8, 424, 513, 17 } },
    };
    for (const auto& f : fixed)
        QCOMPARE(f.control->geometry(), f.place);
    QCOMPARE(control<TextLabel>(FrmCar, "Disp")->pos(), QPoint(230, 77));
    QCOMPARE(control<TextLabel>(FrmCar, "JD")->pos(), QPoint(230, 200));
    QCOMPARE(control<TextLabel>(FrmCar, "Disp")->height(), 16);
    QVERIFY(control<TextLabel>(FrmCar, "Disp")->bold() && control<TextLabel>(FrmCar, "JD")->bold()
        && control<TextLabel>(FrmCar, "Label19")->bold());
    QCOMPARE(control<TextLabel>(FrmCar, "Disp")->fontPixels(), 13);
    QCOMPARE(control<TextLabel>(FrmCar, "Label19")->geometry().topLeft(), QPoint(8, 376));
    QCOMPARE(control<TextLabel>(FrmCar, "Time1")->fontRgb(), yellow);
    QCOMPARE(control<TextLabel>(FrmCar, "Label21")->fontRgb(), white);
    for (TextLabel* interval : { control<TextLabel>(FrmCar, "Label21"), control<TextLabel>(FrmCar, "Label22"),
             control<TextLabel>(FrmCar, "Label23") })
        QCOMPARE(interval->lineCount(), 1); // the interval lines fit their labels

    // Before the first click: no stop names, no times.
    QVERIFY(!control<TextLabel>(FrmCar, "Disp")->isVisible() && !control<TextLabel>(FrmCar, "JD")->isVisible());
    for (TextLabel* t : { control<TextLabel>(FrmCar, "Time1"), control<TextLabel>(FrmCar, "Time2"),
             control<TextLabel>(FrmCar, "Time3"), control<TextLabel>(FrmCar, "Time4") })
        QVERIFY(t->text().isEmpty());
}

void TestTFrmCar::routeClickShowsItsEntry_data()
{
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<Shown>("expected");
    const Shown route2 { QStringLiteral("От диспетчерской"), QStringLiteral("От ж/д вокзала"),
        spaces(46)
            + QStringLiteral("5.53; 6.08; 6.23; 6.38; 6.53; 7.08; 7.23; 7.38; 7.53; 8.08; 8.23; 8.38; 8.53; 9.08; "
                             "9.38; 9.53; 10.23; 10.38; 10.53; 11.08; 11.23; 11.38; 11.53; 12.08;"),
        QStringLiteral("12.23; 12.38; 12.53; 13.08; 13.23; 13.38; 13.53; 14.08; 14.23; 14.38; 14.53; 15.08; 15.23; "
                       "15.38; 15.53; 16.08; 16.23; 16.38; 16.53; 17.08; 17.23;17.38; 18.53; 19.08; 19.23; 19.38; "
                       "20.08; 20.23; 20.38; 20.53; 21.08; 21.23; 21.38; 21.53; 22.08;"),
        spaces(39)
            + QStringLiteral("6.23; 6.38; 6.53; 7.08; 7.23; 7.38; 7.53; 8.08; 8.23; 8.38; 8.53; 9.08; 9.23; 9.38; "
                             "10.08; 10.23; 10.53; 11.08; 11.23; 11.38; 11.53; 12.08; 12.23; 12.38; 12.53;"),
        QStringLiteral("13.08; 13.23; 13.38; 13.53; 14.08; 14.23; 14.38; 14.53; 15.08; 15.23; 15.38; 15;.53; 16.08; "
                       "16.23; 16.38; 16.53; 17.08; 17.23; 17.38; 17.53; 18.08; 18.38; 18.53; 19.23; 19.38; 19.53; "
                       "20.08; 20.23; 20.38; 20.53; 21.08; 21.23; 21.53; 22.23;") };
    QTest::newRow("Маршрут №2") << QStringLiteral("Label1") << route2;
    QTest::newRow("Маршрут №3") << QStringLiteral("Label2")
                                << Shown { QStringLiteral("От диспетчерской"), QStringLiteral("От поселка"),
                                       spaces(47)
                                           + QStringLiteral("6.10; 7.25; 8.35; 10.15; 11.25; 12.35; 13.45; 14.55; "
                                                            "16.05; 17.15; 18.55; 20.05; 21.15;"),
                                       QString(),
                                       spaces(30)
                                           + QStringLiteral("6.45; 8.00; 9.10; 10.50; 12.00; 13.10; 14.20; 15.30; "
                                                            "16.40; 17.50; 19.30; 20.40; 21.50;"),
                                       QString() };
    QTest::newRow("Маршрут №9")
        << QStringLiteral("Label9")
        << Shown { QStringLiteral("От диспетчерской"), QStringLiteral("От р/з \"Светлоборский\""),
               spaces(46)
                   + QStringLiteral("5.57; 6.25; 7.05; 7.37; 8.05; 9.17; 10.21; 10.50; 11.20; 12.01;12.38; 13.00; "
                                    "1341; 14.15; 14.47; 15.21; ; 16.00; 16.27; 16.55; 18.05; 18.37; 19.11; 19.40; "
                                    "20.17; 20.51;"),
               QString(),
               spaces(64)
                   + QStringLiteral("6.47; 7.15; 7.55; 8.27; 8.55; 9.35; 10.07; 11.11; 11.45; 12.17; 12.17; 12.51; "
                                    "13.25; 13.57; 14.25; 15.05; 15.37; 16.11; 16.45; 17.15; 17.51;18.55; 19.27; "
                                    "20.01; 20.35; 21.07; 21.41;"),
               QString() };
    QTest::newRow("Маршрут №10 ")
        << QStringLiteral("Label10")
        << Shown { QStringLiteral("От диспетчерской"), QStringLiteral("От с/о \"Мечта\""),
               spaces(46)
                   + QStringLiteral("6.00; 7.05; 8.10; 9.15; 10.15; 11.55; 13.00; 14.10; 15.15; 16.20; 17.25; 18.30; "
                                    "20.05; 21.10;"),
               QString(),
               spaces(36)
                   + QStringLiteral("6.40; 7.35; (с 1.01.06.03 г. 7.45); 8.50; 9.55; 11.30; 12.35; 13.40; 14.50; "
                                    "15.55; 17.00; 18.05; 19.10; 20.45; 21.50;"),
               QString() };
    QTest::newRow("Маршрут №11 ")
        << QStringLiteral("Label12")
        << Shown { QStringLiteral("От ж/д вокзала"), QStringLiteral("От поселка"),
               spaces(40)
                   + QStringLiteral("6.00; 6.30; 7.00; 7.30; 8.00; 8.30; 9.00; 9.30; 10.30; 11.00; 11.30; 12.00; "
                                    "13.00; 13.30; 14.00; 14.30; 15.00; 15.30; 16.00; 16.30; 17.00; 17.30; 19.00; "
                                    "19.30; 20.00; 20.30; 21.00;"),
               QString(),
               spaces(30)
                   + QStringLiteral("6.50; 7.30; 8.00; 8.30; 9.00; 9.30; 10.00; 10.30; 11.30; 12.00; 12.30; 13.00 "
                                    "(пересмена - до хлебзавода); 14.00 (пересмена - до хлебзавода);"),
               QStringLiteral("14.30 (пересмена - до хлебзавода); 15.30; 16.00; 16.30; 17.00; 17.30; 18.00; 18.30; "
                              "20.00; 20.30; 21.00; 21.30; 22.00;") };
    const Shown route19 { QStringLiteral("От ж/д вокзала"), QStringLiteral("От \"Романтики\""),
        spaces(39) + QStringLiteral("6.30; 7.50; 9.10; 11.30; 12.40; 14.05; 15.25; 16.45; 18.05; 20.25;"), QString(),
        spaces(40) + QStringLiteral("7.10; 8.30; 9.50; 12.05; 13.15; 14.45; 16.05; 17.25; 18.45; 21.05;"), QString() };
    for (const char* name : { "Label20", "Label19", "Label21", "Label22", "Label23" })
        QTest::newRow(name) << QString::fromLatin1(name) << route19;
}

void TestTFrmCar::routeClickShowsItsEntry()
{
    QFETCH(QString, clicked);
    QFETCH(Shown, expected);
    FIXTURE_STEP(open());
    QTest::mouseClick(label(clicked), Qt::LeftButton, {}, QPoint(3, 5));
    const Shown now = shown();
    QCOMPARE(now.disp, expected.disp);
    QCOMPARE(now.jd, expected.jd);
    QCOMPARE(now.time1, expected.time1);
    QCOMPARE(now.time2, expected.time2);
    QCOMPARE(now.time3, expected.time3);
    QCOMPARE(now.time4, expected.time4);
    QVERIFY(control<TextLabel>(FrmCar, "Disp")->isVisible() && control<TextLabel>(FrmCar, "JD")->isVisible());
    // Only "Маршрут №2" turns its own label yellow.
    for (TextLabel* l : FrmCar->hoverLabels())
        QCOMPARE(l->fontRgb(),
            clicked == QLatin1String("Label1") && l->objectName() == QLatin1String("Label1") ? yellow : aqua);
    // The same route again shows the same.
    QTest::mouseClick(label(clicked), Qt::LeftButton, {}, QPoint(3, 5));
    QCOMPARE(shown().time3, expected.time3);
}

void TestTFrmCar::emptyTextsClearWhatWasThere()
{
    FIXTURE_STEP(open());
    QTest::mouseClick(label(QStringLiteral("Label1")), Qt::LeftButton);
    QVERIFY(!shown().time2.isEmpty() && !shown().time4.isEmpty());
    QTest::mouseClick(label(QStringLiteral("Label2")), Qt::LeftButton);
    QVERIFY(shown().time2.isEmpty());
    QVERIFY(shown().time4.isEmpty());
    QCOMPARE(shown().jd, QStringLiteral("От поселка"));
}

// The stop names are bold and wider than the spaces that the first time
// texts start with may be in another font; in the program's font every first
// line of times starts to the right of its stop name, every text fits its
// label, and the first text of a direction never runs into the second.
void TestTFrmCar::firstTimesStayClearOfTheStopName()
{
    FIXTURE_STEP(open());
    for (const timetable::Route& r : timetable::routes()) {
        const QString name = QString::fromUtf8(r.labelName.data(), qsizetype(r.labelName.size()));
        label(name)->click();
        const struct {
            TextLabel* stop;
            TextLabel* first;
            TextLabel* second;
        } directions[] = { { control<TextLabel>(FrmCar, "Disp"), control<TextLabel>(FrmCar, "Time1"),
                               control<TextLabel>(FrmCar, "Time2") },
            { control<TextLabel>(FrmCar, "JD"), control<TextLabel>(FrmCar, "Time3"),
                control<TextLabel>(FrmCar, "Time4") } };
        for (const auto& d : directions) {
            const qreal stopEnd = d.stop->x() + d.stop->width();
            const qreal timesStart = d.first->x() + d.first->firstCharacterX();
            QVERIFY2(timesStart > stopEnd + 1,
                qPrintable(QStringLiteral("%1 %2: times at %3, stop name ends at %4")
                               .arg(name, d.first->objectName())
                               .arg(timesStart)
                               .arg(stopEnd)));
            const int lineHeight = 13;
            QVERIFY2(d.first->lineCount() * lineHeight <= d.first->height(), qPrintable(name));
            QVERIFY2(d.second->lineCount() * lineHeight <= d.second->height() || d.second->text().isEmpty(),
                qPrintable(name));
            if (!d.second->text().isEmpty())
                QVERIFY2(d.first->y() + d.first->lineCount() * lineHeight <= d.second->y(),
                    qPrintable(name + QStringLiteral(": the first text runs into the second")));
        }
    }
}

void TestTFrmCar::chosenRouteTwoStopsHighlighting()
{
    FIXTURE_STEP(open());
    TextLabel* route2 = label(QStringLiteral("Label1"));
    TextLabel* route5 = label(QStringLiteral("Label5"));
    FIXTURE_STEP(moveOver(route5));
    QCOMPARE(route5->fontRgb(), white);
    QTest::mouseClick(route2, Qt::LeftButton);
    QCOMPARE(route2->fontRgb(), yellow);
    QCOMPARE(route5->fontRgb(), white); // a click changes no other colour
    // While "Маршрут №2" is yellow the route labels do not react.
    FIXTURE_STEP(moveOver(label(QStringLiteral("Label7"))));
    FIXTURE_STEP(moveOver(route2, QPoint(5, 6)));
    QCOMPARE(route2->fontRgb(), yellow);
    QCOMPARE(label(QStringLiteral("Label7"))->fontRgb(), aqua);
    QCOMPARE(route5->fontRgb(), white);
    // The timetable texts, the heading and the interval lines leave it as it is.
    FIXTURE_STEP(moveOver(control<TextLabel>(FrmCar, "Time3"), QPoint(250, 5)));
    FIXTURE_STEP(moveOver(control<TextLabel>(FrmCar, "Label19")));
    FIXTURE_STEP(moveOver(control<TextLabel>(FrmCar, "Label22")));
    QCOMPARE(route2->fontRgb(), yellow);
    // The background resets everything; then routes light up again.
    FIXTURE_STEP(moveOver(control<PictureBox>(FrmCar, "Image1"), QPoint(600, 450)));
    QCOMPARE(route2->fontRgb(), aqua);
    QCOMPARE(route5->fontRgb(), aqua);
    FIXTURE_STEP(moveOver(label(QStringLiteral("Label7"))));
    QCOMPARE(label(QStringLiteral("Label7"))->fontRgb(), white);
    FIXTURE_STEP(moveOver(route2));
    QCOMPARE(route2->fontRgb(), white);
    QCOMPARE(label(QStringLiteral("Label7"))->fontRgb(), aqua);
}

void TestTFrmCar::closingGivesBackTheMainWindowAndResets()
{
    FIXTURE_STEP(open());
    QTest::mouseClick(label(QStringLiteral("Label1")), Qt::LeftButton);
    QTest::mouseClick(label(QStringLiteral("Label8")), Qt::LeftButton);
    const Shown before = shown();
    FrmCar->move(FrmCar->pos() + QPoint(40, 30));
    const QPoint place = FrmCar->pos();
    FrmCar->close();
    QVERIFY(!FrmCar->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    for (TextLabel* l : FrmCar->hoverLabels())
        QCOMPARE(l->fontRgb(), aqua);
    // Open again: the last route, where the window was left, the main
    // window disabled again.
    FIXTURE_STEP(open());
    QCOMPARE(FrmCar->pos(), place);
    QCOMPARE(shown().time1, before.time1);
    QCOMPARE(shown().jd, QStringLiteral("От ш. \"Распадская\""));
    QVERIFY(control<TextLabel>(FrmCar, "Disp")->isVisible());
    FrmCar->close();
    QVERIFY(!QApplication::activeModalWidget());
}

void TestTFrmCar::screenReaderChoosesARoute()
{
    FIXTURE_STEP(open());
    QAccessibleInterface* route = QAccessible::queryAccessibleInterface(label(QStringLiteral("Label6")));
    QCOMPARE(route->text(QAccessible::Name), QStringLiteral("Маршрут №5а"));
    QCOMPARE(route->role(), QAccessible::Button);
    route->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(shown().disp, QStringLiteral("От ж/д вокзала"));
    QCOMPARE(shown().jd, QStringLiteral("От п. Усинского"));
    QAccessibleInterface* times = QAccessible::queryAccessibleInterface(control<TextLabel>(FrmCar, "Time1"));
    QCOMPARE(times->role(), QAccessible::StaticText);
    QVERIFY(times->text(QAccessible::Name).startsWith(QStringLiteral("6.10; 6.30;")));
    QVERIFY(times->actionInterface()->actionNames().isEmpty());
}

// The 10 x 10 picture stretched to 681 x 489 is one colour to the last pixel.
void TestTFrmCar::backgroundIsUniformNavy()
{
    FIXTURE_STEP(open());
    const QImage background = control<PictureBox>(FrmCar, "Image1")->grab().toImage();
    QCOMPARE(background.size(), QSize(681, 489));
    const QString difference = pixels::differenceFromColour(background, background.rect(), navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestTFrmCar::windowShowsNavyAroundTheTexts_data()
{
    QTest::addColumn<QRect>("area");
    // Left of the banner, right of the banner, right of every text, below
    // the interval lines: no label paints there.
    QTest::newRow("left of the banner") << QRect(0, 0, 104, 70);
    QTest::newRow("right of the banner") << QRect(574, 0, 106, 60);
    QTest::newRow("right of the times") << QRect(540, 60, 140, 429);
    QTest::newRow("below the interval lines") << QRect(0, 445, 680, 44);
}

void TestTFrmCar::windowShowsNavyAroundTheTexts()
{
    QFETCH(QRect, area);
    FIXTURE_STEP(open());
    const QString difference = pixels::differenceFromColour(FrmCar->grab().toImage(), area, navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// The background picture is one pixel shorter than the window's client area.
void TestTFrmCar::rowBelowTheBackgroundShowsTheWindowColour()
{
    FIXTURE_STEP(open());
    const QColor windowColour = FrmCar->palette().color(QPalette::Window);
    QVERIFY(!pixels::near(windowColour, navy, 40));
    const QString difference
        = pixels::differenceFromColour(FrmCar->grab().toImage(), QRect(0, 489, 680, 1), windowColour, 0);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestTFrmCar::bannerIsDrawnAtItsOwnSize()
{
    FIXTURE_STEP(open());
    const QImage banner = PictureLoader::load(QStringLiteral("bus_banner.jpg"));
    const QString difference
        = pixels::differenceFromPicture(FrmCar->grab().toImage(), QRect(104, 0, 468, 60), banner, QPoint(104, 0), 0);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// The control is 469 wide, the picture 468: its last column, x 572 of the
// window, shows the background beneath.
void TestTFrmCar::bannerControlsLastColumnShowsTheBackground()
{
    FIXTURE_STEP(open());
    const QImage window = FrmCar->grab().toImage();
    QCOMPARE(control<PictureBox>(FrmCar, "Image2")->geometry().right(), 572);
    const QString difference = pixels::differenceFromColour(window, QRect(572, 0, 1, 60), navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The banner's own last column differs from the background somewhere.
    bool differs = false;
    for (int y = 0; y < 60 && !differs; ++y)
        differs = !pixels::near(window.pixelColor(571, y), navy, 8);
    QVERIFY(differs);
}

void TestTFrmCar::chosenRouteLeavesThePicturesAlone()
{
    FIXTURE_STEP(open());
    const QImage before = FrmCar->grab().toImage();
    QTest::mouseClick(label(QStringLiteral("Label1")), Qt::LeftButton);
    const QImage chosen = FrmCar->grab().toImage();
    const QImage banner = PictureLoader::load(QStringLiteral("bus_banner.jpg"));
    QString difference = pixels::differenceFromPicture(chosen, QRect(104, 0, 468, 60), banner, QPoint(104, 0), 0);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    difference = pixels::differenceFromColour(chosen, QRect(540, 60, 140, 429), navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The times are shown over the background.
    QVERIFY(chosen != before);
}

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestTFrmCar test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tfrmcar.moc"
