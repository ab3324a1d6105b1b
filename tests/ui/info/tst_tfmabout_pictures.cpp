// The about window's pictures as placed: the light background stretched
// behind everything, the mascot at its own size with the header over its
// last columns, the name plate in the header, and the credits clipped to
// their panel wherever the scroll has taken it, with the mail caption and
// address lying on plain background at the credits' foot.
#include "../../common/Controls.h"
#include "../../common/PixelCheck.h"
#include "Fixture.h"

#include "app/Fonts.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TsWebLabel.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/PictureLoader.h"

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
#include <QTimer>

#include <memory>

using namespace pixels;

namespace {

const QColor lightBackground(186, 242, 253);
const QColor panelColour(185, 242, 253);
const QColor windowColour(199, 254, 248);
// Between the header (rows 0-71) and the footer (from row 176) the credits
// panel shows.
const QRect creditsBand(0, 72, 413, 104);

} // namespace

class TestTFmAboutPictures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void backgroundIsStretchedLightBlue_data();
    void backgroundIsStretchedLightBlue();
    void mascotIsDrawnAtItsOwnSizeUnderTheHeader();
    void namePlateIsDrawnAtItsOwnSize();
    void creditsAreClippedToTheirPanel_data();
    void creditsAreClippedToTheirPanel();
    void mailRowOfTheCreditsIsPlain_data();
    void mailRowOfTheCreditsIsPlain();

private:
    // Scrolls the credits, tick by tick, until the panel's top is at top.
    void scrollTo(int top);

    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<TFmAbout> m_about;
};

void TestTFmAboutPictures::initTestCase()
{
    // The caption and address over the credits stand where the bundled
    // font puts them.
    Q_INIT_RESOURCE(fonts);
    QVERIFY(!fonts::installSubstituteFont().isEmpty());
    m_main = std::make_unique<QWidget>();
    m_main->resize(600, 500);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    m_about = std::make_unique<TFmAbout>(m_main.get());
    m_about->showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_about.get()));
    // The test moves the credits itself.
    m_about->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
}

void TestTFmAboutPictures::cleanupTestCase()
{
    m_about.reset();
    m_main.reset();
}

void TestTFmAboutPictures::scrollTo(int top)
{
    for (int tick = 0; tick < 200 && control<QFrame>(m_about.get(), "Panel1")->y() != top; ++tick)
        m_about->Timer1Timer(nullptr);
    QCOMPARE(control<QFrame>(m_about.get(), "Panel1")->y(), top);
}

void TestTFmAboutPictures::backgroundIsStretchedLightBlue_data()
{
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QColor>("colour");
    // Where no panel, picture or label lies over the background.
    QTest::newRow("left of the credits") << QRect(0, 127, 119, 48) << lightBackground;
    QTest::newRow("right of the header") << QRect(401, 0, 12, 176) << lightBackground;
    QTest::newRow("right of the credits") << QRect(362, 72, 39, 104) << lightBackground;
    QTest::newRow("left of the footer") << QRect(0, 176, 1, 113) << lightBackground;
    QTest::newRow("below the footer") << QRect(0, 281, 413, 8) << lightBackground;
    // The picture is 289 rows high, the window 290: its own colour shows.
    QTest::newRow("last row") << QRect(0, 289, 413, 1) << windowColour;
}

