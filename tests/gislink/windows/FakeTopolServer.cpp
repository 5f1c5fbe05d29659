// A small fake TopoL for the Windows test of the link: a top-level window titled
// "TopoL pro Windows, vs. 6 - test" and a DDE server on service "Topol" (topic "System"
// and any block topic) written on the raw WM_DDE_* messages. It answers the items
// "Status", "LastError", "Protocol" and whatever the test sets, keeps a log of every
// macro it receives (item "TestLog"; item "TestLastMacroHex" gives the bytes of the last
// macro as they came), and obeys a few test macros:
//   TestSet(Item=Value)   sets the reply of an item (on every topic)
//   TestBusyFor(n)        the next n "Status" requests answer "Busy"
//   TestProtocol(Text)    sets "Protocol" and sends it to the hot links
//   TestDrop()            ends every System conversation, the window stays
// A close request (WM_CLOSE) ends every conversation and the program.
#include <windows.h>
#include <dde.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>

namespace {

const char MainClass[] = "FakeTopolMain";
const char ConvClass[] = "FakeTopolConversation";
const char Title[] = "TopoL pro Windows, vs. 6 - test";

struct Conversation {
    HWND Client;
    std::string Topic;
    std::set<std::string> Links;  // hot-linked items
};

HWND g_main = nullptr;
std::map<HWND, Conversation> g_convs;  // by our conversation window
std::map<std::string, std::string> g_items;
std::string g_log;  // "topic: macro" lines
int g_busy = 0;
std::string g_lastMacro;
bool g_dropPending = false;

bool SameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::string AtomText(ATOM atom) {
    char buf[512] = {};
    if (atom) GlobalGetAtomNameA(atom, buf, sizeof buf);
    return buf;
}

std::string Reply(const Conversation& conv, const std::string& item) {
    if (SameText(conv.Topic, "System")) {
        if (item == "Status") {
            if (g_busy > 0) {
                --g_busy;
                return "Busy";
            }
            return "Ready";
        }
        if (item == "TestLastMacroHex") {
            std::string hex(2 * g_lastMacro.size() + 1, '\0');
            for (size_t i = 0; i < g_lastMacro.size(); ++i)
                std::snprintf(&hex[2 * i], 3, "%02X", static_cast<unsigned char>(g_lastMacro[i]));
            hex.pop_back();
            return hex;
        }
        if (item == "TestLog") return g_log;
    }
    auto it = g_items.find(item);
    return it == g_items.end() ? std::string("\x01") : it->second;  // \x01: no such item
}

HGLOBAL DataBlock(const std::string& text, bool response) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEDATA) + text.size() + 1);
    auto* data = static_cast<DDEDATA*>(GlobalLock(mem));
    std::memset(data, 0, sizeof(DDEDATA));
    data->fResponse = response ? 1 : 0;
    data->fRelease = 1;
    data->fAckReq = 0;
    data->cfFormat = CF_TEXT;
    std::memcpy(data->Value, text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    return mem;
}

void SendHotLinks(const std::string& item, const std::string& value) {
    for (auto& [window, conv] : g_convs) {
        if (!conv.Links.count(item)) continue;
        ATOM atom = GlobalAddAtomA(item.c_str());
        PostMessageA(conv.Client, WM_DDE_DATA, reinterpret_cast<WPARAM>(window),
                     PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(DataBlock(value, false)), atom));
    }
}

// Ends the conversations on the System topic (all: every conversation).
void Terminate(bool all) {
    for (auto it = g_convs.begin(); it != g_convs.end();) {
        if (!all && !SameText(it->second.Topic, "System")) {
            ++it;
            continue;
        }
        PostMessageA(it->second.Client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(it->first), 0);
        DestroyWindow(it->first);
        it = g_convs.erase(it);
    }
}

// Argument text of a macro "Name(args)".
std::string Arguments(const std::string& macro, const char* name) {
    std::string prefix = std::string(name) + "(";
    if (macro.compare(0, prefix.size(), prefix) != 0 || macro.empty() || macro.back() != ')') return "\x01";
    return macro.substr(prefix.size(), macro.size() - prefix.size() - 1);
}

