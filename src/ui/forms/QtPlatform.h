#pragma once
// The platform services of the windows, implemented with Qt: message boxes,
// the standard dialogs, progress gauges, the message loop and the wait cursor,
// and the window layer that the GIS link needs. Tests replace the message
// boxes and the dialogs with scripted ones.
#include "gislink/GisPlatform.h"
#include "ui/MessageBoxes.h"

#include <QColor>
#include <QFileDialog>
#include <QPointer>
#include <QProgressBar>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexa {

// QMessageBox with the system's icons; "\r" in a text starts a new line.
class TQtMessageBoxes : public IMessageBoxes {
public:
    TMsgResult Show(TMsgType type, const std::string& text) override;
};

// The directory chooser, the file-open dialog and the colour dialog.
class IDialogs {
public:
    virtual ~IDialogs() = default;
    // A directory, starting in startDir; nothing when cancelled.
    virtual std::optional<std::string> ChooseDirectory(const std::string& startDir) = 0;
    // An existing file; fileName is the proposed name, filter like "*.dbf|*.dbf".
    virtual std::optional<std::string> OpenFile(const std::string& fileName, const std::string& filter,
                                                const std::string& title) = 0;
    virtual std::optional<QColor> ChooseColour(const QColor& initial) = 0;
    // A file to write (it may exist); fileName is the proposed name, filter as above.
    virtual std::optional<std::string> SaveFile(const std::string& fileName, const std::string& filter,
                                                const std::string& title) = 0;
    // A line of text the user types in answer to a question; nothing when cancelled. A set
    // of dialogs that cannot ask declines.
    virtual std::optional<std::string> AskText(const std::string& title, const std::string& question) {
        (void)title, (void)question;
        return std::nullopt;
    }
    // One of items (the user may also type one in), items[current] offered; nothing when
    // cancelled. A set of dialogs that cannot ask takes the offered one.
    virtual std::optional<std::string> AskChoice(const std::string& title, const std::string& question,
                                                 const std::vector<std::string>& items, int current) {
        (void)title, (void)question;
        return items.at(std::size_t(current));
    }
    // Opens a written file (a report) in the desktop's browser; false when it cannot.
    virtual bool OpenInBrowser(const std::string& path) {
        (void)path;
        return false;
    }
};

class TQtDialogs : public IDialogs {
public:
    std::optional<std::string> ChooseDirectory(const std::string& startDir) override;
    std::optional<std::string> OpenFile(const std::string& fileName, const std::string& filter,
                                        const std::string& title) override;
    std::optional<QColor> ChooseColour(const QColor& initial) override;
    bool OpenInBrowser(const std::string& path) override;
    std::optional<std::string> SaveFile(const std::string& fileName, const std::string& filter,
                                        const std::string& title) override;
    std::optional<std::string> AskText(const std::string& title, const std::string& question) override;
    std::optional<std::string> AskChoice(const std::string& title, const std::string& question,
                                         const std::vector<std::string>& items, int current) override;
};

// A progress bar as the gauge of a check pass.
class TQtGauge : public IGauge {
public:
    explicit TQtGauge(QProgressBar* bar) : FBar(bar) {}
    void SetMinimum(int value) override;
    void SetMaximum(int value) override;
    void SetProgress(int value) override;
    int Progress() const override;
    QProgressBar* Bar() const { return FBar; }

private:
    QPointer<QProgressBar> FBar;
};

// The program's windows for the core (message loop, wait cursor) and for the GIS link.
class TQtAppWindows : public IAppWindows {
public:
    explicit TQtAppWindows(IMessageBoxes& messages) : FMessages(messages) {}

    // The program's windows in creation order (the main window first).
    void AddWindow(QWidget* window) { FWindows.emplace_back(window); }

    void ProcessMessages() override;
    void ShowWaitCursor(TCursorKind kind) override;
    void RestoreCursor() override;

    std::vector<TAppWindow> AppWindows() override;
    TAppWindow ActiveAppWindow() override;
    void EnableAppWindow(TAppWindow window, bool enable) override;
    void FocusAppWindow(TAppWindow window) override;
    void ShowMessage(const std::string& text, TMessageIcon icon) override;
    void TerminateApplication() override;

    IMessageBoxes& Messages() { return FMessages; }

private:
    QWidget* Find(TAppWindow window) const;
    IMessageBoxes& FMessages;
    std::vector<QPointer<QWidget>> FWindows;
};

// Everything the three windows share: where the program's files are, the
// message boxes, the dialogs and the GIS link's platform objects.
struct TFormsEnv {
    std::string ProgramDir;  // ends in a delimiter: StandardGXD.mdb, Chyby.dbf, sibling programs
    IMessageBoxes* Messages = nullptr;
    IDialogs* Dialogs = nullptr;
    TQtAppWindows* App = nullptr;
    IDdeClient* Dde = nullptr;
    ISystemWindows* System = nullptr;
    // The INI file that keeps the main window's state from one start to the next (the ticks,
    // the limits, the last map, the standard, window sizes); "" keeps nothing.
    std::string SettingsFile;
    // A standard chosen on the command line ("vexa --standard FILE"); "" for the kept one
    // or, without one, StandardGXD.mdb beside the program.
    std::string StandardFile;
};

// Installs Qt's own Slovak texts (standard buttons, file dialogs) once per program;
// false when the translation file is not installed (the texts then stay English).
bool InstallQtTranslations();

// Qt's own file dialog with its columns and places list wide enough for their texts.
void MakeFileDialogReadable(QFileDialog& dialog);

// Display text of a message ("\r" as line breaks).
QString MessageText(const std::string& text);

}  // namespace vexa
