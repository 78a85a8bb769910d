#include "platform/forms.h"

#include "platform/application.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QWindow>

TForm::TForm(QWidget* parent) : QMainWindow(parent) {}

void TForm::SetBiDiMode(const QString& mode)
{
    biDiMode_ = mode;
    // Right to left only where the system reads that way.
    const bool rightToLeft = mode == QLatin1String("bdRightToLeft") && QLocale::system().textDirection() == Qt::RightToLeft;
    setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
}

void TForm::SetLeft(int left)
{
    left_ = left;
    move(left_, top_);
}

void TForm::SetTop(int top)
{
    top_ = top;
    move(left_, top_);
}

void TForm::SetBorderStyle(const QString& style)
{
    borderStyle_ = style;
    ApplyBorderStyle();
}

void TForm::ApplyBorderStyle()
{
    if (borderStyle_ == QLatin1String("bsToolWindow")) {
        // The main window stays an ordinary window so that the task bar and Alt+Tab reach it.
        const bool mainForm = Application && Application->MainForm() == this;
        setWindowFlags((mainForm ? Qt::Window : Qt::Tool) | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowCloseButtonHint);
        // A tool window's flags took this away; closing the main window ends the program.
        setAttribute(Qt::WA_QuitOnClose, mainForm);
    }
}

void TForm::ApplySize()
{
    if (clientWidth_ > 0 && clientHeight_ > 0) {
        // The menu bar sits above the client area, as the layout counts it.
        const int menuHeight = menuWidget() ? menuWidget()->sizeHint().height() : 0;
        const QSize size(clientWidth_, clientHeight_ + menuHeight);
        if (borderStyle_ == QLatin1String("bsToolWindow") || borderStyle_ == QLatin1String("bsSingle") ||
            borderStyle_ == QLatin1String("bsDialog"))
            setFixedSize(size);
        else
            resize(size);
    }
}

bool TForm::event(QEvent* event)
{
    if (event->type() == QEvent::Polish) {
        ApplySize();
        // Labels size themselves to their caption, so a wider fallback font never cuts it.
        for (QLabel* label : findChildren<QLabel*>())
            if (!label->wordWrap() && label->sizeHint().width() > label->width())
                label->resize(label->sizeHint().width(), label->height());
    }
    return QMainWindow::event(event);
}

int TForm::ShowModal()
{
    modalResult_ = mrNone;
    setWindowModality(Qt::ApplicationModal);
    // Over the main window, as its dialog: the window manager or compositor places it there
    // and keeps it above, and on Wayland that is the only way to tie the two.
    TForm* main = Application ? Application->MainForm() : nullptr;
    if (main && main != this && main->windowHandle()) {
        winId();
        windowHandle()->setTransientParent(main->windowHandle());
    }
    QEventLoop loop;
    modalLoop_ = &loop;
    show();
    raise();
    activateWindow();
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
    hide();
    setWindowModality(Qt::NonModal);
    return modalResult_;
}

void TForm::SetModalResult(int result)
{
    modalResult_ = result;
    if (result != mrNone && modalLoop_)
        modalLoop_->quit();
}

void TForm::closeEvent(QCloseEvent* event)
{
    if (modalLoop_) {
        // Closed by the caption bar while modal: that is a cancel.
        event->ignore();
        SetModalResult(mrCancel);
        return;
    }
    QMainWindow::closeEvent(event);
}

TBitBtn::TBitBtn(QWidget* parent) : QPushButton(parent)
{
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, [this] {
        if (modalResult_ == mrNone)
            return;
        if (auto* form = qobject_cast<TForm*>(window()))
            form->SetModalResult(modalResult_);
    });
}
