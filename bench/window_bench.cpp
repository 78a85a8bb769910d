// Convert in the editor, end to end (read, convert, put back, undo recorded), against the
// editor merely loading the same text, both offscreen in one run.
#include "about/tabout.h"
#include "app/startup.h"
#include "platform/richedit.h"
#include "mainwindow/tform1.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <cstdlib>

namespace {

QString LatvianText(qsizetype bytes)
{
    const QString line = QStringLiteral(
        "Zimbrots ir neliela programma teksta pārveidošanai hakeru rakstībā. Šķiet, ka ģimenē "
        "visi to lieto: ūdens, ņaudēt, čūska, žagata, ķirbis, ļoti garas rindas.\n");
    const qsizetype lineBytes = line.toUtf8().size();
    return line.repeated(bytes / lineBytes + 1);
}

struct Window {
    Window()
    {
        form = new TForm1(nullptr);
        about = new Tabout(nullptr);
        form->show();
        edit = form->findChild<TRichEdit*>("RichEdit1");
    }
    ~Window()
    {
        delete about;
        delete form;
    }
    TForm1* form;
    TRichEdit* edit;
};

void BM_LoadPlainText(benchmark::State& state)
{
    Window window;
    const QString text = LatvianText(state.range(0));
    for (auto _ : state) {
        window.edit->setPlainText(text);
        QApplication::processEvents();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_LoadPlainText)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Convert(benchmark::State& state)
{
    Window window;
    const QString text = LatvianText(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        window.edit->setPlainText(text);
        QApplication::processEvents();
        state.ResumeTiming();
        window.form->BitBtn1Click();
        QApplication::processEvents();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Convert)->Arg(1 << 20)->Arg(20 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

// Pasting through the Edit menu: lines, and the same size as one word without a space, which
// the editor wraps anywhere rather than at words.
void BM_Paste(benchmark::State& state)
{
    Window window;
    const QString text = state.range(1) ? LatvianText(state.range(0))
                                        : QStringLiteral("Labdien,Žūžū!").repeated(state.range(0) / 17);
    QApplication::clipboard()->setText(text);
    for (auto _ : state) {
        state.PauseTiming();
        window.edit->Clear();
        QApplication::processEvents();
        state.ResumeTiming();
        window.form->Paste1Click();
        QApplication::processEvents();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Paste)->ArgNames({"bytes", "lines"})->Args({1 << 20, 1})->Args({1 << 20, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

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
