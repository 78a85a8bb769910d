// Helpers for the offscreen window tests: the program's windows, and a user who answers the
// next modal dialog.
#pragma once

#include "about/tabout.h"
#include "app/richedit.h"
#include "mainwindow/tform1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>
#include <memory>

// The program's two windows as start-up makes them, reachable through Form1 and about while
// they live.
struct ProgramWindows {
    ProgramWindows()
    {
        Form1 = form.get();
        about = aboutForm.get();
    }
    ~ProgramWindows()
    {
        about = nullptr;
        Form1 = nullptr;
    }
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    std::unique_ptr<TForm1> form = std::make_unique<TForm1>(nullptr);
    std::unique_ptr<Tabout> aboutForm = std::make_unique<Tabout>(nullptr);
    TRichEdit* edit = form->findChild<TRichEdit*>("RichEdit1");
};

// Before a call that opens a modal window: once it is open, answer it as a user would.
// Polls, so that it also finds dialogs opened from deeper inside the call.
inline void WhenModalOpens(std::function<void(QWidget*)> answer, QWidget* notThis = nullptr)
{
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, clock, answer, notThis] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != notThis && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (clock->elapsed() > 10000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
}

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
