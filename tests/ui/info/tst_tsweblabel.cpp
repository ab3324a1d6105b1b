// The link label as a widget: sizing to its caption, painting, the hover
// font, clicks, double clicks, the address opened at a press, accessibility.
#include "UrlRecorder.h"

#include "app/Fonts.h"
#include "ui/info/TsWebLabel.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QColor hostColour(185, 242, 253);

QFont labelFont(bool bold = false)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setBold(bold);
    font.setUnderline(true);
    return font;
}

// The width a text, taken literally, needs to be drawn whole in a font.
int textWidth(const QFont& font, const QString& text)
{
    return QFontMetrics(font).boundingRect(QRect(0, 0, 100000, 1000), Qt::AlignLeft | Qt::AlignTop, text).width();
}

// Pixels of the label's picture that are clearly of one colour family.
int countPixels(const QImage& image, const std::function<bool(QColor)>& wanted)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += wanted(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}
bool reddish(QColor c)
{
    return c.red() > 180 && c.green() < 90 && c.blue() < 90;
}
bool bluish(QColor c)
{
    return c.blue() > 180 && c.red() < 90 && c.green() < 90;
}

} // namespace

class TestTsWebLabel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sizesItselfToItsCaption_data();
    void sizesItselfToItsCaption();
    void keepsTheEdgeOfItsAlignment_data();
    void keepsTheEdgeOfItsAlignment();
    void wordWrapKeepsTheWidth();
    void autoSizeOffKeepsTheSize();
    void paintsItsWholeAreaInItsColour();
    void textLayoutPlacesTheTextVertically_data();
    void textLayoutPlacesTheTextVertically();
    void disabledLabelIsEmbossed();
    void hoverSwitchesTheFontWithoutMeasuring();
    void hoverFontSetterNeitherMeasuresNorRepaints();
    void clickNeedsPressAndReleaseOnTheLabel_data();
    void clickNeedsPressAndReleaseOnTheLabel();
    void doubleClickGivesOneClick();
    void urlOpensAtThePress();
    void pressMovesTheFocusToTheFocusControl();
    void accessibleAsALink();

private:
    TsWebLabel* makeLabel(const QString& caption, bool bold = false);

    std::unique_ptr<UrlRecorder> m_urls;
    std::unique_ptr<QWidget> m_host;
};

void TestTsWebLabel::initTestCase()
{
    Q_INIT_RESOURCE(fonts);
    QVERIFY(!fonts::installSubstituteFont().isEmpty());
}

void TestTsWebLabel::init()
{
    m_urls = std::make_unique<UrlRecorder>();
    m_host = std::make_unique<QWidget>();
    m_host->resize(400, 200);
    QPalette palette = m_host->palette();
    palette.setColor(QPalette::Window, hostColour);
    m_host->setPalette(palette);
    m_host->setAutoFillBackground(true);
    m_host->setFont(fonts::msSansSerif(11));
}

void TestTsWebLabel::cleanup()
{
    m_host.reset();
    QCOMPARE(m_urls->escaped(), QString());
    m_urls.reset();
}

TsWebLabel* TestTsWebLabel::makeLabel(const QString& caption, bool bold)
{
    auto* label = new TsWebLabel(m_host.get());
    label->setObjectName(QStringLiteral("link"));
    label->move(50, 40);
    label->setFont(labelFont(bold));
    label->setHoverFont(labelFont(bold));
    label->setCaption(caption);
    return label;
}

void TestTsWebLabel::sizesItselfToItsCaption_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("showAccelChar");
    QTest::addColumn<QString>("measured"); // what its width is measured on

    QTest::newRow("plain") << "http://svetsoft.ru/sarwino" << true << "http://svetsoft.ru/sarwino";
    QTest::newRow("empty is one space") << "" << true << " ";
    QTest::newRow("lone ampersand is one space") << "&" << true << " ";
    QTest::newRow("accelerator mark takes no room") << "&Mail" << true << "Mail";
    QTest::newRow("double ampersand shows one") << "A&&B" << true << "A&B";
    QTest::newRow("ampersand shown as it is") << "A&B" << false << "A&B";
    QTest::newRow("empty without accelerators") << "" << false << " ";
}

