#include "ui/main/TForm1.h"

#include "ui_TForm1.h"

#include "data/Catalogue.h"
#include "data/DataError.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "data/NameSearch.h"
#include "shell/Shortcut.h"
#include "ui/bus/TFrmCar.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/main/ApplicationHook.h"
#include "ui/main/CurrentCategory.h"
#include "ui/main/WheelKeys.h"
#include "ui/widgets/Bevel.h"
#include "ui/widgets/Colours.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/HoverGroup.h"
#include "ui/widgets/KeyboardGroup.h"
#include "ui/widgets/ProgramFolder.h"
#include "ui/widgets/RadioCycle.h"
#include "ui/widgets/TextLabel.h"
#include "ui/widgets/WindowAccessible.h"
#include "ui/widgets/WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QWheelEvent>

TForm1* Form1 = nullptr;

namespace {

constexpr int VK_DOWN = 40;

// How long the window's size must stay unchanged before it is checked.
constexpr int kSizeSettleMs = 300;

// Height of the catalogue's separator lines.
constexpr int kBevelHeight = 2;

} // namespace

TForm1::TForm1(HoverGroup& hover, QWidget* parent)
    : QMainWindow(parent)
    , m_ui(new Ui::TForm1)
    , m_hover(hover)
{
    Form1 = this;
    // The controls kept hidden stay out of what a screen reader reads.
    ShownChildrenAccessible::install();
    m_ui->setupUi(this);
    buildCatalogue();
    m_sizeCheck.setSingleShot(true);
    m_sizeCheck.setInterval(kSizeSettleMs);
    connect(&m_sizeCheck, &QTimer::timeout, this, [this] { keepNormalSize(); });

    // The data components: connection, directory table, data source.
    ADOConnection1.setProvider(QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
    ADOConnection1.setLoginPrompt(false);
    ADOTable1.setConnection(&ADOConnection1);
    ADOTable1.setTableName(directoryTableName());
    ADOTable1.setFields(directoryFields());
    ADOTable1.setFiltered(true);
    ADOTable1.onBeforeInsert = [this](Table& dataSet) { ADOTable1BeforeInsert(dataSet); };
    ADOTable1.onBackgroundError = [](std::exception_ptr error) { errors::report(error); };
    DataSource1 = new DataSource(this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource1->setDataSet(&ADOTable1);
    // While a search or sort waits for its order, the grid stays as it was
    // and the pointer says the answer is coming.
    connect(DataSource1, &DataSource::busyChanged, this, [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    m_ui->DBGrid1->setDataSource(DataSource1);
    m_ui->DBGrid1->onKeyDown
        = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) { DBGrid1KeyDown(sender, key, shift); };

    connectHandlers();

    // An error in the creation handler is reported and the window is
    // created all the same.
    guarded([&] { FormCreate(this); });
}

TForm1::~TForm1()
{
    // The hook must not reach a window that is being taken apart.
    ApplicationHook::release(this);
    DataSource1->setDataSet(nullptr);
    if (Form1 == this)
        Form1 = nullptr;
}

// The catalogue lies on the panel picture Image2 and under the bottom banner
// and the border strips, group by group: the heading, its items, the line
// below it.
void TForm1::buildCatalogue()
{
    using namespace catalogue;
    QWidget* const client = m_ui->ClientArea;
    QWidget* const above = m_ui->Image3;
    m_catalogueItems.reserve(std::size_t(kLabelCount - kGroupCount));
    // After the window's own controls, Tab comes to the catalogue, and the
    // arrow keys move through it in reading order.
    auto* keys = new KeyboardGroup(this);
    for (const CatalogueGroup& group : groups()) {
        for (int i = group.headingIndex; i < group.firstItem + group.itemCount; ++i) {
            const CatalogueLabel& entry = labels()[std::size_t(i)];
            const bool heading = entry.kind == Kind::Heading;
            auto* label = new TextLabel(client);
            label->setObjectName(fromUtf8(entry.name));
            label->setGeometry(entry.left, entry.top, 0, heading ? kHeadingHeight : kItemHeight);
            label->setFontPixels(heading ? kHeadingFontPixels : kItemFontPixels);
            label->setBold(heading);
            // The substitute font sets regular text a little wider than the
            // font the places were chosen for: items are drawn a touch
            // narrower, so neighbours in a row keep clear of each other.
            if (!heading)
                label->setLetterSpacingPercent(kItemLetterSpacingPercent);
            label->setFontRgb(colours::bgr(heading ? kHeadingColour : kIdleColour));
            label->setBackgroundColor(QColor(colours::bgr(kLabelBackground)));
            label->setClickable(true);
            label->setText(fromUtf8(entry.caption));
            label->stackUnder(above);
            connect(label, &TextLabel::clicked, this, [this, label] { guarded([&] { Label3Click(label); }); });
            keys->add(label);
            if (heading)
                continue;
            // Only the items light up under the pointer; the headings stay white.
            label->setMouseTracking(true);
            connect(label, &TextLabel::mouseMoved, this, [this, label](Qt::KeyboardModifiers shift, QPoint at) {
                guarded([&] { Label112MouseMove(label, shift, at.x(), at.y()); });
            });
            m_catalogueItems.push_back(label);
            m_hover.add(label);
        }
        if (group.hasSeparator) {
            auto* line = new Bevel(client);
            line->setObjectName(fromUtf8(group.separator.name));
            line->setGeometry(group.separator.left, group.separator.top, group.separator.width, kBevelHeight);
            line->stackUnder(above);
        }
    }
    Q_ASSERT(int(m_catalogueItems.size()) == kLabelCount - kGroupCount);
}

void TForm1::connectHandlers()
{
    connect(m_ui->Button3, &QPushButton::clicked, this, [this] { guarded([&] { Button3Click(m_ui->Button3); }); });
    connect(m_ui->N5, &QAction::triggered, this, [this] { guarded([&] { N5Click(m_ui->N5); }); });
    connect(m_ui->N1, &QAction::triggered, this, [this] { guarded([&] { N1Click(m_ui->N1); }); });
    connect(m_ui->N4, &QAction::triggered, this, [this] { guarded([&] { N4Click(m_ui->N4); }); });

    // The search runs on every change of the box's text, typed or set.
    connect(m_ui->Edit1, &QLineEdit::textChanged, this, [this] { guarded([&] { Button1Click(m_ui->Edit1); }); });
    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { guarded([&] { Button1Click(m_ui->Button1); }); });
    connect(m_ui->Button2, &QPushButton::clicked, this, [this] { guarded([&] { Button2Click(m_ui->Button2); }); });

    m_ui->Image2->setMouseTracking(true);
    connect(m_ui->Image2, &PictureBox::mouseMoved, this,
        [this] { guarded([&] { Image2MouseMove(m_ui->Image2, Qt::NoModifier, 0, 0); }); });

    // A sort button's handler runs only when the button becomes selected.
    const std::pair<QRadioButton*, void (TForm1::*)(QObject*)> sortButtons[] = {
        { m_ui->RadioButton3, &TForm1::RadioButton3Click },
        { m_ui->RadioButton4, &TForm1::RadioButton4Click },
        { m_ui->RadioButton5, &TForm1::RadioButton5Click },
        { m_ui->RadioButton6, &TForm1::RadioButton6Click },
    };
    new RadioCycle({ m_ui->RadioButton3, m_ui->RadioButton4, m_ui->RadioButton5, m_ui->RadioButton6 }, this);
    for (const auto& [button, handler] : sortButtons) {
        connect(button, &QRadioButton::toggled, this, [this, button = button, handler = handler](bool checked) {
            if (checked)
                guarded([&] { (this->*handler)(button); });
        });
    }
}

QString TForm1::applicationTitle()
{
    return QStringLiteral("\"Сарвино\"- Справочник");
}

void TForm1::FormCreate(QObject*)
{
    ADOConnection1.setConnectionString(programFolder() + QStringLiteral("Sarvino.mdb"));
    ADOTable1.open();
    errors::setApplicationTitle(applicationTitle());
    currentCategory().clear();
    m_ui->Button3->click();
}

void TForm1::FormActivate(QObject*)
{
    // Every activation puts the hook in place again; the same hook replaces itself.
    ApplicationHook::set(
        this, [this](QObject* receiver, QEvent* msg, bool& handled) { MouseWheelHook(receiver, msg, handled); });
}

void TForm1::MouseWheelHook(QObject* Receiver, QEvent* Msg, bool& Handled)
{
    if (Msg->type() != QEvent::Wheel)
        return;
    Handled = wheelkeys::translate(Receiver, static_cast<QWheelEvent*>(Msg));
}

void TForm1::Button3Click(QObject*)
{
    // The shortcuts start the very file that is running (a renamed copy, or
    // the real file behind a link), in the program's folder.
    const QString Target = programFolder() + QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString Description = QStringLiteral("Description");
    QString LinkPath;
    CreateShortcut(Target, ShortcutDesktop, QString(), LinkPath, Description, QStringList(), QString());
    // A program installed with its own menu item (from a package) gets no
    // second one.
    if (SystemMenuStarts(Target))
        return;
    QString Programs;
    GetProgramsFolder(Programs);
    CreateShortcut(Target, ShortcutFolder, Programs, LinkPath, Description, QStringList(), QString());
}

void TForm1::ADOTable1BeforeInsert(Table&)
{
    throw SilentAbort();
}

void TForm1::DBGrid1KeyDown(QObject*, int& Key, Qt::KeyboardModifiers)
{
    if (Key != VK_DOWN)
        return;
    ADOTable1.disableControls();
    const auto enable = qScopeGuard([this] { ADOTable1.enableControls(); });
    ADOTable1.next();
    if (ADOTable1.eof())
        Key = 0;
    else
        ADOTable1.prior();
}

// A side window takes the input from the main window: the record being
// typed is finished first. One whose change was refused before stays
// pending in the grid, and the window opens all the same.
void TForm1::finishEditForSideWindow()
{
    try {
        m_ui->DBGrid1->finishEdit();
    } catch (const SilentAbort&) {
    }
}

void TForm1::N5Click(QObject*)
{
    finishEditForSideWindow();
    FrmCar->showAndActivate();
}

void TForm1::N1Click(QObject*)
{
    finishEditForSideWindow();
    FmAddRecord->showAndActivate();
}

void TForm1::N4Click(QObject*)
{
    finishEditForSideWindow();
    FmAbout->showAndActivate();
}

void TForm1::Button1Click(QObject*)
{
    currentCategory().clear();
    const QString text = m_ui->Edit1->text();
    // An empty search shows every record; either way in name order.
    QString filter;
    if (!text.isEmpty()) {
        // The hidden label Label9 holds the search's upper bound: the first
        // text after every name that begins with the typed one.
        m_ui->Label9->setText(namesearch::upperBound(text));
        filter = namesearch::prefixFilter(text, m_ui->Label9->text());
    }
    ADOTable1.setSelection(filter, QStringLiteral("название"));
}

void TForm1::Button2Click(QObject*)
{
    m_ui->DBGrid1->finishEdit();
    currentCategory().clear();
    m_ui->Edit1->setText(QString());
    // The hidden label Label4 is set as the design has it; nothing reads it.
    m_ui->Label4->setText(QStringLiteral("яя"));
}

void TForm1::RadioButton3Click(QObject*)
{
    ADOTable1.setIndexFieldNames(QStringLiteral("название"));
}

void TForm1::RadioButton4Click(QObject*)
{
    ADOTable1.setIndexFieldNames(QStringLiteral("адрес"));
}

void TForm1::RadioButton5Click(QObject*)
{
    ADOTable1.setIndexFieldNames(QStringLiteral("тел"));
}

void TForm1::RadioButton6Click(QObject*)
{
    ADOTable1.setIndexFieldNames(QStringLiteral("вид_деят"));
}

void TForm1::Label3Click(QObject* Sender)
{
    auto* label = qobject_cast<TextLabel*>(Sender);
    if (!label)
        return;
    currentCategory() = label->text();
    const QString name = label->objectName();
    for (const catalogue::Override& row : catalogue::overrides())
        if (name == QLatin1String(row.labelName.data(), qsizetype(row.labelName.size())))
            currentCategory() = fromUtf8(row.value);
    m_ui->Label11->setText(currentCategory()); // the hidden mirror of the category
    // The category's firms, by name.
    ADOTable1.setSelection(namesearch::categoryFilter(currentCategory()), QStringLiteral("название"));
}

void TForm1::nach()
{
    m_hover.reset();
}

void TForm1::Label112MouseMove(QObject* Sender, Qt::KeyboardModifiers, int, int)
{
    nach();
    if (auto* label = qobject_cast<TextLabel*>(Sender))
        label->setFontRgb(colours::kHover);
}

void TForm1::Image2MouseMove(QObject*, Qt::KeyboardModifiers, int, int)
{
    nach();
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        guarded([&] { FormActivate(this); });
    return QMainWindow::event(event);
}

void TForm1::showEvent(QShowEvent* event)
{
    if (!m_placed) {
        m_placed = true;
        adjustSize();
        m_normalSize = size();
        placement::centreOnScreen(this);
    }
    QMainWindow::showEvent(event);
}

void TForm1::endSession()
{
    try {
        m_ui->DBGrid1->postPendingEdit();
    } catch (...) {
        // No one is left to answer a message: the edit is given up, and the
        // file keeps what it held before it.
        try {
            if (ADOTable1.active())
                ADOTable1.cancel();
        } catch (...) {
        }
    }
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // Checked once the size has settled: the window manager may send the
    // state that goes with a size after it, and ignores requests while the
    // user is still dragging the border.
    if (m_placed)
        m_sizeCheck.start();
}

// The window keeps its size: maximising shows more of the window's colour
// round the controls, which stay where they are; a border dragged by the user
// springs back.
void TForm1::keepNormalSize()
{
    if (!m_placed || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return;
    if (size() != m_normalSize)
        resize(m_normalSize);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A change still being typed is saved, not lost; when it cannot be
    // saved the program stays open so nothing is lost.
    if (!guarded([&] { m_ui->DBGrid1->postPendingEdit(); })) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}
