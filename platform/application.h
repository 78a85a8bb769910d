// The application object: start-up, the message loop and the standard error display.
#pragma once

#include "platform/exception.h"

#include <QString>
#include <exception>
#include <memory>
#include <vector>

class QApplication;
class QTranslator;
class QWidget;
class TForm;

// What the desktop knows the program by. The platform layer shows and registers it; the
// program names it.
struct ProgramIdentity {
    QString name;              // the system's: settings, and messages on standard error
    QString title;             // of message boxes
    QString desktopFileName;   // the desktop entry's id, which ties windows to it
    QString icon;              // a resource path
    QString translation;       // the name of its translation files, "<name>_<language>.qm"
    QString translationDirectory;
};

// The application object. The newest one is Application until it ends, when the one before it
// (if any) is Application again.
class TApplication {
public:
    TApplication(int& argc, char** argv, ProgramIdentity identity);
    ~TApplication();

    // Prepares the GUI: uses the QApplication that exists, or makes one, and speaks the
    // language of the default locale (the system's, unless QLocale::setDefault chose another).
    void Initialize();

    // Builds a window, stores it in the variable and keeps it until the application ends; the
    // first one built is the main window. If the window cannot be built, the variable is not set.
    template <typename Form>
    void CreateForm(Form*& variable)
    {
        auto form = std::make_unique<Form>(nullptr);
        variable = form.get();
        AdoptForm(std::move(form));
    }

    // Shows the main window and runs the message loop until it closes.
    int Run();
    // Shows the exception's message in a message box.
    void ShowException(const Exception& exception);

    TForm* MainForm() const { return mainForm_; }
    // A message box belongs to the window the user works in, or else to the main window:
    // without an owner a compositor may put it anywhere.
    QWidget* MessageOwner() const;
    const ProgramIdentity& Identity() const { return identity_; }
    QString Title() const { return identity_.title; }

private:
    void AdoptForm(std::unique_ptr<TForm> form);
    void InstallTranslation(const QString& name, const QString& directory);

    TApplication* previous_;
    int& argc_;
    char** argv_;
    ProgramIdentity identity_;
    std::unique_ptr<QApplication> ownApplication_;
    std::vector<std::unique_ptr<QTranslator>> translators_;
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
};

extern TApplication* Application;

// Where an exception escaped to: a command that the message loop ran, or the entry point.
enum class EscapedFrom { Command, EntryPoint };

// The standard error display, the one place that decides what an escaped exception shows: a
// platform exception its message; at the entry point anything else an empty message; from a
// command, the message of a standard exception too. Shown in a message box, or on standard
// error before the GUI exists.
void ShowEscapedException(std::exception_ptr escaped, EscapedFrom from = EscapedFrom::Command);

// Loads the translation "<name>_<language>.qm" in the directory for the default locale's
// language; false where there is none (the words stay English).
bool LoadTranslation(QTranslator& translator, const QString& name, const QString& directory);

[[noreturn]] void Halt(int status);
