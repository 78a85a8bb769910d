// Helpers for the offscreen window tests: a user who answers the next modal dialog.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>
#include <memory>

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
