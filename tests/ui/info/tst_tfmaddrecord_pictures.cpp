// The add-record window's pictures as placed: the light background stretched
// from above and left of the window over all of it, and the mascot at its
// own size.
#include "../../common/Controls.h"
#include "../../common/PixelCheck.h"

#include "app/Fonts.h"
#include "ui/info/TFmAddRecord.h"
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

#include <memory>

using namespace pixels;

namespace {

const QColor lightBackground(186, 242, 253);

} // namespace

class TestTFmAddRecordPictures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void backgroundCoversTheWindow_data();
    void backgroundCoversTheWindow();
    void mascotIsDrawnAtItsOwnSize();

private:
    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<TFmAddRecord> m_window;
    QImage m_shown;
};

void TestTFmAddRecordPictures::initTestCase()
{
    Q_INIT_RESOURCE(fonts);
    QVERIFY(!fonts::installSubstituteFont().isEmpty());
    m_main = std::make_unique<QWidget>();
    m_main->resize(600, 500);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    m_window = std::make_unique<TFmAddRecord>(m_main.get());
    m_window->showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_shown = m_window->grab().toImage();
    QCOMPARE(m_shown.size(), QSize(414, 243));
}

void TestTFmAddRecordPictures::cleanupTestCase()
{
    m_window.reset();
    m_main.reset();
}

void TestTFmAddRecordPictures::backgroundCoversTheWindow_data()
{
    QTest::addColumn<QRect>("area");
    // Where no label, link, rule, picture or button lies.
    QTest::newRow("top edge") << QRect(0, 0, 414, 8);
    QTest::newRow("left edge above the rule") << QRect(0, 0, 8, 135);
    QTest::newRow("right edge above the rule") << QRect(402, 0, 12, 135);
    QTest::newRow("under the texts") << QRect(100, 95, 314, 38);
    QTest::newRow("bottom left") << QRect(0, 180, 170, 63);
    QTest::newRow("bottom right") << QRect(252, 180, 162, 63);
}

// The 10 x 10 picture stretched to 450 x 275 from (-36, -20) fills the
// window with one colour to its last row and column.
void TestTFmAddRecordPictures::backgroundCoversTheWindow()
{
    QFETCH(QRect, area);
    const QImage background = control<PictureBox>(m_window.get(), "Image2")->grab().toImage();
    QCOMPARE(background.size(), QSize(450, 275));
    QString difference = differenceFromColour(background, background.rect(), lightBackground);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    difference = differenceFromColour(m_shown, area, lightBackground);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestTFmAddRecordPictures::mascotIsDrawnAtItsOwnSize()
{
    const QImage mascot = PictureLoader::load(QStringLiteral("mascot.bmp"));
    QCOMPARE(mascot.size(), QSize(89, 110));
    const QString difference = differenceFromPicture(m_shown, QRect(8, 16, 89, 110), mascot, QPoint(8, 16));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The mascot's ground is its own sky blue, not the window's.
    QVERIFY(!near(mascot.pixelColor(0, 0), lightBackground, 1));
}

QTEST_MAIN(TestTFmAddRecordPictures)
#include "tst_tfmaddrecord_pictures.moc"
