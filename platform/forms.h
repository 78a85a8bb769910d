// Window base and the button that closes a modal window with a result.
#pragma once

#include "platform/application.h"
#include "platform/richedit_layout.h"

#include <QMainWindow>
#include <QPushButton>

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

class QEventLoop;

class TForm : public QMainWindow {
    Q_OBJECT
    // Set by layouts.
    Q_PROPERTY(QString BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(QString BiDiMode READ BiDiMode WRITE SetBiDiMode)
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(int ClientWidth READ ClientWidth WRITE SetClientWidth)
    Q_PROPERTY(int ClientHeight READ ClientHeight WRITE SetClientHeight)

public:
    explicit TForm(QWidget* parent = nullptr);

    // Shows the window modally; returns its modal result once it is closed.
    int ShowModal();
    int ModalResult() const { return modalResult_; }
    // The window's kind and buttons, from its border style and whether it is the main window.
    // Set before the window first shows: changing them later makes Qt build it anew.
    void ApplyBorderStyle();
    // A result other than mrNone closes a modal window.
    void SetModalResult(int result);

    QString BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(const QString& style);
    QString BiDiMode() const { return biDiMode_; }
    void SetBiDiMode(const QString& mode);
    int Left() const { return left_; }
    void SetLeft(int left);
    int Top() const { return top_; }
    void SetTop(int top);
    int ClientWidth() const { return clientWidth_; }
    void SetClientWidth(int width) { clientWidth_ = width; }
    int ClientHeight() const { return clientHeight_; }
    void SetClientHeight(int height) { clientHeight_ = height; }

protected:
    // Runs a command as the message loop does: an exception that escapes it is shown by the
    // standard error display and the program goes on. Caught here, at the edge of our code,
    // because Qt's widget libraries are built without exception support and cannot unwind.
    // A long command lets the window repaint and answer between its steps; nothing started
    // meanwhile, such as a screen reader pressing a button, runs inside it, nor inside an
    // editor's long undo or redo.
    template <typename Command>
    void Dispatch(Command&& command)
    {
        if (dispatching_ || THeldLayout::AnyHeld())
            return;
        dispatching_ = true;
        try {
            command();
        } catch (...) {
            ShowEscapedException(std::current_exception());
        }
        dispatching_ = false;
    }

    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ApplySize();

    QString borderStyle_ = QStringLiteral("bsSizeable");
    QString biDiMode_ = QStringLiteral("bdLeftToRight");
    int left_ = 0, top_ = 0, clientWidth_ = 0, clientHeight_ = 0;
    int modalResult_ = mrNone;
    QEventLoop* modalLoop_ = nullptr;
    bool dispatching_ = false;
};

class TBitBtn : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)

public:
    explicit TBitBtn(QWidget* parent = nullptr);
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

private:
    int modalResult_ = mrNone;
};
