// The windows' pictures as placed: which picture each picture control of
// every window shows, where, and whether stretched; on the main window the
// border strips' bands (across a horizontal strip, along a vertical one), the
// flat panel, the squeezed banners, and which control lies on top where they
// overlap; and the program's icon.
#include "../../common/PixelCheck.h"
#include "../../common/ProgramFixture.h"
#include "Fixture.h"

#include "ui/bus/TFrmCar.h"
#include "ui/form2/TForm2.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/PictureLoader.h"

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

using namespace pixels;

namespace {

const QColor navy(8, 13, 55);

// The border strip picture's bands, 0 the top row to 6 the bottom one.
QColor band(int index)
{
    static const QImage strip = PictureLoader::load(QStringLiteral("border_strip.jpg"));
    return strip.pixelColor(0, index);
}

QWidget* windowNamed(const QString& name)
{
    const std::pair<const char*, QWidget*> windows[] = {
        { "Form1", Form1 },
        { "Form2", Form2 },
        { "FmAbout", FmAbout },
        { "FmAddRecord", FmAddRecord },
        { "FrmCar", FrmCar },
    };
    for (const auto& [windowName, window] : windows)
        if (name == QLatin1String(windowName))
            return window;
    return nullptr;
}

// The band a strip's pixel shows (the nearest one), or -1 for a colour of
// none of them.
int bandOf(const QColor& colour)
{
    int best = -1;
    int bestDistance = 4;
    for (int index = 0; index < 7; ++index) {
        const QColor shown = band(index);
        const int distance = qMax(qAbs(colour.red() - shown.red()),
            qMax(qAbs(colour.green() - shown.green()), qAbs(colour.blue() - shown.blue())));
        if (distance < bestDistance) {
            best = index;
            bestDistance = distance;
        }
    }
    return best;
}

// The seven bands along a line of a strip's pixels: each a solid run of its
// colour, in order, of a seventh of the length (a run longer by one where
// the length is no multiple of seven).
QString bandsAlong(const QVector<QColor>& line)
{
    QVector<int> runs(7, 0);
    int last = 0;
    for (int i = 0; i < line.size(); ++i) {
        const int index = bandOf(line[i]);
        if (index < last || index > last + 1)
            return QStringLiteral("pixel %1 is %2 after band %3").arg(i).arg(describe(line[i])).arg(last);
        last = index;
        ++runs[index];
    }
    for (int index = 0; index < 7; ++index)
        if (qAbs(runs[index] * 7 - line.size()) > 7)
            return QStringLiteral("band %1 spans %2 of %3 pixels").arg(index).arg(runs[index]).arg(line.size());
    return QString();
}

} // namespace

class TestTForm1Pictures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void controlsShowTheirPictures_data();
    void controlsShowTheirPictures();
    void horizontalStripsKeepBandsAcross_data();
    void horizontalStripsKeepBandsAcross();
    void verticalStripsKeepBandsAlong_data();
    void verticalStripsKeepBandsAlong();
    void catalogueBackgroundIsFlatNavy();
    void bannersAreStretchedToTheirControls_data();
    void bannersAreStretchedToTheirControls();
    void laterControlsLieOnTop_data();
    void laterControlsLieOnTop();
    void programCarriesItsIcon();

private:
    PictureBox* image(const char* name) const { return Form1->findChild<PictureBox*>(QLatin1String(name)); }

    ProgramFixture m_program;
    QImage m_window;
};

void TestTForm1Pictures::initTestCase()
{
    m_program.makeDatabase();
    FIXTURE_STEP(m_program.openWindows(ProgramFixture::Show::Exposed));
    m_window = Form1->centralWidget() ? Form1->centralWidget()->grab().toImage() : Form1->grab().toImage();
}

void TestTForm1Pictures::cleanupTestCase()
{
    m_program.close();
}