void TestTsWebLabel::sizesItselfToItsCaption()
{
    QFETCH(QString, caption);
    QFETCH(bool, showAccelChar);
    QFETCH(QString, measured);
    TsWebLabel* label = makeLabel(QStringLiteral("x"));
    label->setShowAccelChar(showAccelChar);
    label->setCaption(caption);
    const QFontMetrics metrics(label->font());
    QCOMPARE(label->size(), QSize(textWidth(label->font(), measured), metrics.height()));
    QCOMPARE(label->pos(), QPoint(50, 40));
}

void TestTsWebLabel::keepsTheEdgeOfItsAlignment_data()
{
    QTest::addColumn<TsWebLabel::TextAlignment>("alignment");
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::addColumn<bool>("keepsRightEdge");

    QTest::newRow("left") << TsWebLabel::TextAlignment::Left << Qt::LeftToRight << false;
    QTest::newRow("right") << TsWebLabel::TextAlignment::Right << Qt::LeftToRight << true;
    QTest::newRow("centre") << TsWebLabel::TextAlignment::Center << Qt::LeftToRight << false;
    QTest::newRow("left, right to left") << TsWebLabel::TextAlignment::Left << Qt::RightToLeft << true;
    QTest::newRow("right, right to left") << TsWebLabel::TextAlignment::Right << Qt::RightToLeft << false;
}

void TestTsWebLabel::keepsTheEdgeOfItsAlignment()
{
    QFETCH(TsWebLabel::TextAlignment, alignment);
    QFETCH(Qt::LayoutDirection, direction);
    QFETCH(bool, keepsRightEdge);
    TsWebLabel* label = makeLabel(QStringLiteral("info@svetsoft.ru"));
    label->setLayoutDirection(direction);
    label->setAlignment(alignment);
    const QRect before = label->geometry();
    for (const char* caption : { "a much longer caption than before", "short", "" }) {
        label->setCaption(QString::fromLatin1(caption));
        const QRect now = label->geometry();
        QCOMPARE(now.width(), textWidth(label->font(), QString::fromLatin1(*caption ? caption : " ")));
        QCOMPARE(now.top(), before.top());
        if (keepsRightEdge)
            QCOMPARE(now.right(), before.right());
        else
            QCOMPARE(now.left(), before.left());
    }
}

void TestTsWebLabel::wordWrapKeepsTheWidth()
{
    TsWebLabel* label = makeLabel(QStringLiteral("название фирмы, телефон, адрес, вид деятельности"));
    label->setAutoSize(false);
    label->resize(178, 13);
    label->setWordWrap(true);
    label->setAutoSize(true);
    QCOMPARE(label->width(), 178);
    QCOMPARE(label->height(), 2 * QFontMetrics(label->font()).lineSpacing() - QFontMetrics(label->font()).leading());
}

void TestTsWebLabel::autoSizeOffKeepsTheSize()
{
    TsWebLabel* label = makeLabel(QStringLiteral("abc"));
    label->setAutoSize(false);
    label->setGeometry(10, 10, 120, 30);
    label->setCaption(QStringLiteral("a caption longer than the label is wide, by far"));
    label->setFont(labelFont(true));
    QCOMPARE(label->geometry(), QRect(10, 10, 120, 30));
}

void TestTsWebLabel::paintsItsWholeAreaInItsColour()
{
    TsWebLabel* label = makeLabel(QStringLiteral("abc"));
    label->setAutoSize(false);
    label->resize(80, 30);
    // Takes its parent's colour until it is given one of its own.
    QVERIFY(label->ParentColor());
    QImage image = label->grab().toImage();
    QCOMPARE(image.pixelColor(79, 29), hostColour);
    label->setColor(QColor(10, 200, 30));
    QVERIFY(!label->ParentColor());
    image = label->grab().toImage();
    QCOMPARE(image.pixelColor(79, 29), QColor(10, 200, 30));
    QCOMPARE(image.pixelColor(0, 29), QColor(10, 200, 30));
}

