#include "ui/main/TForm1.h"

#include "ui_TForm1.h"

#include "data/DataError.h"
#include "data/DataSource.h"
#include "data/NameSearch.h"
#include "shell/Shortcut.h"
#include "ui/bus/TFrmCar.h"
#include "ui/info/TFmAbout.h"
#include "ui/info/TFmAddRecord.h"
#include "ui/main/ApplicationHook.h"
#include "ui/main/CurrentCategory.h"
#include "ui/main/WheelKeys.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/ProgramFolder.h"
#include "ui/widgets/RadioCycle.h"

#include <QCloseEvent>
#include <QRadioButton>
#include <QLayout>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QWheelEvent>

TForm1* Form1 = nullptr;

namespace {

constexpr int VK_DOWN = 40;

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent)
    , m_ui(new Ui::TForm1)
{
    Form1 = this;
    m_ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);

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
    m_ui->DBGrid1->setDataSource(DataSource1);
    m_ui->DBGrid1->onKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        DBGrid1KeyDown(sender, key, shift);
    };

    connectHandlers();

    // An error in the creation handler is reported and the window is
    // created all the same.
    guarded([&] { FormCreate(this); });
}

TForm1::~TForm1()
{
    DataSource1->setDataSet(nullptr);
    if (Form1 == this)
        Form1 = nullptr;
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

    // A sort button's handler runs only when the button becomes selected.
    const std::pair<QRadioButton*, void (TForm1::*)(QObject*)> sortButtons[] = {
        {m_ui->RadioButton3, &TForm1::RadioButton3Click},
        {m_ui->RadioButton4, &TForm1::RadioButton4Click},
        {m_ui->RadioButton5, &TForm1::RadioButton5Click},
        {m_ui->RadioButton6, &TForm1::RadioButton6Click},
    };
    new RadioCycle({m_ui->RadioButton3, m_ui->RadioButton4, m_ui->RadioButton5, m_ui->RadioButton6}, this);
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
    // The shortcuts always start "Sarwino" in the program's folder, whatever
    // the running file is called.
    const QString Target = programFolder() + QStringLiteral("Sarwino");
    const QString Description = QStringLiteral("Description");
    QString LinkPath;
    CreateShortcut(Target, ShortcutDesktop, QString(), LinkPath, Description, QStringList(), QString());
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

void TForm1::N5Click(QObject*)
{
    FrmCar->showAndActivate();
}

void TForm1::N1Click(QObject*)
{
    FmAddRecord->showAndActivate();
}

void TForm1::N4Click(QObject*)
{
    FmAbout->showAndActivate();
}

void TForm1::Button1Click(QObject*)
{
    currentCategory().clear();
    const QString text = m_ui->Edit1->text();
    if (text.isEmpty()) {
        // An empty search shows every record, in name order.
        ADOTable1.setFilter(QString());
    } else {
        m_ui->Label9->setText(namesearch::upperBound(text));
        ADOTable1.setFilter(namesearch::prefixFilter(text, m_ui->Label9->text()));
    }
    ADOTable1.setIndexFieldNames(QStringLiteral("название"));
}

void TForm1::Button2Click(QObject*)
{
    currentCategory().clear();
    m_ui->Edit1->setText(QString());
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
        if (const QScreen* where = screen())
            move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), where->availableGeometry()).topLeft());
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

void TForm1::closeEvent(QCloseEvent* event)
{
    // A disabled main window takes no input, not even a close.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    // A change still being typed is saved, not lost; when it cannot be
    // saved the program stays open so nothing is lost.
    if (!guarded([&] { m_ui->DBGrid1->postPendingEdit(); })) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}