// Every picture control of every window: its picture (as loaded, at the
// picture's own size), its place, and whether it stretches the picture or
// shows it at its own size.
void TestTForm1Pictures::controlsShowTheirPictures_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<QRect>("place");
    QTest::addColumn<bool>("stretched");
    const QSize flat(10, 10), strip(10, 7);
    const struct {
        const char* window;
        const char* control;
        const char* picture;
        QSize pictureSize;
        QRect place;
        bool stretched;
    } rows[] = {
        { "Form1", "Image1", "top_banner.jpg", { 752, 102 }, { 0, 0, 753, 89 }, true },
        { "Form1", "Image2", "dark_background.jpg", flat, { 752, 7, 248, 636 }, true },
        { "Form1", "Image3", "bottom_banner.jpg", { 640, 100 }, { 8, 576, 737, 67 }, true },
        { "Form1", "Image4", "border_strip.jpg", strip, { 710, 0, 297, 7 }, true },
        { "Form1", "Image5", "border_strip.jpg", strip, { 999, 3, 7, 640 }, true },
        { "Form1", "Image6", "border_strip.jpg", strip, { 2, 643, 1004, 8 }, true },
        { "Form1", "Image7", "border_strip.jpg", strip, { 746, 504, 7, 139 }, true },
        { "Form1", "Image8", "border_strip.jpg", strip, { 0, 505, 753, 7 }, true },
        { "Form1", "Image9", "border_strip.jpg", strip, { 0, 571, 753, 7 }, true },
        { "Form1", "Image10", "border_strip.jpg", strip, { 0, 511, 7, 138 }, true },
        { "Form2", "Image2", "dark_background.jpg", flat, { 22, -260, 248, 850 }, true },
        { "FmAbout", "Image2", "light_background.jpg", flat, { 0, 0, 417, 289 }, true },
        { "FmAbout", "Image1", "mascot.bmp", { 89, 110 }, { 8, 16, 89, 110 }, false },
        { "FmAbout", "Image4", "credits.jpg", { 244, 98 }, { 0, 0, 244, 97 }, false },
        { "FmAbout", "Image3", "name_plate.jpg", { 195, 30 }, { 62, 3, 195, 30 }, false },
        { "FmAddRecord", "Image2", "light_background.jpg", flat, { -36, -20, 450, 275 }, true },
        { "FmAddRecord", "Image1", "mascot.bmp", { 89, 110 }, { 8, 16, 89, 110 }, false },
        { "FrmCar", "Image1", "dark_background.jpg", flat, { 0, 0, 681, 489 }, true },
        // One pixel wider than its picture.
        { "FrmCar", "Image2", "bus_banner.jpg", { 468, 60 }, { 104, 0, 469, 60 }, false },
    };
    for (const auto& r : rows)
        QTest::addRow("%s %s", r.window, r.control)
            << QString::fromLatin1(r.window) << QString::fromLatin1(r.control) << QString::fromLatin1(r.picture)
            << r.pictureSize << r.place << r.stretched;
}

void TestTForm1Pictures::controlsShowTheirPictures()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, picture);
    QFETCH(QSize, pictureSize);
    QFETCH(QRect, place);
    QFETCH(bool, stretched);
    QWidget* shownIn = windowNamed(window);
    QVERIFY(shownIn);
    const PictureBox* box = shownIn->findChild<PictureBox*>(control);
    QVERIFY(box);
    QCOMPARE(box->pictureName(), picture);
    QCOMPARE(box->picture().size(), pictureSize);
    QCOMPARE(box->geometry(), place);
    QCOMPARE(box->stretch(), stretched);
}

