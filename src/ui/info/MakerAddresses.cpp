#include "ui/info/MakerAddresses.h"

namespace maker {

QString productPage()
{
    return QStringLiteral("http://") + QLatin1String(host) + QStringLiteral("/sarwino");
}

QString coursesPage()
{
    return QStringLiteral("http://") + QLatin1String(host) + QStringLiteral("/kordon");
}

QString contactMail()
{
    return QLatin1String(mail);
}

QString contactMailLink()
{
    return QStringLiteral("mailto:") + contactMail();
}

} // namespace maker
