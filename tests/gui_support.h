// Helpers for the offscreen window tests: the program's windows, and a user who answers the
// modal windows that a call opens.
#pragma once

#include "about/tabout.h"
#include "app/startup.h"
#include "mainwindow/tform1.h"
#include "platform/application.h"
#include "platform/richedit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <ostream>
#include <vector>

// The program's two windows, built by an application object of their own as start-up builds
// them (the first one is the main window), and reachable through Form1 and about while they
// live.
struct ProgramWindows {
    ProgramWindows()
    {
        application.Initialize();
        application.CreateForm(Form1);
        application.CreateForm(about);
        form = Form1;
        edit = form->findChild<TRichEdit*>("RichEdit1");
    }
    ~ProgramWindows()
    {
        about = nullptr;
        Form1 = nullptr;
    }
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    int argc = 0;
    TApplication application{argc, nullptr, ZimbrotsIdentity()};
    TForm1* form = nullptr;
    TRichEdit* edit = nullptr;
};

using ModalAnswer = std::function<void(QWidget*)>;

// Runs call, which must open modal windows, one after the other, and answers each as a user
// would, once it takes the keyboard. The test fails if fewer open than there are answers,
// or if one stays open 10 s after its answer; such a window is closed, so that its loop ends.
inline void AnswerModals(std::vector<ModalAnswer> answers, const std::function<void()>& call)
{
    constexpr int Patience = 10000;
    std::size_t answered = 0;
    QPointer<QWidget> last;
    QElapsedTimer waiting;
    waiting.start();
    QTimer poll;  // lives no longer than the call
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        // The window that takes the keys and shortcuts. Not QWindow::isActive(): a window over
        // the main window counts as active while the main window still has the focus.
        const bool ready = modal && modal->isVisible() && modal->windowHandle()
            && QGuiApplication::focusWindow() == modal->windowHandle();
        if (ready && modal != last && answered < answers.size()) {
            last = modal;
            waiting.restart();
            answers[answered++](modal);
            return;
        }
        if (modal && waiting.elapsed() > Patience) {
            ADD_FAILURE() << "a modal window (" << modal->metaObject()->className() << " \""
                          << modal->windowTitle().toStdString() << "\") is still open after "
                          << answered << " of " << answers.size() << " answers; closing it";
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            waiting.restart();
        }
    });
    poll.start(5);
    call();
    poll.stop();
    if (answered < answers.size())
        ADD_FAILURE() << "only " << answered << " of " << answers.size() << " expected modal windows opened";
}

inline void AnswerModal(ModalAnswer answer, const std::function<void()>& call)
{
    AnswerModals({std::move(answer)}, call);
}

// Answers a message box with the button, and keeps what it said in shown.
inline ModalAnswer MessageBoxAnswer(QString& shown, QMessageBox::StandardButton button = QMessageBox::Ok)
{
    return [&shown, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        ASSERT_NE(box->button(button), nullptr);
        box->button(button)->click();
    };
}

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