void TestTsWebLabel::textLayoutPlacesTheTextVertically_data()
{
    QTest::addColumn<TsWebLabel::TextLayout>("layout");
    QTest::addColumn<int>("firstInkRowAtLeast");
    QTest::addColumn<int>("firstInkRowBelow");

    // A 60-pixel label holding one 13-pixel line.
    QTest::newRow("top") << TsWebLabel::TextLayout::Top << 0 << 13;
    QTest::newRow("centre") << TsWebLabel::TextLayout::Center << 23 << 36;
    QTest::newRow("bottom") << TsWebLabel::TextLayout::Bottom << 47 << 60;
}

void TestTsWebLabel::textLayoutPlacesTheTextVertically()
{
    QFETCH(TsWebLabel::TextLayout, layout);
    QFETCH(int, firstInkRowAtLeast);
    QFETCH(int, firstInkRowBelow);
    TsWebLabel* label = makeLabel(QStringLiteral("Ag"));
    label->setAutoSize(false);
    label->resize(40, 60);
    label->setLayout(layout);
    const QImage image = label->grab().toImage();
    int first = -1;
    for (int y = 0; y < image.height() && first < 0; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (bluish(image.pixelColor(x, y))) {
                first = y;
                break;
            }
    QVERIFY2(first >= firstInkRowAtLeast && first < firstInkRowBelow, qPrintable(QString::number(first)));
}

void TestTsWebLabel::disabledLabelIsEmbossed()
{
    TsWebLabel* label = makeLabel(QStringLiteral("Embossed"));
    label->setEnabled(false);
    const QPalette palette = label->palette();
    const QColor light = palette.color(QPalette::Active, QPalette::Light);
    const QColor dark = palette.color(QPalette::Active, QPalette::Dark);
    const QImage image = label->grab().toImage();
    QVERIFY(countPixels(image, [&](QColor c) { return c.rgb() == dark.rgb(); }) > 10);
    QVERIFY(countPixels(image, [&](QColor c) { return c.rgb() == light.rgb(); }) > 10);
    QCOMPARE(countPixels(image, bluish), 0);
}

void TestTsWebLabel::hoverSwitchesTheFontWithoutMeasuring()
{
    TsWebLabel* label = makeLabel(QStringLiteral("http://svetsoft.ru/kordon"), true);
    // A larger hover font is not measured: the text may be cut off.
    QFont big = labelFont(true);
    big.setPixelSize(20);
    label->setHoverFont(big);
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    const QRect bounds = label->geometry();
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseMove(label, QPoint(5, 5));
    QTRY_VERIFY(label->mouseInControl());
    QImage image = label->grab().toImage();
    QVERIFY(countPixels(image, reddish) > 20);
    QCOMPARE(countPixels(image, bluish), 0);
    QCOMPARE(label->geometry(), bounds);

    QTest::mouseMove(m_host.get(), QPoint(5, 150));
    QTRY_VERIFY(!label->mouseInControl());
    image = label->grab().toImage();
    QVERIFY(countPixels(image, bluish) > 20);
    QCOMPARE(countPixels(image, reddish), 0);
    QCOMPARE(label->geometry(), bounds);
}

void TestTsWebLabel::hoverFontSetterNeitherMeasuresNorRepaints()
{
    TsWebLabel* label = makeLabel(QStringLiteral("abc"));
    const QSize before = label->size();
    QFont big = labelFont();
    big.setPixelSize(30);
    label->setHoverFont(big);
    QCOMPARE(label->size(), before);
    // The normal font is measured at once.
    label->setFont(big);
    QVERIFY(label->height() > before.height());
}

void TestTsWebLabel::clickNeedsPressAndReleaseOnTheLabel_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("releaseAt"); // relative to the label's centre
    QTest::addColumn<int>("clicks");

    QTest::newRow("press and release on it") << Qt::LeftButton << QPoint(0, 0) << 1;
    QTest::newRow("release elsewhere on it") << Qt::LeftButton << QPoint(10, 2) << 1;
    QTest::newRow("release outside") << Qt::LeftButton << QPoint(0, 40) << 0;
    QTest::newRow("right button") << Qt::RightButton << QPoint(0, 0) << 0;
}

