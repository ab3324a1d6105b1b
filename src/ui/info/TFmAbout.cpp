#include "ui/info/TFmAbout.h"

#include "ui_TFmAbout.h"

#include "ui/info/CreditsText.h"
#include "ui/widgets/ErrorReport.h"

#include <QTimer>

TFmAbout* FmAbout = nullptr;

namespace {

// The credits panel rises from its place in the layout one pixel a tick,
// until its lower edge lies just below the header; the tick that would lift
// it one pixel more puts it back at the start, just under the footer.
constexpr int kCreditsStartTop = 175;
constexpr int kCreditsPastEndTop = -22;
constexpr int kScrollIntervalMs = 150;
// Between the "е-mail:" caption and the address.
constexpr int kMailCaptionGap = 2;

} // namespace

TFmAbout::TFmAbout(QWidget* owner)
    : InfoWindow(owner)
    , m_ui(new Ui::TFmAbout)
    , m_timer1(new QTimer(this))
{
    FmAbout = this;
    m_ui->setupUi(this);
    setUpLinks(m_ui->sWebLabel1, m_ui->sWebLabel2, m_ui->sWebLabel3, m_ui->Button1);
    finishLayout();
    // The address keeps its right edge inside the credits panel, so the
    // caption before it follows its left edge, however long the address is.
    m_ui->Label8->move(m_ui->sWebLabel3->x() - kMailCaptionGap - m_ui->Label8->width(), m_ui->Label8->y());
    // The credits are a picture; a screen reader reads their lines instead.
    QStringList credits;
    for (const char* line : about::creditLines)
        credits.append(QString::fromUtf8(line));
    m_ui->Image4->setAccessibleName(credits.join(QLatin1Char('\n')));

    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(kScrollIntervalMs);

    connect(m_timer1, &QTimer::timeout, this, [this] { guarded([&] { Timer1Timer(m_timer1); }); });
    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { guarded([&] { Button1Click(m_ui->Button1); }); });
}

TFmAbout::~TFmAbout()
{
    if (FmAbout == this)
        FmAbout = nullptr;
}

void TFmAbout::FormActivate(QObject* Sender)
{
    InfoWindow::FormActivate(Sender);
    if (!m_timer1->isActive())
        m_timer1->start();
}

void TFmAbout::Timer1Timer(QObject*)
{
    QWidget* panel = m_ui->Panel1;
    int top = panel->y() - 1;
    if (top == kCreditsPastEndTop)
        top = kCreditsStartTop;
    panel->move(panel->x(), top);
}

void TFmAbout::Button1Click(QObject*)
{
    m_timer1->stop();
    close();
}

void TFmAbout::windowClosed()
{
    // However the window was closed, the credits stop where they are.
    m_timer1->stop();
}
