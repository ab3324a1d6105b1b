// The static text control of the windows: sizing, painting, the cost of
// setting a colour, clicks and what screen readers see.
#include "ui/widgets/TextLabel.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

int pixelsOf(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
    return n;
}

} // namespace

class TestTextLabel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void autoSizedLabelIsAsWideAsItsCaption();
    void paintsItsTextInItsColour_data();
    void paintsItsTextInItsColour();
    void sameColourCostsNothing();
    void wrapsAtSpacesKeepingLeadingSpaces();
    void clickNeedsPressAndReleaseInside();
    void screenReadersReadAndPress();

private:
    std::unique_ptr<QWidget> m_window;
    TextLabel* m_label = nullptr;
};

void TestTextLabel::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(400, 200);
    m_label = new TextLabel(m_window.get());
    m_label->setObjectName(QStringLiteral("Label136"));
    m_label->setGeometry(10, 20, 0, 13);
    m_label->setFontPixels(11);
    m_label->setBackgroundColor(QColor(18, 9, 66));
    m_label->setFontColor(QColor(0, 255, 255));
}

void TestTextLabel::cleanup()
{
    m_window.reset();
}

void TestTextLabel::autoSizedLabelIsAsWideAsItsCaption()
{
    m_label->setText(QStringLiteral("Маршрут №5а "));
    const int expected = qCeil(QFontMetricsF(m_label->font()).horizontalAdvance(QStringLiteral("Маршрут №5а ")));
    QCOMPARE(m_label->width(), expected);
    QCOMPARE(m_label->height(), 13);
    QCOMPARE(m_label->pos(), QPoint(10, 20));
    m_label->setBold(true); // wider in bold
    QVERIFY(m_label->width() > expected);
}

void TestTextLabel::paintsItsTextInItsColour_data()
{
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<bool>("wrap");
    QTest::newRow("on its box") << false << false;
    QTest::newRow("transparent") << true << false;
    QTest::newRow("wrapped, transparent") << true << true;
    QTest::newRow("wrapped, on its box") << false << true;
}

void TestTextLabel::paintsItsTextInItsColour()
{
    QFETCH(bool, transparent);
    QFETCH(bool, wrap);
    m_window->setAutoFillBackground(true);
    QPalette p = m_window->palette();
    p.setColor(QPalette::Window, QColor(8, 13, 55));
    m_window->setPalette(p);
    m_label->setTransparent(transparent);
    if (wrap) {
        m_label->setAutoSize(false);
        m_label->setWordWrap(true);
        m_label->resize(120, 40);
    }
    m_label->setText(QStringLiteral("Маршрут №1 Интервал движения - 4 минуты"));
    const QImage image = m_label->grab().toImage();
    QVERIFY2(pixelsOf(image, qRgb(0, 255, 255)) > 10, "the text is drawn in the font colour");
    QCOMPARE(pixelsOf(image, qRgb(18, 9, 66)) > 0, !transparent);
    if (wrap)
        QVERIFY(m_label->lineCount() > 1);
}

void TestTextLabel::sameColourCostsNothing()
{
    m_label->setText(QStringLiteral("Аптека"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    PaintCounter paints(m_label);
    QSignalSpy anyEvent(m_label, &TextLabel::mouseMoved); // no signal of any kind on a colour change
    for (int i = 0; i < 100; ++i)
        m_label->setFontColor(QColor(0, 255, 255));
    QCoreApplication::processEvents();
    QCOMPARE(paints.count, 0);
    m_label->setFontColor(Qt::white);
    QTRY_COMPARE(paints.count, 1);
    QCOMPARE(m_label->fontColor(), QColor(Qt::white));
    // Changed and changed back before the window repaints: one paint at most.
    paints.count = 0;
    m_label->setFontColor(QColor(0, 255, 255));
    m_label->setFontColor(Qt::white);
    QCoreApplication::processEvents();
    QVERIFY(paints.count <= 1);
    QCOMPARE(anyEvent.count(), 0);
}

void TestTextLabel::wrapsAtSpacesKeepingLeadingSpaces()
{
    m_label->setAutoSize(false);
    m_label->setWordWrap(true);
    m_label->resize(290, 57);
    const QString spaces(46, QLatin1Char(' '));
    m_label->setText(spaces + QStringLiteral("5.53; 6.08; 6.23;"));
    QCOMPARE(m_label->text(), spaces + QStringLiteral("5.53; 6.08; 6.23;")); // kept as given
    QCOMPARE(m_label->lineCount(), 1);
    QVERIFY(qAbs(m_label->firstCharacterX() - QFontMetricsF(m_label->font()).horizontalAdvance(spaces)) < 1);
    QCOMPARE(m_label->width(), 290); // a fixed-size label keeps its size
}

void TestTextLabel::clickNeedsPressAndReleaseInside()
{
    m_label->setText(QStringLiteral("Аптека"));
    m_label->setClickable(true);
    QSignalSpy clicks(m_label, &TextLabel::clicked);
    QTest::mouseClick(m_label, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QTest::mouseClick(m_label, Qt::RightButton);
    QCOMPARE(clicks.count(), 1);
    // Pressed on the label, released outside it: no click.
    QTest::mousePress(m_label, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(m_label, Qt::LeftButton, {}, QPoint(m_label->width() + 20, 2));
    QCOMPARE(clicks.count(), 1);
}

void TestTextLabel::screenReadersReadAndPress()
{
    m_label->setText(QStringLiteral("Аптека"));
    m_label->setClickable(true);
    QSignalSpy clicks(m_label, &TextLabel::clicked);
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(m_label);
    QVERIFY(item);
    QCOMPARE(item->text(QAccessible::Name), QStringLiteral("Аптека"));
    QCOMPARE(item->role(), QAccessible::Button);
    QAccessibleActionInterface* actions = item->actionInterface();
    QVERIFY(actions);
    QCOMPARE(actions->actionNames(), QStringList { QAccessibleActionInterface::pressAction() });
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(clicks.count(), 1);

    // Not clickable: plain text, nothing to press.
    m_label->setClickable(false);
    QCOMPARE(item->role(), QAccessible::StaticText);
    QVERIFY(actions->actionNames().isEmpty());
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(clicks.count(), 1);

    // A disabled window's labels cannot be pressed either.
    m_label->setClickable(true);
    m_window->setEnabled(false);
    QVERIFY(actions->actionNames().isEmpty());
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(clicks.count(), 1);
}

QTEST_MAIN(TestTextLabel)
#include "tst_textlabel.moc"
