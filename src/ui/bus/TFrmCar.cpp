#include "ui/bus/TFrmCar.h"

#include "ui_TFrmCar.h"

#include "data/Field.h"
#include "ui/bus/Timetable.h"
#include "ui/widgets/Colours.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/HoverGroup.h"
#include "ui/widgets/KeyboardGroup.h"
#include "ui/widgets/TextLabel.h"

TFrmCar* FrmCar = nullptr;

namespace {

// Height of a route label: one line of the 11-pixel font.
constexpr int kRouteLabelHeight = 13;
constexpr int kRouteFontPixels = 11;

// The window's controls in creation order, which is also their stacking
// order: each is drawn over the ones before it.
constexpr const char* stackingOrder[] = {
    "Image1",
    "Image2",
    "Label2",
    "Label3",
    "Label4",
    "Label5",
    "Label6",
    "Label7",
    "Label8",
    "Label9",
    "Label10",
    "Label11",
    "Label12",
    "Label13",
    "Label14",
    "Label15",
    "Label16",
    "Label17",
    "Label18",
    "Label1",
    "Disp",
    "Time1",
    "Time2",
    "JD",
    "Time3",
    "Time4",
    "Label19",
    "Label20",
    "Label21",
    "Label22",
    "Label23",
};

using ClickHandler = void (TFrmCar::*)(QObject*);

// Which click handler each clickable label runs: one per route, and the one
// of "Маршрут №19" also for the heading and the interval lines below it.
const std::pair<const char*, ClickHandler> clickHandlers[] = {
    { "Label1", &TFrmCar::Label1Click },
    { "Label2", &TFrmCar::Label2Click },
    { "Label3", &TFrmCar::Label3Click },
    { "Label4", &TFrmCar::Label4Click },
    { "Label5", &TFrmCar::Label5Click },
    { "Label6", &TFrmCar::Label6Click },
    { "Label7", &TFrmCar::Label7Click },
    { "Label8", &TFrmCar::Label8Click },
    { "Label9", &TFrmCar::Label9Click },
    { "Label10", &TFrmCar::Label10Click },
    { "Label11", &TFrmCar::Label11Click },
    { "Label12", &TFrmCar::Label12Click },
    { "Label13", &TFrmCar::Label13Click },
    { "Label14", &TFrmCar::Label14Click },
    { "Label15", &TFrmCar::Label15Click },
    { "Label16", &TFrmCar::Label16Click },
    { "Label17", &TFrmCar::Label17Click },
    { "Label18", &TFrmCar::Label18Click },
    { "Label19", &TFrmCar::Label19Click },
    { "Label20", &TFrmCar::Label19Click },
    { "Label21", &TFrmCar::Label19Click },
    { "Label22", &TFrmCar::Label19Click },
    { "Label23", &TFrmCar::Label19Click },
};

} // namespace

