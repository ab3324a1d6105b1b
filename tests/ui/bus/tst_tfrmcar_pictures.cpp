// The bus timetable window's pictures as placed: the dark background
// stretched over the whole window, the bus banner at its own size in a
// control one pixel wider, so that the control's last column shows the
// background beneath; both unchanged once a route is shown.
#include "../../common/Controls.h"
#include "../../common/PixelCheck.h"
#include "../../common/TestDatabase.h"

#include "app/WindowSet.h"
#include "ui/bus/TFrmCar.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/PictureLoader.h"
#include "ui/widgets/ProgramFolder.h"


#include <QAction>
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

using namespace pixels;

namespace {

const QColor navy(8, 13, 55);

} // namespace

class TestTFrmCarPictures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void controlsShowTheirPictures_data();
    void controlsShowTheirPictures();
    void backgroundIsUniformNavy();
    void windowShowsNavyAroundTheTexts_data();
    void windowShowsNavyAroundTheTexts();
    void rowBelowTheBackgroundShowsTheWindowColour();
    void bannerIsDrawnAtItsOwnSize();
    void bannerControlsLastColumnShowsTheBackground();
    void chosenRouteLeavesThePicturesAlone();

private:
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<WindowSet> m_windows;
    QImage m_window;
};

void TestTFrmCarPictures::initTestCase()
{
    m_db = std::make_unique<TestDatabase>();
    setProgramFolderForTesting(m_db->folder());
    m_windows = std::make_unique<WindowSet>();
    Form1->show();
    QVERIFY(QTest::qWaitForWindowActive(Form1));
    control<QAction>(Form1, "N5")->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(FrmCar));
    m_window = FrmCar->grab().toImage();
    QCOMPARE(m_window.size(), QSize(680, 490));
}

void TestTFrmCarPictures::cleanupTestCase()
{
    m_windows.reset();
    m_db.reset();
    setProgramFolderForTesting(QString());
}

void TestTFrmCarPictures::controlsShowTheirPictures_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<bool>("stretched");
    QTest::addColumn<QSize>("pictureSize");
    QTest::newRow("Image1") << "Image1"
                            << "dark_background.jpg" << QRect(0, 0, 681, 489) << true << QSize(10, 10);
    QTest::newRow("Image2") << "Image2"
                            << "bus_banner.jpg" << QRect(104, 0, 469, 60) << false << QSize(468, 60);
}

void TestTFrmCarPictures::controlsShowTheirPictures()
{
    QFETCH(QString, control);
    QFETCH(QString, picture);
    QFETCH(QRect, place);
    QFETCH(bool, stretched);
    QFETCH(QSize, pictureSize);
    auto* box = FrmCar->findChild<PictureBox*>(control);
    QVERIFY(box);
    QCOMPARE(box->pictureName(), picture);
    QCOMPARE(box->picture().size(), pictureSize);
    QCOMPARE(box->stretch(), stretched);
    QCOMPARE(box->geometry(), place);
}

// The 10 x 10 picture stretched to 681 x 489 is one colour to the last pixel.
void TestTFrmCarPictures::backgroundIsUniformNavy()
{
    const QImage background = control<PictureBox>(FrmCar, "Image1")->grab().toImage();
    QCOMPARE(background.size(), QSize(681, 489));
    const QString difference = differenceFromColour(background, background.rect(), navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestTFrmCarPictures::windowShowsNavyAroundTheTexts_data()
{
    QTest::addColumn<QRect>("area");
    // Left of the banner, right of the banner, right of every text, below
    // the interval lines: no label paints there.
    QTest::newRow("left of the banner") << QRect(0, 0, 104, 70);
    QTest::newRow("right of the banner") << QRect(574, 0, 106, 60);
    QTest::newRow("right of the times") << QRect(540, 60, 140, 429);
    QTest::newRow("below the interval lines") << QRect(0, 445, 680, 44);
}

void TestTFrmCarPictures::windowShowsNavyAroundTheTexts()
{
    QFETCH(QRect, area);
    const QString difference = differenceFromColour(m_window, area, navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// The background picture is one pixel shorter than the window's client area.
void TestTFrmCarPictures::rowBelowTheBackgroundShowsTheWindowColour()
{
    const QColor windowColour = FrmCar->palette().color(QPalette::Window);
    QVERIFY(!near(windowColour, navy, 40));
    const QString difference = differenceFromColour(m_window, QRect(0, 489, 680, 1), windowColour, 0);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestTFrmCarPictures::bannerIsDrawnAtItsOwnSize()
{
    const QImage banner = PictureLoader::load(QStringLiteral("bus_banner.jpg"));
    const QString difference = differenceFromPicture(m_window, QRect(104, 0, 468, 60), banner, QPoint(104, 0), 0);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// The control is 469 wide, the picture 468: its last column, x 572 of the
// window, shows the background beneath.
void TestTFrmCarPictures::bannerControlsLastColumnShowsTheBackground()
{
    const QRect place = control<PictureBox>(FrmCar, "Image2")->geometry();
    QCOMPARE(place.right(), 572);
    const QString difference = differenceFromColour(m_window, QRect(572, 0, 1, 60), navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The banner's own last column differs from the background somewhere.
    bool differs = false;
    for (int y = 0; y < 60 && !differs; ++y)
        differs = !near(m_window.pixelColor(571, y), navy, 8);
    QVERIFY(differs);
}

void TestTFrmCarPictures::chosenRouteLeavesThePicturesAlone()
{
    FrmCar->Label1Click(nullptr);
    const QImage chosen = FrmCar->grab().toImage();
    const QImage banner = PictureLoader::load(QStringLiteral("bus_banner.jpg"));
    QString difference = differenceFromPicture(chosen, QRect(104, 0, 468, 60), banner, QPoint(104, 0), 0);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    difference = differenceFromColour(chosen, QRect(540, 60, 140, 429), navy);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The times are shown over the background.
    QVERIFY(chosen != m_window);
}

QTEST_MAIN(TestTFrmCarPictures)
#include "tst_tfrmcar_pictures.moc"
