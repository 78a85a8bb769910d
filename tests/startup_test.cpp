// The program's start and end, and the About window shown and hidden over its lifetime.
#include "gui_support.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>

namespace {

using LifetimeTest = WindowTest;

TEST_F(LifetimeTest, ExitEndsTheProcessWithStatusOne)
{
    EXPECT_EXIT(
        {
            Type("lost without a prompt");
            Key(Qt::Key_Q);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(Button("BitBtn2")->click(), ::testing::ExitedWithCode(1), "");
}

TEST_F(LifetimeTest, AboutIsModalAndTheSameWindowEveryTime)
{
    QWidget* seen[2] = {};
    for (QWidget*& s : seen) {
        AnswerModal([&s, this](QWidget* modal) {
            s = modal;
            EXPECT_EQ(modal->windowHandle()->transientParent(), form_->windowHandle()) << "over the main window";
            // While it is open the main window takes no input.
            EXPECT_EQ(modal->windowModality(), Qt::ApplicationModal);
            auto* memo = modal->findChild<QPlainTextEdit*>("Memo1");
            EXPECT_TRUE(memo->isReadOnly());
            QTest::keyClicks(memo, "edit");
            EXPECT_FALSE(memo->toPlainText().contains("edit"));
            QTest::keyClick(modal, Qt::Key_U, Qt::AltModifier);
        }, [this] { Action("Help1")->trigger(); });
    }
    EXPECT_EQ(seen[0], about);
    EXPECT_EQ(seen[1], about);
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(about->ModalResult(), mrOk);

    int result = mrNone;
    AnswerModal([](QWidget* modal) { modal->close(); }, [&result] { result = about->ShowModal(); });
    EXPECT_EQ(result, mrCancel) << "the caption bar's close button cancels";
}

struct StartUpFailure : ::testing::TestWithParam<bool> {};

TEST_P(StartUpFailure, IsReportedAndTheEntryReturnsZero)
{
    const bool platformException = GetParam();
    QString shown = "not shown";
    int status = -1;
    AnswerModal(MessageBoxAnswer(shown), [&status, platformException] {
        status = WinMain([platformException] {
            if (platformException)
                throw Exception("The window could not be built.");
            throw 42;
        });
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shown, platformException ? "The window could not be built." : "");
}
INSTANTIATE_TEST_SUITE_P(Both, StartUpFailure, ::testing::Bool());

TEST(StartUp, ClosingTheMainWindowEndsTheLoopWithZero)
{
    TForm1* main = nullptr;
    QTimer::singleShot(100, [&] {
        ASSERT_NE(main, nullptr);
        EXPECT_TRUE(main->isVisible());
        main->close();
    });
    // The forms stay with the application object until it ends.
    const int status = WinMain([&] { Application->CreateForm(main); });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(main->isVisible());
}

}  // namespace
