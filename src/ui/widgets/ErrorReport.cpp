#include "ui/widgets/ErrorReport.h"

#include "data/DataError.h"
#include "ui/widgets/MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <new>

namespace {

QString& title()
{
    static QString value;
    return value;
}

} // namespace

namespace errors {

QString applicationTitle()
{
    if (title().isEmpty())
        return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return title();
}

void setApplicationTitle(const QString& value)
{
    title() = value;
}

QString withFullStop(QString message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        message += QLatin1Char('.');
    return message;
}

QString messageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const SilentAbort&) {
        return {};
    } catch (const DataError& e) {
        return e.message();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Не хватает памяти, чтобы выполнить это действие");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка");
    }
}

void report(std::exception_ptr error) noexcept
{
    try {
        const QString message = messageOf(error);
        if (message.isEmpty())
            return;
        MessageBox::show(nullptr, QMessageBox::Critical, applicationTitle(), withFullStop(message), QMessageBox::Ok,
            QMessageBox::Ok);
    } catch (...) {
        // Nothing sensible is left to do when showing the error fails.
    }
}

} // namespace errors