void RunMacro(const Conversation& conv, const std::string& macro) {
    g_log += conv.Topic + ": " + macro + "\n";
    g_lastMacro = macro;
    std::string args;
    if ((args = Arguments(macro, "TestSet")) != "\x01") {
        size_t eq = args.find('=');
        if (eq != std::string::npos) g_items[args.substr(0, eq)] = args.substr(eq + 1);
    } else if ((args = Arguments(macro, "TestBusyFor")) != "\x01") {
        g_busy = std::atoi(args.c_str());
    } else if ((args = Arguments(macro, "TestProtocol")) != "\x01") {
        g_items["Protocol"] = args;
        SendHotLinks("Protocol", args);
    } else if (macro == "TestDrop()") {
        g_dropPending = true;
    }
}

LRESULT CALLBACK ConvProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto it = g_convs.find(window);
    if (it == g_convs.end() || message < WM_DDE_FIRST || message > WM_DDE_LAST)
        return DefWindowProcA(window, message, wParam, lParam);
    Conversation& conv = it->second;
    HWND client = reinterpret_cast<HWND>(wParam);
    switch (message) {
    case WM_DDE_REQUEST: {
        ATOM item = HIWORD(lParam);
        std::string reply = Reply(conv, AtomText(item));
        if (reply == "\x01")
            PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), PackDDElParam(WM_DDE_ACK, 0, item));
        else
            PostMessageA(client, WM_DDE_DATA, reinterpret_cast<WPARAM>(window),
                         PackDDElParam(WM_DDE_DATA, reinterpret_cast<UINT_PTR>(DataBlock(reply, true)), item));
        return 0;
    }
    case WM_DDE_EXECUTE: {
        HGLOBAL command = reinterpret_cast<HGLOBAL>(lParam);
        std::string text;
        if (auto* p = static_cast<const char*>(GlobalLock(command))) {
            text = p;
            GlobalUnlock(command);
        }
        RunMacro(conv, text);
        PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window),
                     PackDDElParam(WM_DDE_ACK, 0x8000, reinterpret_cast<UINT_PTR>(command)));
        if (g_dropPending) {
            g_dropPending = false;
            Terminate(false);
        }
        return 0;
    }
    case WM_DDE_ADVISE: {
        UINT_PTR options = 0, item = 0;
        UnpackDDElParam(WM_DDE_ADVISE, lParam, &options, &item);
        FreeDDElParam(WM_DDE_ADVISE, lParam);
        conv.Links.insert(AtomText(static_cast<ATOM>(item)));
        GlobalFree(reinterpret_cast<HGLOBAL>(options));
        PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), PackDDElParam(WM_DDE_ACK, 0x8000, item));
        return 0;
    }
    case WM_DDE_UNADVISE: {
        ATOM item = HIWORD(lParam);
        conv.Links.erase(AtomText(item));
        PostMessageA(client, WM_DDE_ACK, reinterpret_cast<WPARAM>(window), PackDDElParam(WM_DDE_ACK, 0x8000, item));
        return 0;
    }
    case WM_DDE_TERMINATE:
        PostMessageA(conv.Client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window), 0);
        g_convs.erase(it);
        DestroyWindow(window);
        return 0;
    case WM_DDE_ACK: FreeDDElParam(WM_DDE_ACK, lParam); return 0;
    default: return 0;
    }
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DDE_INITIATE: {
        std::string service = AtomText(LOWORD(lParam));
        std::string topic = AtomText(HIWORD(lParam));
        if (!service.empty() && !SameText(service, "Topol")) return 0;
        if (topic.empty() || topic.find("NOTOPIC") != std::string::npos) return 0;
        HWND convWindow = CreateWindowExA(0, ConvClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          GetModuleHandleA(nullptr), nullptr);
        g_convs[convWindow] = Conversation{reinterpret_cast<HWND>(wParam), topic, {}};
        SendMessageA(reinterpret_cast<HWND>(wParam), WM_DDE_ACK, reinterpret_cast<WPARAM>(convWindow),
                     MAKELPARAM(GlobalAddAtomA("Topol"), GlobalAddAtomA(topic.c_str())));
        return 0;
    }
    case WM_TIMER:  // a forgotten fake ends by itself
    case WM_CLOSE:
        Terminate(true);
        DestroyWindow(window);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int main() {
    g_items["LastError"] = "0";
    g_items["Protocol"] = "";
    WNDCLASSA wc{};
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpfnWndProc = &MainProc;
    wc.lpszClassName = MainClass;
    RegisterClassA(&wc);
    wc.lpfnWndProc = &ConvProc;
    wc.lpszClassName = ConvClass;
    RegisterClassA(&wc);
    g_main = CreateWindowExA(0, MainClass, Title, WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (!g_main) return 1;
    SetTimer(g_main, 1, 120000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
