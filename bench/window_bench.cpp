// Convert, its undo and Paste in the editor, end to end, each against the editor merely loading
// its result with setPlainText, timed in turns in the same iterations, offscreen. The counter
// "x_load" is the operation's time as a multiple of that load; each is run five times, and
// the median of the five is the figure to read, since single runs move by a third.
#include "about/tabout.h"
#include "app/startup.h"
#include "conversion/convert.h"
#include "platform/richedit.h"
#include "mainwindow/tform1.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <chrono>
#include <cstdlib>

namespace {

QString LatvianText(qsizetype bytes)
{
    const QString line = QStringLiteral(
        "Zimbrots ir neliela programma teksta pārveidošanai hakeru rakstībā. Šķiet, ka ģimenē "
        "visi to lieto: ūdens, ņaudēt, čūska, žagata, ķirbis, ļoti garas rindas.\n");
    return line.repeated(bytes / line.toUtf8().size() + 1);
}

// The same size as one word without a space, which the editor wraps anywhere.
QString OneWord(qsizetype bytes) { return QStringLiteral("Labdien,Žūžū!").repeated(bytes / 17 + 1); }

struct Window {
    Window()
    {
        form = new TForm1(nullptr);
        about = new Tabout(nullptr);
        form->show();
        form->activateWindow();
        edit = form->findChild<TRichEdit*>("RichEdit1");
        edit->setFocus();
    }
    ~Window()
    {
        delete about;
        delete form;
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Seconds that call takes, with the events it posted handled, as before the user sees it.
    template <class Call>
    static double Seconds(Call call)
    {
        const auto start = std::chrono::steady_clock::now();
        call();
        QApplication::processEvents();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    double Load(const QString& text)
    {
        edit->clear();
        QApplication::processEvents();
        return Seconds([&] { edit->setPlainText(text); });
    }

    TForm1* form;
    TRichEdit* edit;
};

void Report(benchmark::State& state, double operation, double load)
{
    state.counters["x_load"] = operation / load;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

void BM_LoadPlainText(benchmark::State& state)
{
    Window window;
    const QString text = LatvianText(state.range(0));
    for (auto _ : state)
        state.SetIterationTime(window.Load(text));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}

// Convert against loading the converted text.
void BM_Convert(benchmark::State& state)
{
    Window window;
    const QString text = LatvianText(state.range(0));
    const QString converted = QString::fromStdU16String(zimbrots::ConvertUtf16(text.toStdU16String()));
    double operation = 0, load = 0;
    for (auto _ : state) {
        load += window.Load(converted);
        window.Load(text);
        const double seconds = Window::Seconds([&] { window.form->BitBtn1Click(); });
        operation += seconds;
        state.SetIterationTime(seconds);
    }
    Report(state, operation, load);
}

// Undo of Convert against loading the text it brings back.
void BM_UndoConvert(benchmark::State& state)
{
    Window window;
    const QString text = LatvianText(state.range(0));
    double operation = 0, load = 0;
    for (auto _ : state) {
        load += window.Load(text);
        window.form->BitBtn1Click();
        QApplication::processEvents();
        const double seconds = Window::Seconds([&] { QTest::keyClick(window.edit, Qt::Key_Z, Qt::ControlModifier); });
        operation += seconds;
        state.SetIterationTime(seconds);
    }
    if (window.edit->document()->characterCount() != text.size() + 1)
        state.SkipWithError("the undo did not bring the text back");
    Report(state, operation, load);
}

// Pasting into the empty editor, against loading the same text: lines or one word, through
// the Edit menu or Ctrl+V.
void BM_Paste(benchmark::State& state)
{
    Window window;
    const QString text = state.range(1) ? LatvianText(state.range(0)) : OneWord(state.range(0));
    QApplication::clipboard()->setText(text);
    QAction* paste = window.form->findChild<QAction*>("Paste1");
    double operation = 0, load = 0;
    for (auto _ : state) {
        load += window.Load(text);
        window.edit->clear();
        QApplication::processEvents();
        const double seconds = Window::Seconds([&] {
            if (state.range(2))
                QTest::keyClick(window.edit, Qt::Key_V, Qt::ControlModifier);
            else
                paste->trigger();
        });
        operation += seconds;
        state.SetIterationTime(seconds);
    }
    if (window.edit->document()->characterCount() != text.size() + 1)
        state.SkipWithError("the paste did not reach the editor");
    Report(state, operation, load);
}

constexpr std::int64_t MiB = 1 << 20;

BENCHMARK(BM_LoadPlainText)->ArgName("bytes")->Arg(MiB)->Arg(4 * MiB)->Arg(20 * MiB)
    ->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Convert)->ArgName("bytes")->Arg(MiB)->Arg(4 * MiB)->Arg(20 * MiB)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_UndoConvert)->ArgName("bytes")->Arg(MiB)->Arg(4 * MiB)->Arg(20 * MiB)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Paste)->ArgNames({"bytes", "lines", "ctrl_v"})
    ->ArgsProduct({{MiB, 4 * MiB, 20 * MiB}, {1, 0}, {0, 1}})
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TApplication application(argc, argv, ZimbrotsIdentity());
    application.Initialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
