#include "platform/application.h"

#include "platform/forms.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

TApplication* Application = nullptr;

namespace {

// The last line of the standard error display, for an exception thrown from code that does
// not dispatch through TForm::Dispatch: better shown than ending the program.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (...) {
            const std::exception_ptr escaped = std::current_exception();
            QTimer::singleShot(0, qApp, [escaped] { ShowEscapedException(escaped); });
        }
        return false;
    }
};


void SubstituteWindowsFonts()
{
    const QString sans = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    QFont::insertSubstitutions(QStringLiteral("Courier New"), {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
    // Liberation Sans keeps the narrow widths the layouts were drawn with.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), {QStringLiteral("Liberation Sans"), sans});
    QFont::insertSubstitutions(QStringLiteral("Verdana"), {QStringLiteral("DejaVu Sans"), sans});
}

}  // namespace

TApplication::TApplication(int& argc, char** argv, ProgramIdentity identity)
    : previous_(Application), argc_(argc), argv_(argv), identity_(std::move(identity))
{
    Application = this;
}

TApplication::~TApplication()
{
    forms_.clear();
    translators_.clear();  // each leaves the application as it goes
    if (Application == this)
        Application = previous_;
}

void TApplication::Initialize()
{
    if (!QApplication::instance())
        ownApplication_ = std::make_unique<GuardedApplication>(argc_, argv_);
    // No display name: Qt 6.8 on Wayland would add it to every window title ("... — Name"),
    // and the layouts' captions are the titles.
    QApplication::setApplicationName(identity_.name);
    // Ties the windows to the installed desktop entry: its name and icon in docks and task
    // switchers, and the application id on Wayland.
    QGuiApplication::setDesktopFileName(identity_.desktopFileName);
    QApplication::setWindowIcon(QIcon(identity_.icon));
    SubstituteWindowsFonts();
    // Qt's own words (context menus, dialogs, buttons) and the program's.
    InstallTranslation(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    InstallTranslation(identity_.translation, identity_.translationDirectory);
}

void TApplication::InstallTranslation(const QString& name, const QString& directory)
{
    auto translator = std::make_unique<QTranslator>();
    if (LoadTranslation(*translator, name, directory) && QCoreApplication::installTranslator(translator.get()))
        translators_.push_back(std::move(translator));
}

bool LoadTranslation(QTranslator& translator, const QString& name, const QString& directory)
{
    return !name.isEmpty() && translator.load(QLocale(), name, QStringLiteral("_"), directory);
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form)
{
    if (!mainForm_) {
        mainForm_ = form.get();
        mainForm_->ApplyBorderStyle();
    }
    forms_.push_back(std::move(form));
}

int TApplication::Run()
{
    if (!mainForm_)
        return 0;
    // Qt ends the loop when the last primary window closes: the main window, since any other
    // is a tool window and never open while the main one can be closed.
    mainForm_->show();
    return QApplication::exec();
}

void ShowEscapedException(std::exception_ptr escaped, EscapedFrom from)
{
    const Exception shown = [&] {
        try {
            std::rethrow_exception(escaped);
        } catch (const Exception& exception) {
            return exception;
        } catch (const std::bad_alloc&) {
            if (from == EscapedFrom::Command)
                return Exception(QCoreApplication::translate("TApplication", "There is not enough memory to finish this command."));
        } catch (const std::exception& exception) {
            if (from == EscapedFrom::Command)
                return Exception(QString::fromLocal8Bit(exception.what()));
        } catch (...) {
        }
        return Exception(QString());
    }();
    if (Application && QApplication::instance())
        Application->ShowException(shown);
    else
        std::fprintf(stderr, "%s: %s\n",
                     Application ? qPrintable(Application->Identity().name) : program_invocation_short_name, shown.what());
}

QWidget* TApplication::MessageOwner() const
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return mainForm_;
}

void TApplication::ShowException(const Exception& exception)
{
    QMessageBox box(QMessageBox::Critical, Title(), exception.Message(), QMessageBox::Ok, MessageOwner());
    box.exec();
}

void Halt(int status) { std::exit(status); }