void TestTFmAboutPictures::backgroundIsStretchedLightBlue()
{
    QFETCH(QRect, area);
    QFETCH(QColor, colour);
    const QImage background = control<PictureBox>(m_about.get(), "Image2")->grab().toImage();
    QCOMPARE(background.size(), QSize(417, 289));
    QString difference = differenceFromColour(background, background.rect(), lightBackground);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    FIXTURE_STEP(scrollTo(78));
    difference = differenceFromColour(m_about->grab().toImage(), area, colour);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

// The header panel lies over the mascot's last eight columns in its rows
// 16 to 71; below it the mascot shows whole.
void TestTFmAboutPictures::mascotIsDrawnAtItsOwnSizeUnderTheHeader()
{
    const QImage window = m_about->grab().toImage();
    const QImage mascot = PictureLoader::load(QStringLiteral("mascot.bmp"));
    QString difference = differenceFromPicture(window, QRect(8, 16, 81, 110), mascot, QPoint(8, 16));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    difference = differenceFromPicture(window, QRect(89, 72, 8, 54), mascot, QPoint(8, 16));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    difference = differenceFromColour(window, QRect(89, 16, 8, 56), panelColour);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // Those columns of the mascot are not the header's colour everywhere.
    QVERIFY(!differenceFromColour(mascot, QRect(81, 0, 8, 56), panelColour, 3).isEmpty());
}

void TestTFmAboutPictures::namePlateIsDrawnAtItsOwnSize()
{
    const QImage window = m_about->grab().toImage();
    const QPoint at = control<PictureBox>(m_about.get(), "Image3")->mapTo(m_about.get(), QPoint(0, 0));
    QCOMPARE(at, QPoint(151, 3));
    const QString difference = differenceFromPicture(
        window, QRect(at, QSize(195, 30)), PictureLoader::load(QStringLiteral("name_plate.jpg")), at);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestTFmAboutPictures::creditsAreClippedToTheirPanel_data()
{
    QTest::addColumn<int>("top");
    QTest::newRow("whole between header and footer") << 78;
    QTest::newRow("rising out of the footer") << 130;
    QTest::newRow("sinking under the header") << 20;
    QTest::newRow("last place before the restart") << -21;
}

// The 244 x 98 picture shows 241 x 95 of itself, moved with the panel, and
// only between the header and the footer.
void TestTFmAboutPictures::creditsAreClippedToTheirPanel()
{
    QFETCH(int, top);
    FIXTURE_STEP(scrollTo(top));
    const QImage window = m_about->grab().toImage();
    const QImage credits = PictureLoader::load(QStringLiteral("credits.jpg"));
    const QRect panel = control<QFrame>(m_about.get(), "Panel1")->geometry();
    QCOMPARE(panel, QRect(120, top, 241, 95));
    const QRect shown = panel & creditsBand;
    QVERIFY(!shown.isEmpty());
    // Above the mail row the whole width is the picture; in the mail row,
    // what lies left of the caption.
    const int mailRow = top + control<TsWebLabel>(m_about.get(), "sWebLabel3")->y();
    const QRect above = shown & QRect(panel.left(), top, panel.width(), mailRow - top);
    const QRect left = shown
        & QRect(panel.left(), mailRow, control<QLabel>(m_about.get(), "Label8")->x(), panel.bottom() - mailRow + 1);
    for (const QRect& area : { above, left }) {
        if (area.isEmpty())
            continue;
        const QString difference = differenceFromPicture(window, area, credits, panel.topLeft());
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    // The picture's last three columns and rows stay hidden: the background
    // shows beside and below the panel.
    QString difference = differenceFromColour(window, QRect(361, shown.top(), 1, shown.height()), lightBackground);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    if (creditsBand.contains(QPoint(200, top + 95))) {
        difference = differenceFromColour(window, QRect(120, top + 95, 241, 1), lightBackground);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    // The mail address's light box, where it is in view.
    const QRect link = control<TsWebLabel>(m_about.get(), "sWebLabel3")->geometry().translated(panel.topLeft());
    if (creditsBand.contains(link.topRight()))
        QCOMPARE(window.pixelColor(link.topRight()), panelColour);
}

void TestTFmAboutPictures::mailRowOfTheCreditsIsPlain_data()
{
    QTest::addColumn<int>("scale");
    QTest::newRow("plain") << 1;
    QTest::newRow("double resolution") << 2;
}

// "е-mail:" and the address lie over the credits' foot: the picture has no
// text there, only its ground, which is the same along each row.
void TestTFmAboutPictures::mailRowOfTheCreditsIsPlain()
{
    QFETCH(int, scale);
    const QImage credits = PictureLoader::load(QStringLiteral("credits.jpg"), scale);
    QCOMPARE(credits.size(), QSize(244, 98) * scale);
    QRect under = control<QLabel>(m_about.get(), "Label8")->geometry()
        | control<TsWebLabel>(m_about.get(), "sWebLabel3")->geometry();
    QVERIFY2(under.top() >= 82 && under.bottom() <= 96,
        qPrintable(QStringLiteral("the mail row spans rows %1 to %2").arg(under.top()).arg(under.bottom())));
    under = under.adjusted(-2, 0, 2, 0) & QRect(0, 0, 241, 95);
    const QRect area(under.topLeft() * scale, under.size() * scale);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const QColor ground = credits.pixelColor(credits.width() - 1, y);
        const QString difference = differenceFromColour(credits, QRect(area.left(), y, area.width(), 1), ground, 8);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
}

QTEST_MAIN(TestTFmAboutPictures)
#include "tst_tfmabout_pictures.moc"
