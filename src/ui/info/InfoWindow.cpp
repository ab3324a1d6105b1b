#include "ui/info/InfoWindow.h"

#include "ui/info/MakerAddresses.h"
#include "ui/info/TsWebLabel.h"
#include "ui/widgets/ErrorReport.h"
#include "ui/widgets/PixelFonts.h"
#include "ui/widgets/ShellOpen.h"

#include <QLabel>

InfoWindow::InfoWindow(QWidget* owner)
    : SecondaryWindow(owner, windowFlagsWithoutButtons())
{
}

Qt::WindowFlags InfoWindow::windowFlagsWithoutButtons()
{
    // A title with no button hint: the window manager is asked for a title
    // bar and for moving the window, nothing else.
    return Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
}

void InfoWindow::finishLayout()
{
    usePixelFonts(this);
    for (QLabel* label : findChildren<QLabel*>()) {
        if (!label->wordWrap())
            label->adjustSize();
    }
}

void InfoWindow::setUpLinks(
    TsWebLabel* sWebLabel1, TsWebLabel* sWebLabel2, TsWebLabel* sWebLabel3, QWidget* lastControl)
{
    QWidget::setTabOrder(lastControl, sWebLabel1);
    QWidget::setTabOrder(sWebLabel1, sWebLabel2);
    QWidget::setTabOrder(sWebLabel2, sWebLabel3);
    sWebLabel1->setCaption(maker::productPage());
    sWebLabel2->setCaption(maker::coursesPage());
    sWebLabel3->setCaption(maker::contactMail());
    connect(
        sWebLabel1, &TsWebLabel::clicked, this, [this, sWebLabel1] { guarded([&] { sWebLabel1Click(sWebLabel1); }); });
    connect(
        sWebLabel2, &TsWebLabel::clicked, this, [this, sWebLabel2] { guarded([&] { sWebLabel2Click(sWebLabel2); }); });
    connect(
        sWebLabel3, &TsWebLabel::clicked, this, [this, sWebLabel3] { guarded([&] { sWebLabel3Click(sWebLabel3); }); });
}

void InfoWindow::sWebLabel1Click(QObject*)
{
    shellOpen(maker::productPage());
}

void InfoWindow::sWebLabel2Click(QObject*)
{
    shellOpen(maker::coursesPage());
}

void InfoWindow::sWebLabel3Click(QObject*)
{
    shellOpen(maker::contactMailLink());
}
