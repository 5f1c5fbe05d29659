#pragma once
// TTopolDDEObj: the DDE client of a running TopoL. It finds TopoL's main window,
// holds a conversation on service "Topol" / topic "System", opens a short-lived one
// on a block's topic for block items and macros, and wraps every transaction in the
// "Status"/"LastError" handshake. The GIS commands and ShowElement build on it.
//
// One link serves one request to show an element:
//   auto dde = CreateNativeDdeClient();
//   auto system = CreateNativeSystemWindows();
//   TTopolDDEObj link(*dde, *system, appWindows);     // appWindows: the window layer's IAppWindows
//   if (!link.IsTopolRunning()) { ...tell the user to start TopoL... }
//   else if (link.Connect("", true)) link.ShowElement(blockPath, group, number, scale, color, 10.0, zoom);
// Exceptions (ETimeOut, EMacroNotExecute, ...) pass to the caller; the link's own message
// boxes go through IAppWindows::ShowMessage.
#include "block/BlkRecords.h"
#include "common/Exception.h"
#include "gislink/GisPlatform.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vexa {

// --- exceptions ------------------------------------------------------------------

// "Topol server nie je pripojený."
class ESvrNotConnected : public Exception {
public:
    ESvrNotConnected();
};
// "Blok %s\rnekomunikuje." (the block topic)
class EBlkTopicNotExist : public Exception {
public:
    explicit EBlkTopicNotExist(const std::string& topic);
};
// "Makro %s\rnebolo vykonané." (the macro text)
class EMacroNotExecute : public Exception {
public:
    explicit EMacroNotExecute(const std::string& macro);
};
// "Topol server je zaneprázdnený."
class ETimeOut : public Exception {
public:
    ETimeOut();
};
// "Chybné číslo."
class EBadNumber : public Exception {
public:
    EBadNumber();
};
// "Chybný Topas syntax."
class EBadTopas : public Exception {
public:
    EBadTopas();
};

// --- wire vocabulary -----------------------------------------------------------------

inline constexpr const char* TopolService = "Topol";
inline constexpr const char* TopolSystemTopic = "System";
inline constexpr const char* TopolWindowTitle = "TopoL pro Windows, vs. 6";
inline constexpr int TopolTitleBuffer = 255;
// CREATE_SEPARATE_WOW_VDM: the only flag TopoL is started with.
inline constexpr std::uint32_t TopolCreationFlags = 0x800;

// A Windows colour value: red in the low byte, then green, then blue.
using TColor = std::int32_t;

// Display settings of one element group of one block, as TopoL reports them.
// Each field holds its "not given" value by default.
struct TBlkDisplaySettings {
    std::uint8_t Flag1 = 2;
    std::int32_t Value1 = -1;
    std::int32_t Value2 = -1;
    std::string Text = "~";
    std::uint8_t Flag2 = 2;
    std::uint8_t Flag3 = 2;
    std::uint32_t Color = 0xFFFFFFFFu;

    friend bool operator==(const TBlkDisplaySettings&, const TBlkDisplaySettings&) = default;
};
extern const TBlkDisplaySettings DefaultDisplaySettings;

// The six general display switches; each 0, 1 or 2 (2: not given).
using TDisplaySwitches = std::array<std::uint8_t, 6>;

// --- the link ----------------------------------------------------------------------------

class TTopolDDEObj {
public:
    // The platform objects are not owned and must outlive the link.
    TTopolDDEObj(IDdeClient& dde, ISystemWindows& system, IAppWindows& app);
    ~TTopolDDEObj();
    TTopolDDEObj(const TTopolDDEObj&) = delete;
    TTopolDDEObj& operator=(const TTopolDDEObj&) = delete;

    // --- connection and transactions ---
    bool IsTopolRunning();
    bool Connect(const std::string& programPath, bool inheritDirectory);
    std::string RequestSystem(const std::string& item);
    void ExecuteSystem(const std::string& macro);
    std::string RequestBlock(const std::string& blockPath, const std::string& item);
    void ExecuteBlock(const std::string& blockPath, const std::string& macro);
    std::string BlockTopic(const std::string& blockPath);

