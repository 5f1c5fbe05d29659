#pragma once
// What the GIS link needs of the platform, as three small interfaces:
//  - IDdeClient / IDdeConversation: the DDE client layer (Windows: DDEML);
//  - ISystemWindows: top-level windows of other programs, processes, a clock;
//  - IAppWindows: the program's own windows (message loop, cursor, message boxes),
//    implemented by the window layer.
// All texts crossing these interfaces are UTF-8; the Windows implementation converts
// them to and from the ANSI code page on the wire.
#include "common/UserInterface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

// A top-level window of any program (Windows: HWND); 0 is no window.
using TWindowHandle = std::uintptr_t;

// --- DDE client layer --------------------------------------------------------

// One client conversation with a DDE server. Created closed; Open connects at once.
class IDdeConversation {
public:
    virtual ~IDdeConversation() = default;

    // Opens the conversation on service/topic (closing a previous one first).
    // True when a server accepted it.
    virtual bool Open(const std::string& service, const std::string& topic) = 0;
    // Ends the conversation; no close notification is given for it. Harmless when closed.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Synchronous request of a text item; gives up after 10 000 ms. The reply text,
    // or empty when there is none (refused, timed out, conversation not open).
    virtual std::string Request(const std::string& item) = 0;
    // Starts a macro transaction asynchronously and returns at once: true when it was
    // started, false when it was refused (conversation not open, post failed).
    virtual bool Execute(const std::string& macro) = 0;

    // Hot link on an item: every new value is passed to onChange during a pass of the
    // message loop. False when the server refused the link. Ends with the conversation.
    virtual bool HotLink(const std::string& item, std::function<void(const std::string&)> onChange) = 0;

    // Called once, during a pass of the message loop, when the server ends the
    // conversation. An empty function removes the notification.
    virtual void SetCloseNotification(std::function<void()> onClose) = 0;
};

class IDdeClient {
public:
    virtual ~IDdeClient() = default;
    virtual std::unique_ptr<IDdeConversation> CreateConversation() = 0;
    // Whether this system has a GIS link at all (false where no GIS can run).
    virtual bool Available() const { return true; }
};

// --- windows and processes of the system ---------------------------------------

// A started process; the destructor releases its handles (the process keeps running).
class IProcess {
public:
    virtual ~IProcess() = default;
    // Tests without waiting whether the process has ended.
    virtual bool HasEnded() = 0;
};

class ISystemWindows {
public:
    virtual ~ISystemWindows() = default;

    // Top-level windows in the order the window system enumerates them.
    virtual std::vector<TWindowHandle> TopLevelWindows() = 0;
    // The window's title read into a buffer of bufferSize characters including the
    // terminating zero, so at most bufferSize - 1 characters of it.
    virtual std::string WindowTitle(TWindowHandle window, int bufferSize) = 0;
    virtual bool IsWindow(TWindowHandle window) = 0;
    virtual void EnableWindow(TWindowHandle window, bool enable) = 0;
    // Posts a close request (WM_CLOSE) to the window.
    virtual void PostCloseRequest(TWindowHandle window) = 0;

    // Starts a process: command line, working directory (empty: the caller's),
    // creation flags (Windows CreateProcess flags), no inherited handles, zeroed
    // startup information. Null when the process could not be created.
    virtual std::unique_ptr<IProcess> StartProcess(const std::string& commandLine, const std::string& workingDirectory,
                                                   std::uint32_t creationFlags) = 0;

    // Milliseconds of a monotonic clock, and a pause.
    virtual std::uint64_t TickCount() = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
};

// --- the program's own windows ---------------------------------------------------

// Icon of a modal message box with an OK button.
enum class TMessageIcon { Warning, Error, Information };

// One of the program's windows (a form), as the window layer identifies it.
using TAppWindow = void*;

// The window layer implements this for the link. ProcessMessages runs one pass of the
// message loop; ShowWaitCursor/RestoreCursor show and restore the hourglass.
class IAppWindows : public IUserInterface {
public:
    // The program's windows in creation order.
    virtual std::vector<TAppWindow> AppWindows() = 0;
    // The active one of them, or nullptr.
    virtual TAppWindow ActiveAppWindow() = 0;
    virtual void EnableAppWindow(TAppWindow window, bool enable) = 0;
    virtual void FocusAppWindow(TAppWindow window) = 0;
    // A modal message box with an OK button.
    virtual void ShowMessage(const std::string& text, TMessageIcon icon) = 0;
    // Closes the main window and ends the application.
    virtual void TerminateApplication() = 0;
};

// --- the platform's own implementations --------------------------------------------

// Windows: DDEML in the ANSI code page. Elsewhere: no GIS can run, conversations are
// never accepted.
std::unique_ptr<IDdeClient> CreateNativeDdeClient();
// Windows: user32/kernel32. Elsewhere: no top-level windows, no process can be started.
std::unique_ptr<ISystemWindows> CreateNativeSystemWindows();

// The short (8.3) form of an existing path; empty when nothing of that name exists.
// Where the platform has no short names it is the path itself (the existing entry's
// name when only the letter case differs).
std::string ShortPathName(const std::string& path);
// Whether a directory of that name exists (letter case ignored where names are exact).
bool DirectoryExists(const std::string& path);

}  // namespace vexa
