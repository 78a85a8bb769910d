// Helpers for the offscreen window tests: the program's windows, a user who answers the modal
// windows that a call opens, and the fixture that drives the main window through its keys.
#pragma once

#include "about/tabout.h"
#include "app/startup.h"
#include "mainwindow/tform1.h"
#include "platform/application.h"
#include "platform/richedit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTest>
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

// Answers the save dialog by typing a name, or cancels it with an empty name.
inline ModalAnswer SaveDialogAnswer(const QString& name)
{
    return [name](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), "kaka");
        EXPECT_EQ(dialog->nameFilters(), QStringList{"rtf (*.rtf)"});
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Sets the default locale while it lives: windows built meanwhile speak its language.
struct DefaultLocale {
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(QLocale::system()); }
};
struct TestsLanguage {  // English: the tests run under C.UTF-8
    static QLocale Locale() { return QLocale::system(); }
};
struct Latvian {
    static QLocale Locale() { return QLocale(QLocale::Latvian, QLocale::Latvia); }
};

template <typename Language>
class WindowTestIn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(edit_, nullptr);
        form_->show();
        ASSERT_NO_FATAL_FAILURE(Reactivate());
        QApplication::clipboard()->clear();
    }
    QAction* Action(const char* name) { return form_->findChild<QAction*>(name); }
    TBitBtn* Button(const char* name) { return form_->findChild<TBitBtn*>(name); }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form_, Qt::Key(key), modifiers);
    }
    // Types as a keyboard would, Latvian letters included.
    void Type(const QString& text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            // A character beyond the BMP arrives as one key with both halves.
            const QString c = text.mid(i, text[i].isHighSurrogate() ? 2 : 1);
            i += c.size() - 1;
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, c);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, c);
            QApplication::sendEvent(edit_, &press);
            QApplication::sendEvent(edit_, &release);
        }
    }
    // After a modal window, the main window is made active again, as a window manager would.
    // The focus itself, not QWindow::isActive(), which also holds while a window over it has it.
    void Reactivate()
    {
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([this] { return QGuiApplication::focusWindow() == form_->windowHandle(); }));
        edit_->setFocus();
    }
    QString Text() const { return edit_->toPlainText(); }

    void SaveAs(const QString& name) { AnswerModal(SaveDialogAnswer(name), [this] { Action("SaveAs1")->trigger(); }); }

    DefaultLocale locale_{Language::Locale()};
    ProgramWindows windows_;
    TForm1* form_ = windows_.form;
    TRichEdit* edit_ = windows_.edit;
};
using WindowTest = WindowTestIn<TestsLanguage>;

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