void TestTForm1Pictures::horizontalStripsKeepBandsAcross_data()
{
    QTest::addColumn<QString>("control");
    for (const char* name : { "Image4", "Image6", "Image8", "Image9" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Across a horizontal strip: each row one colour, the bands top to bottom.
void TestTForm1Pictures::horizontalStripsKeepBandsAcross()
{
    QFETCH(QString, control);
    PictureBox* box = Form1->findChild<PictureBox*>(control);
    const QImage strip = box->grab().toImage();
    for (int x : { 0, strip.width() / 3, strip.width() - 1 }) {
        QVector<QColor> column;
        for (int y = 0; y < strip.height(); ++y)
            column.append(strip.pixelColor(x, y));
        const QString fault = bandsAlong(column);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("column %1: %2").arg(x).arg(fault)));
    }
}

void TestTForm1Pictures::verticalStripsKeepBandsAlong_data()
{
    QTest::addColumn<QString>("control");
    for (const char* name : { "Image5", "Image7", "Image10" })
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Along a vertical strip: seven solid bands, not a gradient, each across the
// strip's width.
void TestTForm1Pictures::verticalStripsKeepBandsAlong()
{
    QFETCH(QString, control);
    PictureBox* box = Form1->findChild<PictureBox*>(control);
    const QImage strip = box->grab().toImage();
    QCOMPARE(strip.width(), 7);
    for (int x = 0; x < strip.width(); ++x) {
        QVector<QColor> column;
        for (int y = 0; y < strip.height(); ++y)
            column.append(strip.pixelColor(x, y));
        const QString fault = bandsAlong(column);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("column %1: %2").arg(x).arg(fault)));
    }
}

void TestTForm1Pictures::catalogueBackgroundIsFlatNavy()
{
    const QImage panel = image("Image2")->grab().toImage();
    QCOMPARE(panel.size(), QSize(248, 636));
    for (int y = 0; y < panel.height(); y += 5)
        for (int x = 0; x < panel.width(); x += 5)
            QVERIFY2(near(panel.pixelColor(x, y), navy, 1), qPrintable(describe(panel.pixelColor(x, y))));
}

void TestTForm1Pictures::bannersAreStretchedToTheirControls_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("picture");
    // The top banner loses 13 of its 102 rows; the bottom one grows from 640
    // to 737 wide and shrinks from 100 to 67 high.
    QTest::newRow("top banner") << "Image1"
                                << "top_banner.jpg";
    QTest::newRow("bottom banner") << "Image3"
                                   << "bottom_banner.jpg";
}

void TestTForm1Pictures::bannersAreStretchedToTheirControls()
{
    QFETCH(QString, control);
    QFETCH(QString, picture);
    PictureBox* box = Form1->findChild<PictureBox*>(control);
    const QImage shown = box->grab().toImage();
    const QImage original = PictureLoader::load(picture);
    const QImage stretched = original.scaled(box->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage unscaled = original.copy(QRect(QPoint(0, 0), box->size()));
    const double toStretched = meanDifference(shown, stretched), toUnscaled = meanDifference(shown, unscaled);
    QVERIFY2(toStretched < 4 && toStretched < toUnscaled / 3,
        qPrintable(QStringLiteral("%1 from the stretched picture, %2 from the unscaled one")
                       .arg(toStretched)
                       .arg(toUnscaled)));
}

void TestTForm1Pictures::laterControlsLieOnTop_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("colour");
    // The top-right strip over the maker's navy tab of the top banner.
    QTest::newRow("Image4 over Image1") << QPoint(730, 3) << band(3);
    // The strip over the bottom banner's dark top edge.
    QTest::newRow("Image9 over Image3") << QPoint(300, 577) << band(6);
    // The catalogue panel reaches under the right edge strip.
    QTest::newRow("Image5 over Image2") << QPoint(999, 300) << band(3);
    // The left edge strip's last rows lie over the bottom edge strip.
    QTest::newRow("Image10 over Image6") << QPoint(3, 646) << band(6);
}

void TestTForm1Pictures::laterControlsLieOnTop()
{
    QFETCH(QPoint, point);
    QFETCH(QColor, colour);
    QVERIFY(!m_window.isNull());
    const QWidget* surface = Form1->centralWidget() ? Form1->centralWidget() : Form1;
    const QPoint at = image("Image1")->parentWidget()->mapTo(surface, point);
    QVERIFY2(near(m_window.pixelColor(at), colour, 10), qPrintable(describe(m_window.pixelColor(at))));
}

void TestTForm1Pictures::programCarriesItsIcon()
{
    const QIcon icon = PictureLoader::applicationIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY2(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(64, 64)), qPrintable(QString::number(sizes.size())));
}

QTEST_MAIN(TestTForm1Pictures)
#include "tst_tform1_pictures.moc"