void TestTsWebLabel::clickNeedsPressAndReleaseOnTheLabel()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, releaseAt);
    QFETCH(int, clicks);
    TsWebLabel* label = makeLabel(QStringLiteral("http://svetsoft.ru/sarwino"));
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    QSignalSpy clicked(label, &TsWebLabel::clicked);
    const QPoint centre = label->rect().center();
    QTest::mousePress(label, button, {}, centre);
    QTest::mouseRelease(label, button, {}, centre + releaseAt);
    QCOMPARE(clicked.count(), clicks);
    // Without an address of its own the label opens nothing.
    QVERIFY(m_urls->opened().isEmpty());
}

void TestTsWebLabel::doubleClickGivesOneClick()
{
    TsWebLabel* label = makeLabel(QStringLiteral("info@svetsoft.ru"));
    label->setURL(QStringLiteral("mailto:info@svetsoft.ru"));
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    QSignalSpy clicked(label, &TsWebLabel::clicked);
    QSignalSpy doubleClicked(label, &TsWebLabel::doubleClicked);
    // What a widget is sent for a double click: press, release, double
    // click, release.
    const QPoint at = label->rect().center();
    QTest::mousePress(label, Qt::LeftButton, {}, at);
    QTest::mouseRelease(label, Qt::LeftButton, {}, at);
    QMouseEvent second(QEvent::MouseButtonDblClick, at, label->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(label, &second);
    QTest::mouseRelease(label, Qt::LeftButton, {}, at);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(doubleClicked.count(), 1);
    QCOMPARE(m_urls->openedTexts(), QStringList { QStringLiteral("mailto:info@svetsoft.ru") });
}

void TestTsWebLabel::urlOpensAtThePress()
{
    TsWebLabel* label = makeLabel(QStringLiteral("Сарвино"));
    label->setURL(QStringLiteral("http://svetsoft.ru/sarwino"));
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host.get()));
    QSignalSpy clicked(label, &TsWebLabel::clicked);
    QTest::mousePress(label, Qt::LeftButton, {}, label->rect().center());
    QCOMPARE(m_urls->openedTexts(), QStringList { QStringLiteral("http://svetsoft.ru/sarwino") });
    QTest::mouseRelease(label, Qt::LeftButton, {}, label->rect().center() + QPoint(0, 50));
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(m_urls->opened().size(), 1);
}

void TestTsWebLabel::pressMovesTheFocusToTheFocusControl()
{
    auto* edit = new QLineEdit(m_host.get());
    edit->move(10, 100);
    auto* other = new QLineEdit(m_host.get());
    other->move(200, 100);
    TsWebLabel* label = makeLabel(QStringLiteral("&Name"));
    label->setFocusControl(edit);
    m_host->show();
    QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    QTRY_VERIFY(edit->hasFocus());
    // The caption's accelerator does the same.
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    QTest::keyClick(m_host.get(), Qt::Key_N, Qt::AltModifier);
    QTRY_VERIFY(edit->hasFocus());
    // Once the focus control is gone the label forgets it.
    delete edit;
    QCOMPARE(label->FocusControl(), nullptr);
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
}

void TestTsWebLabel::accessibleAsALink()
{
    TsWebLabel* label = makeLabel(QStringLiteral("http://svetsoft.ru/kordon"));
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(label);
    QVERIFY(face);
    QCOMPARE(face->role(), QAccessible::Link);
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("http://svetsoft.ru/kordon"));
    label->setCaption(QStringLiteral("&Mail && more"));
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Mail & more"));
    QAccessibleActionInterface* actions = face->actionInterface();
    QVERIFY(actions);
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    QSignalSpy clicked(label, &TsWebLabel::clicked);
    actions->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(clicked.count(), 1);
}

QTEST_MAIN(TestTsWebLabel)
#include "tst_tsweblabel.moc"
