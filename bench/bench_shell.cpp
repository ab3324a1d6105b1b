// What the program's place on the desktop costs: the application hook that
// looks at every event for a wheel turn (against the same events with no
// hook), and the writing of the two launchers that every start does.
#include "BenchSupport.h"

#include "shell/Shortcut.h"
#include "ui/main/ApplicationHook.h"
#include "ui/main/WheelKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QWheelEvent>

#include <benchmark/benchmark.h>

#include <memory>

using namespace bench;

namespace {

// Receives the events sent below and does nothing with them.
class Sink : public QObject {
public:
    bool event(QEvent*) override { return true; }
};

void deliverEvents(benchmark::State& state, bool hooked)
{
    QObject owner;
    if (hooked) {
        // The main window's hook: a type test, and the translation for a wheel event alone.
        ApplicationHook::set(&owner, [](QObject* receiver, QEvent* event, bool& handled) {
            if (event->type() != QEvent::Wheel)
                return;
            handled = wheelkeys::translate(receiver, static_cast<QWheelEvent*>(event));
        });
    }
    Sink sink;
    QEvent event(QEvent::User);
    for (auto _ : state)
        benchmark::DoNotOptimize(QCoreApplication::sendEvent(&sink, &event));
    state.SetItemsProcessed(state.iterations());
}

void BM_EventWithoutHook(benchmark::State& state)
{
    deliverEvents(state, false);
}

void BM_EventWithHook(benchmark::State& state)
{
    deliverEvents(state, true);
}

// The two launchers and the icon, as a start writes them.
void BM_WriteLaunchers(benchmark::State& state)
{
    const QString target = runFolder() + QStringLiteral("/program/Sarwino");
    QDir().mkpath(runFolder() + QStringLiteral("/Desktop"));
    for (auto _ : state) {
        QString link;
        CreateShortcut(target, ShortcutDesktop, QString(), link, QStringLiteral("Description"), {}, {});
        QString programs;
        GetProgramsFolder(programs);
        CreateShortcut(target, ShortcutFolder, programs, link, QStringLiteral("Description"), {}, {});
        benchmark::DoNotOptimize(link);
    }
    if (!QFileInfo::exists(runFolder() + QStringLiteral("/Desktop/Sarwino.desktop")))
        state.SkipWithError("no launcher was written");
}

} // namespace

BENCHMARK(BM_EventWithoutHook)->Name("event_without_hook");
BENCHMARK(BM_EventWithHook)->Name("event_with_hook");
BENCHMARK(BM_WriteLaunchers)->Name("write_launchers")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv, {}, {});
}