    // --- GIS commands ---
    std::int32_t RedrawMode();
    void SetRedrawMode(std::uint8_t mode);
    bool OpenBlk(const std::string& blockPath, bool flag);
    std::string ActiveBlock();
    void SetViewPort(const TBlkRect& rect, std::uint8_t flag);
    void SetMiddle(double x, double y);
    void ZoomToRect(const TBlkRect& rect, std::uint8_t flag);
    TDisplaySwitches GetDisplaySettings();
    void SetDisplaySettings(const TDisplaySwitches& switches);
    TBlkDisplaySettings GetGroupDisplaySettings(const std::string& blockPath, TBlkElementGroup group);
    void SetGroupDisplaySettings(const std::string& blockPath, TBlkElementGroup group,
                                 const TBlkDisplaySettings& settings);
    void SpecPointAdd(std::int32_t index, TColor color, std::int32_t third, double x, double y, std::int32_t sixth);
    void SpecPointDel(std::int32_t index);
    void SpecPointShow(bool show);
    void CSTAddRec(const std::string& blockPath, TBlkElementGroup group, std::int32_t number, TColor color,
                   std::int32_t displayCode);
    void CSTDelRec(const std::string& blockPath, TBlkElementGroup group, std::int32_t number);
    std::string CalculateQuery(const std::string& blockPath, TBlkElementGroup group, std::int32_t first,
                               std::int32_t second, const std::string& expression);
    // Opens the block in TopoL, marks the element in the colour, moves the view to it
    // and takes the marking away again.
    void ShowElement(const std::string& blockPath, TBlkElementGroup group, std::int32_t number, double scale,
                     TColor color, double pointMargin, bool zoom);

    // --- state ---
    bool Connected() const { return FConnected; }
    std::int32_t LastError() const { return FLastError; }
    TWindowHandle TopolWnd() const { return FTopolWnd; }
    std::int32_t PollCount() const { return FPollCount; }
    void SetPollCount(std::int32_t count) { FPollCount = count; }
    bool CloseAppOnLoss() const { return FCloseAppOnLoss; }
    void SetCloseAppOnLoss(bool close) { FCloseAppOnLoss = close; }
    // Bound of the wait for a freshly started TopoL's window, and the pause between polls.
    void SetStartWait(std::uint64_t boundMs, unsigned pauseMs) {
        FStartWaitMs = boundMs;
        FStartPauseMs = pauseMs;
    }

    // Called with the reply of "ActiveBlock" when TopoL opens or closes a block.
    std::function<void(TTopolDDEObj& sender, const std::string& blockTopic)> OnActiveBlock;

private:
    TWindowHandle FindTopolWindow();
    bool WaitReady();
    void ReadLastError();
    void BeginWait();
    void EndWait();
    void ConvClosed();
    void ProtocolChanged(const std::string& value);
    void SendBlockTransaction(const std::string& topic, const std::function<void()>& transaction);
    [[noreturn]] void BadNumber();

    IDdeClient& FDde;
    ISystemWindows& FSystem;
    IAppWindows& FApp;

    TAppWindow FActiveForm = nullptr;
    bool FConnected = false;
    bool FCloseAppOnLoss = true;
    TWindowHandle FTopolWnd = 0;
    std::int32_t FPollCount = 250;
    std::int32_t FLastError = -1;
    std::unique_ptr<IDdeConversation> FSysConv;
    std::unique_ptr<IDdeConversation> FBlkConv;

    // BeginWait/EndWait bookkeeping: nesting depth and the TopoL window that was disabled
    // (kept apart from FTopolWnd, which a lost conversation clears in the middle of a wait).
    int FWaitDepth = 0;
    TWindowHandle FDisabledTopolWnd = 0;
    std::uint64_t FStartWaitMs = 60000;
    unsigned FStartPauseMs = 100;
};

}  // namespace vexa
