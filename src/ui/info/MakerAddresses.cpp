#include "ui/info/MakerAddresses.h"

namespace maker {

QString productPage()
{
    return QStringLiteral("http://") + QLatin1String(kHost) + QStringLiteral("/sarwino");
}

QString coursesPage()
{
    return QStringLiteral("http://") + QLatin1String(kHost) + QStringLiteral("/kordon");
}

QString contactMail()
{
    return QLatin1String(kMail);
}

QString contactMailLink()
{
    return QStringLiteral("mailto:") + contactMail();
}

} // namespace maker
