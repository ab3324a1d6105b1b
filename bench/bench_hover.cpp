// Hover highlighting: what the reset of the 119 hoverable labels and a
// mouse move over a catalogue label cost, and how many labels each repaints.
//
// The program's own windows are created as the program creates them (on a
// small sample database: the number of records does not matter here) and run
// on the offscreen platform unless QT_QPA_PLATFORM says otherwise. Every
// iteration includes the repaint that it causes (the events are processed
// before the clock stops); the counter "repainted" is the number of label
// paint events per iteration.
//
//   reset_nothing_lit  nach() with every label already idle: 119 colours set
//                      to the colour they have
//   reset_one_lit      nach() with one item lit: the lit item returns to
//                      idle (the lighting itself is outside the clock)
//   move_to_next_label a mouse move onto the neighbouring item: the reset,
//                      the new highlight, two labels repainted
//   move_within_label  a mouse move within the lit item: the reset and the
//                      same highlight again
#include "BenchSupport.h"

#include "app/WindowSet.h"
#include "ui/bus/TFrmCar.h"
#include "ui/main/TForm1.h"
#include "ui/widgets/TextLabel.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <memory>

namespace {

using namespace bench;

std::unique_ptr<WindowSet> windows;

// Counts the paint events of every hoverable label.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

PaintCounter* paints = nullptr;

bool startProgram()
{
    if (windows)
        return true;
    if (!useSampleDatabase())
        return false;
    windows = std::make_unique<WindowSet>();
    if (!Form1 || !FrmCar)
        return false;
    Form1->show();
    settle();
    paints = new PaintCounter;
    for (TextLabel* label : Form1->catalogueItems())
        label->installEventFilter(paints);
    for (TextLabel* label : FrmCar->hoverLabels())
        label->installEventFilter(paints);
    Form1->nach();
    settle();
    return true;
}

void stopProgram()
{
    delete paints;
    paints = nullptr;
    closeWindows(windows);
}

// Sends a move to a label as the window system would deliver it there.
void moveOver(TextLabel* label, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, label->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(label, &move);
}

void BM_ResetNothingLit(benchmark::State& state)
{
    if (!startProgram()) {
        state.SkipWithError("no sample database");
        return;
    }
    Form1->nach();
    settle();
    paints->count = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        clock.start();
        Form1->nach();
        settle();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    state.counters["repainted"] = benchmark::Counter(paints->count, benchmark::Counter::kAvgIterations);
}

void BM_ResetOneLit(benchmark::State& state)
{
    if (!startProgram()) {
        state.SkipWithError("no sample database");
        return;
    }
    TextLabel* lit = Form1->catalogueItems().at(40);
    int repainted = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        lit->setFontColor(Qt::white);
        settle();
        paints->count = 0;
        clock.start();
        Form1->nach();
        settle();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        repainted += paints->count;
    }
    state.counters["repainted"] = benchmark::Counter(repainted, benchmark::Counter::kAvgIterations);
}

void BM_MoveToNextLabel(benchmark::State& state)
{
    if (!startProgram()) {
        state.SkipWithError("no sample database");
        return;
    }
    TextLabel* labels[] = { Form1->catalogueItems().at(40), Form1->catalogueItems().at(41) };
    moveOver(labels[0], QPoint(3, 5));
    settle();
    paints->count = 0;
    int next = 1;
    QElapsedTimer clock;
    for (auto _ : state) {
        clock.start();
        moveOver(labels[next], QPoint(3, 5));
        settle();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        next = 1 - next;
    }
    state.counters["repainted"] = benchmark::Counter(paints->count, benchmark::Counter::kAvgIterations);
}

void BM_MoveWithinLabel(benchmark::State& state)
{
    if (!startProgram()) {
        state.SkipWithError("no sample database");
        return;
    }
    TextLabel* label = Form1->catalogueItems().at(40);
    moveOver(label, QPoint(3, 5));
    settle();
    paints->count = 0;
    int x = 4;
    QElapsedTimer clock;
    for (auto _ : state) {
        clock.start();
        moveOver(label, QPoint(x, 5));
        settle();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        x = x == 4 ? 5 : 4;
    }
    state.counters["repainted"] = benchmark::Counter(paints->count, benchmark::Counter::kAvgIterations);
}

void registerBenchmarks()
{
    const auto unit = benchmark::kMicrosecond;
    benchmark::RegisterBenchmark("reset_nothing_lit", BM_ResetNothingLit)->UseManualTime()->Unit(unit);
    benchmark::RegisterBenchmark("reset_one_lit", BM_ResetOneLit)->UseManualTime()->Unit(unit);
    benchmark::RegisterBenchmark("move_to_next_label", BM_MoveToNextLabel)->UseManualTime()->Unit(unit);
    benchmark::RegisterBenchmark("move_within_label", BM_MoveWithinLabel)->UseManualTime()->Unit(unit);
}

} // namespace

int main(int argc, char** argv)
{
    // The cost of hovering does not depend on the directory's size.
    if (qEnvironmentVariableIsEmpty("SARWINO_BENCH_RECORDS"))
        qputenv("SARWINO_BENCH_RECORDS", "2000");
    return runBenchmarks(argc, argv, registerBenchmarks, stopProgram);
}