TFrmCar::TFrmCar(QWidget* owner, HoverGroup& hover)
    : SecondaryWindow(owner,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_ui(new Ui::TFrmCar)
    , m_hover(hover)
{
    FrmCar = this;
    m_ui->setupUi(this);
    buildRouteLabels();
    // The interval heading and lines show route 19 when clicked, but they
    // are texts to read, not buttons.
    for (const char* name : { "Label19", "Label21", "Label22", "Label23" })
        findChild<TextLabel*>(QLatin1String(name), Qt::FindDirectChildrenOnly)->setReadAsText(true);
    restack();
    for (int n = 1; n <= int(m_hoverLabels.size()); ++n) {
        m_hoverLabels[std::size_t(n - 1)] = findChild<TextLabel*>(QStringLiteral("Label%1").arg(n));
        Q_ASSERT(m_hoverLabels[std::size_t(n - 1)]);
        m_hover.add(m_hoverLabels[std::size_t(n - 1)]);
    }
    connectHandlers();
}

TFrmCar::~TFrmCar()
{
    if (FrmCar == this)
        FrmCar = nullptr;
}

void TFrmCar::buildRouteLabels()
{
    // Tab comes to the routes, and the arrow keys move among them.
    auto* keys = new KeyboardGroup(this);
    for (const timetable::Route& route : timetable::routes()) {
        auto* label = new TextLabel(this);
        label->setObjectName(fromUtf8(route.labelName));
        label->setGeometry(timetable::kRouteLeft, route.top, 0, kRouteLabelHeight);
        label->setFontPixels(kRouteFontPixels);
        label->setFontRgb(colours::kIdle);
        // "Маршрут №2" lies straight on the background; the others on boxes.
        label->setTransparent(route.labelName == "Label1");
        label->setBackgroundColor(QColor(colours::kLabelBackground));
        label->setClickable(true);
        label->setMouseTracking(true);
        label->setText(fromUtf8(route.caption));
        keys->add(label);
    }
}

void TFrmCar::restack()
{
    for (const char* name : stackingOrder)
        if (auto* control = findChild<QWidget*>(QLatin1String(name), Qt::FindDirectChildrenOnly))
            control->raise();
}

void TFrmCar::connectHandlers()
{
    for (const auto& [name, handler] : clickHandlers) {
        auto* label = findChild<TextLabel*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
        Q_ASSERT(label);
        connect(label, &TextLabel::clicked, this,
            [this, label, handler = handler] { guarded([&] { (this->*handler)(label); }); });
    }
    for (const timetable::Route& route : timetable::routes()) {
        auto* label = findChild<TextLabel*>(fromUtf8(route.labelName), Qt::FindDirectChildrenOnly);
        connect(label, &TextLabel::mouseMoved, this, [this, label](Qt::KeyboardModifiers shift, QPoint at) {
            guarded([&] { Label1MouseMove(label, shift, at.x(), at.y()); });
        });
    }
    m_ui->Image1->setMouseTracking(true);
    connect(m_ui->Image1, &PictureBox::mouseMoved, this,
        [this] { guarded([&] { Image1MouseMove(m_ui->Image1, Qt::NoModifier, 0, 0); }); });
}

void TFrmCar::showRoute(std::string_view labelName)
{
    const timetable::Route* route = timetable::findRoute(labelName);
    Q_ASSERT(route);
    TextLabel* const times[] = { m_ui->Time1, m_ui->Time2, m_ui->Time3, m_ui->Time4 };
    for (std::size_t i = 0; i < route->times.size(); ++i)
        times[i]->setText(QString::fromStdString(route->times[i].shown()));
    m_ui->Disp->setText(fromUtf8(route->firstStop));
    m_ui->JD->setText(fromUtf8(route->secondStop));
    m_ui->JD->show();
    m_ui->Disp->show();
}

void TFrmCar::Label1Click(QObject*)
{
    m_hoverLabels[0]->setFontRgb(colours::kSelectedRoute);
    showRoute("Label1");
}

void TFrmCar::Label2Click(QObject*)
{
    showRoute("Label2");
}
void TFrmCar::Label3Click(QObject*)
{
    showRoute("Label3");
}
void TFrmCar::Label4Click(QObject*)
{
    showRoute("Label4");
}
void TFrmCar::Label5Click(QObject*)
{
    showRoute("Label5");
}
void TFrmCar::Label6Click(QObject*)
{
    showRoute("Label6");
}
void TFrmCar::Label7Click(QObject*)
{
    showRoute("Label7");
}
void TFrmCar::Label8Click(QObject*)
{
    showRoute("Label8");
}
void TFrmCar::Label9Click(QObject*)
{
    showRoute("Label9");
}
void TFrmCar::Label10Click(QObject*)
{
    showRoute("Label10");
}
void TFrmCar::Label11Click(QObject*)
{
    showRoute("Label11");
}
void TFrmCar::Label12Click(QObject*)
{
    showRoute("Label12");
}
void TFrmCar::Label13Click(QObject*)
{
    showRoute("Label13");
}
void TFrmCar::Label14Click(QObject*)
{
    showRoute("Label14");
}
void TFrmCar::Label15Click(QObject*)
{
    showRoute("Label15");
}
void TFrmCar::Label16Click(QObject*)
{
    showRoute("Label16");
}
void TFrmCar::Label17Click(QObject*)
{
    showRoute("Label17");
}
void TFrmCar::Label18Click(QObject*)
{
    showRoute("Label18");
}

// "Маршрут №19"; also the heading and the three interval lines.
void TFrmCar::Label19Click(QObject*)
{
    showRoute("Label20");
}

void TFrmCar::Label1MouseMove(QObject* Sender, Qt::KeyboardModifiers, int, int)
{
    // While "Маршрут №2" shows as chosen, route labels do not light up.
    if (m_hoverLabels[0]->fontRgb() == colours::kSelectedRoute)
        return;
    m_hover.reset();
    if (auto* label = qobject_cast<TextLabel*>(Sender))
        label->setFontRgb(colours::kHover);
}

void TFrmCar::Image1MouseMove(QObject*, Qt::KeyboardModifiers, int, int)
{
    m_hover.reset();
}

void TFrmCar::FormClose(QObject*)
{
    // The main window takes input again as soon as this window is hidden.
    m_hover.reset();
}

void TFrmCar::windowClosed()
{
    FormClose(this);
}
