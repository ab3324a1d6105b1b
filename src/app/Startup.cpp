#include "app/Startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace startup {

namespace {

constexpr const char* kHelp = "Использование: sarwino [--version | --help]\n"
                              "Городской справочник Светлоборска: предприятия и организации города,\n"
                              "расписание городских автобусов. Справочник читается из файла Sarvino.mdb\n"
                              "в папке программы.\n"
                              "\n"
                              "  --version  показать версию и выйти\n"
                              "  --help     показать эту справку и выйти\n";

QtMessageHandler s_previous = nullptr;

// Why no window could be opened, in one line for the console.
QByteArray noDisplayLine()
{
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    QString line;
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        line = QStringLiteral("Sarwino: не удаётся открыть окно: оконная система «%1» недоступна.")
                   .arg(QString::fromLocal8Bit(platform));
    else if (display.isEmpty() && wayland.isEmpty())
        line = QStringLiteral("Sarwino: нет графического дисплея (не заданы DISPLAY и WAYLAND_DISPLAY); "
                              "программу можно запустить только в графическом сеансе.");
    else
        line = QStringLiteral("Sarwino: не удаётся подключиться к графическому дисплею «%1».")
                   .arg(QString::fromLocal8Bit(display.isEmpty() ? wayland : display));
    return line.toLocal8Bit() + '\n';
}

void watchingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // Qt's platform messages while the window system is being reached say
    // in several English lines what the one line below says.
    if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0)
        return;
    if (type == QtFatalMsg) {
        const QByteArray line = noDisplayLine();
        [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.constData(), size_t(line.size()));
        ::_exit(1);
    }
    if (s_previous)
        s_previous(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

QString versionLine()
{
    return QStringLiteral("Sarwino " SARWINO_VERSION);
}

std::optional<int> answerCommandLine(int argc, char** argv)
{
    if (argc != 2)
        return std::nullopt;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", versionLine().toLocal8Bit().constData());
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(QString::fromUtf8(kHelp).toLocal8Bit().constData(), stdout);
        return 0;
    }
    return std::nullopt;
}

int& watchForNoDisplay(int& argc)
{
    s_previous = qInstallMessageHandler(watchingHandler);
    return argc;
}

void endWatchForNoDisplay()
{
    qInstallMessageHandler(s_previous);
    s_previous = nullptr;
}

bool installQtTranslations(QCoreApplication& app)
{
    // The program speaks Russian whatever the desktop's language.
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return app.installTranslator(translator);
}

} // namespace startup
