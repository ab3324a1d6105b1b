// The add-record window: its layout, its links, and the main window's input
// around showing and closing it.
#include "../../common/Controls.h"
#include "Fixture.h"
#include "UrlRecorder.h"

#include "app/Fonts.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/info/TsWebLabel.h"
#include "ui/widgets/PictureBox.h"
#include "ui/widgets/Shape.h"

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

class TestTFmAddRecord : public QObject {
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
    void listOfItemsTakesTwoLines();
    void linksAreLightBoxesAboveEverythingElse();
    void closeButtonGivesTheMainWindowBack();
    void windowManagerCloseGivesTheMainWindowBack();
    void reopensUnchangedWhereItWasLeft();
    void linksOpenTheirAddresses_data();
    void linksOpenTheirAddresses();

private:
    void showWindow();

    std::unique_ptr<UrlRecorder> m_urls;
    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<TFmAddRecord> m_window;
};

void TestTFmAddRecord::init()
{
    m_urls = std::make_unique<UrlRecorder>();
    m_main = std::make_unique<QWidget>();
    m_main->resize(600, 500);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    m_window = std::make_unique<TFmAddRecord>(m_main.get());
}

void TestTFmAddRecord::cleanup()
{
    m_window.reset();
    m_main.reset();
    QCOMPARE(m_urls->escaped(), QString());
    m_urls.reset();
}

void TestTFmAddRecord::showWindow()
{
    m_window->showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestTFmAddRecord::controlsStandInTheirPlaces()
{
    QCOMPARE(FmAddRecord, m_window.get());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Добавить запись ..."));
    QCOMPARE(m_window->size(), QSize(414, 243));
    QCOMPARE(control<QLabel>(m_window.get(), "Label2")->text(), QStringLiteral("в справочник \"Сарвино\""));
    // Auto-sized, the links keep their places.
    QCOMPARE(control<TsWebLabel>(m_window.get(), "sWebLabel1")->pos(), QPoint(232, 149));
    QCOMPARE(control<TsWebLabel>(m_window.get(), "sWebLabel2")->pos(), QPoint(232, 165));
    QCOMPARE(control<TsWebLabel>(m_window.get(), "sWebLabel3")->pos(), QPoint(273, 52));
    QCOMPARE(
        control<TsWebLabel>(m_window.get(), "sWebLabel1")->Caption(), QStringLiteral("http://svetsoft.ru/sarwino"));
    QCOMPARE(control<TsWebLabel>(m_window.get(), "sWebLabel2")->Caption(), QStringLiteral("http://svetsoft.ru/kordon"));
    QCOMPARE(control<TsWebLabel>(m_window.get(), "sWebLabel3")->Caption(), QStringLiteral("info@svetsoft.ru"));
    // A caption's last visible character ends before what follows it.
    const auto inkEnd = [](QLabel* label) {
        return label->x() + QFontMetrics(label->font()).horizontalAdvance(label->text().trimmed());
    };
    QVERIFY(inkEnd(control<QLabel>(m_window.get(), "Label3")) < control<TsWebLabel>(m_window.get(), "sWebLabel3")->x());
    QVERIFY(inkEnd(control<QLabel>(m_window.get(), "Label4")) < control<QLabel>(m_window.get(), "Label5")->x());
    QVERIFY(inkEnd(control<QLabel>(m_window.get(), "Label7")) < control<TsWebLabel>(m_window.get(), "sWebLabel1")->x());
    QVERIFY(inkEnd(control<QLabel>(m_window.get(), "Label8")) < control<TsWebLabel>(m_window.get(), "sWebLabel2")->x());
    // Every text fits in the window.
    for (QLabel* label : m_window->findChildren<QLabel*>())
        QVERIFY2(label->geometry().right() < 414, qPrintable(label->objectName()));
    for (TsWebLabel* link : m_window->findChildren<TsWebLabel*>())
        QVERIFY2(link->geometry().right() < 414, qPrintable(link->objectName()));
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint | Qt::WindowSystemMenuHint)));
}

void TestTFmAddRecord::listOfItemsTakesTwoLines()
{
    QLabel* items = control<QLabel>(m_window.get(), "Label5");
    QVERIFY(items->wordWrap());
    QCOMPARE(items->width(), 178);
    const QFontMetrics metrics(items->font());
    QCOMPARE(items->heightForWidth(178), 2 * metrics.lineSpacing());
    QVERIFY(items->height() >= 2 * metrics.height());
}

