#include "ui/widgets/ShellOpen.h"

#include <QDesktopServices>
#include <QUrl>

void shellOpen(const QString& address)
{
    const QUrl url = QUrl::fromUserInput(address);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}