void TestTFmAddRecord::linksAreLightBoxesAboveEverythingElse()
{
    const QObjectList children = m_window->children();
    const qsizetype firstLink = children.indexOf(control<TsWebLabel>(m_window.get(), "sWebLabel1"));
    for (QWidget* drawn : std::initializer_list<QWidget*> { control<PictureBox>(m_window.get(), "Image2"),
             control<PictureBox>(m_window.get(), "Image1"), control<QLabel>(m_window.get(), "Label3"),
             control<QLabel>(m_window.get(), "Label5"), control<Shape>(m_window.get(), "Shape1") })
        QVERIFY2(children.indexOf(drawn) < firstLink, qPrintable(drawn->objectName()));
    QVERIFY(children.indexOf(control<TsWebLabel>(m_window.get(), "sWebLabel3"))
        < children.indexOf(control<QPushButton>(m_window.get(), "Button1")));
    for (TsWebLabel* link : { control<TsWebLabel>(m_window.get(), "sWebLabel1"),
             control<TsWebLabel>(m_window.get(), "sWebLabel2"), control<TsWebLabel>(m_window.get(), "sWebLabel3") }) {
        QVERIFY(!link->ParentColor());
        const QImage image = link->grab().toImage();
        QCOMPARE(image.pixelColor(image.width() - 1, 0), QColor(185, 242, 253));
    }
    // The rule shows as a black line two pixels thick.
    const QImage rule = control<Shape>(m_window.get(), "Shape1")->grab().toImage();
    QCOMPARE(rule.height(), 2);
    QCOMPARE(rule.pixelColor(200, 0), QColor(Qt::black));
    QCOMPARE(rule.pixelColor(200, 1), QColor(Qt::black));
}

void TestTFmAddRecord::closeButtonGivesTheMainWindowBack()
{
    FIXTURE_STEP(showWindow());
    QTRY_COMPARE(QApplication::activeModalWidget(), m_window.get());
    QTest::mouseClick(control<QPushButton>(m_window.get(), "Button1"), Qt::LeftButton);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!m_window->isVisible());
}

void TestTFmAddRecord::windowManagerCloseGivesTheMainWindowBack()
{
    FIXTURE_STEP(showWindow());
    QTRY_COMPARE(QApplication::activeModalWidget(), m_window.get());
    QVERIFY(m_window->close());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!m_window->isVisible());
}

void TestTFmAddRecord::reopensUnchangedWhereItWasLeft()
{
    FIXTURE_STEP(showWindow());
    m_window->move(20, 25);
    QTRY_COMPARE(m_window->pos(), QPoint(20, 25));
    const QImage before = m_window->grab().toImage();
    QTest::mouseClick(control<QPushButton>(m_window.get(), "Button1"), Qt::LeftButton);
    FIXTURE_STEP(showWindow());
    QCOMPARE(m_window->pos(), QPoint(20, 25));
    QCOMPARE(m_window->grab().toImage(), before);
    QTRY_COMPARE(QApplication::activeModalWidget(), m_window.get());
}

void TestTFmAddRecord::linksOpenTheirAddresses_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("address");

    QTest::newRow("product page") << "sWebLabel1"
                                  << "http://svetsoft.ru/sarwino";
    QTest::newRow("courses page") << "sWebLabel2"
                                  << "http://svetsoft.ru/kordon";
    QTest::newRow("mail, no subject or body") << "sWebLabel3"
                                              << "mailto:info@svetsoft.ru";
}

void TestTFmAddRecord::linksOpenTheirAddresses()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    FIXTURE_STEP(showWindow());
    QTRY_COMPARE(QApplication::activeModalWidget(), m_window.get());
    auto* label = m_window->findChild<TsWebLabel*>(link);
    QVERIFY(label);
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    QCOMPARE(m_urls->openedTexts(), QStringList { address });
    // Opening a link leaves the window as it was.
    QVERIFY(m_window->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), m_window.get());
}

QTEST_MAIN(TestTFmAddRecord)
#include "tst_tfmaddrecord.moc"
