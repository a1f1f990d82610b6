#include "tests/ui/WindowDriver.h"

#include <algorithm>
#include <memory>
#include <type_traits>

namespace ui {
namespace {

// Longest wait for one sent message; the program answers at once when idle.
constexpr UINT kSendMs = 5000;
constexpr DWORD kPollMs = 20;
// Control ids of Wine's message box.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 0x0440;

struct ScreenDcRelease {
    void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct MemoryDcDelete {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDelete {
    void operator()(HBITMAP object) const { DeleteObject(object); }
};
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcRelease>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDelete>;
using GdiObject = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDelete>;

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct EnumState {
    DWORD processId;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param)
{
    auto* state = reinterpret_cast<EnumState*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == state->processId && IsWindowVisible(window) && ClassOf(window) == "#32770") {
        state->windows->push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CollectStatic(HWND window, LPARAM param)
{
    auto* texts = reinterpret_cast<std::vector<std::string>*>(param);
    if (ClassOf(window) == "Static" || ClassOf(window) == "STATIC") {
        texts->push_back(WindowText(window));
    }
    return TRUE;
}

// A send that gives up after kSendMs, through the A or the W call.
bool SendBy(decltype(&SendMessageTimeoutA) send, HWND window, UINT message, WPARAM w, LPARAM l,
            LRESULT* result)
{
    DWORD_PTR answer = 0;
    const bool sent = send(window, message, w, l, SMTO_NORMAL, kSendMs, &answer) != 0;
    if (result != nullptr) {
        *result = static_cast<LRESULT>(answer);
    }
    return sent;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(kPollMs);
    }
}

RunningProgram::~RunningProgram()
{
    Kill();
}

bool RunningProgram::Start(const std::string& exePath)
{
    // The trace is a few lines, far below the pipe's buffer, so the program
    // never waits for this end to be read.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inheritable, 0)) {
        return false;
    }
    m_output.Reset(reading);
    const KernelHandle output(writing);
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + exePath + "\"";
    if (!CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &info)) {
        return false;
    }
    const KernelHandle thread(info.hThread);  // only the process is waited for
    m_process.Reset(info.hProcess);
    m_processId = info.dwProcessId;
    // Bounded: a program that never goes idle is caught by the window waits.
    WaitForInputIdle(info.hProcess, kWaitMs);
    return true;
}

std::string RunningProgram::StandardOutput() const
{
    std::string text;
    DWORD available = 0;
    while (PeekNamedPipe(m_output.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string block(available, '\0');
        DWORD got = 0;
        if (!ReadFile(m_output.Get(), block.data(), available, &got, nullptr)) {
            break;
        }
        text.append(block, 0, got);
    }
    return text;
}

bool RunningProgram::IsRunning() const
{
    return m_process.IsValid() && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
}

bool RunningProgram::WaitForExit(DWORD* exitCode, DWORD timeoutMs) const
{
    if (!m_process.IsValid() || WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    return GetExitCodeProcess(m_process.Get(), exitCode) != FALSE;
}

void RunningProgram::Kill()
{
    if (IsRunning()) {
        TerminateProcess(m_process.Get(), 255);
        WaitForSingleObject(m_process.Get(), kWaitMs);
    }
}

std::vector<HWND> RunningProgram::Dialogs() const
{
    std::vector<HWND> windows;
    EnumState state{m_processId, &windows};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&state));
    return windows;
}

HWND RunningProgram::WaitForDialogWhere(const std::function<bool(HWND)>& wanted,
                                        DWORD timeoutMs) const
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (HWND window : Dialogs()) {
            if (wanted(window)) {
                found = window;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return found;
}

HWND RunningProgram::WaitForDialog(const std::string& caption, DWORD timeoutMs) const
{
    return WaitForDialogWhere([&](HWND window) { return WindowText(window) == caption; },
                              timeoutMs);
}

HWND RunningProgram::WaitForNewDialog(const std::vector<HWND>& known, DWORD timeoutMs) const
{
    return WaitForDialogWhere(
        [&](HWND window) { return std::find(known.begin(), known.end(), window) == known.end(); },
        timeoutMs);
}

void* RunningProgram::CopyIntoProgram(const std::string& text) const
{
    void* remote = VirtualAllocEx(m_process.Get(), nullptr, text.size() + 1,
                                  MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (remote == nullptr) {
        return nullptr;
    }
    SIZE_T written = 0;
    if (!WriteProcessMemory(m_process.Get(), remote, text.c_str(), text.size() + 1, &written)) {
        return nullptr;
    }
    return remote;
}

bool Send(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT* result)
{
    return SendBy(SendMessageTimeoutA, window, message, w, l, result);
}

bool SendW(HWND window, UINT message, WPARAM w, LPARAM l, LRESULT* result)
{
    return SendBy(SendMessageTimeoutW, window, message, w, l, result);
}

bool Post(HWND window, UINT message, WPARAM w, LPARAM l)
{
    return PostMessageA(window, message, w, l) != FALSE;
}

std::string WindowText(HWND window)
{
    LRESULT length = 0;
    if (window == nullptr || !Send(window, WM_GETTEXTLENGTH, 0, 0, &length)) {
        return {};
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    LRESULT copied = 0;
    Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied);
    text.resize(static_cast<size_t>(copied));
    return text;
}

HWND Control(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

DialogBoxInfo Describe(HWND dialog)
{
    DialogBoxInfo info;
    info.window = dialog;
    info.owner = GetWindow(dialog, GW_OWNER);
    info.caption = WindowText(dialog);
    info.text = WindowText(GetDlgItem(dialog, kMessageBoxTextId));
    // The icon control stays in a box without icon, hidden and empty.
    const HWND icon = GetDlgItem(dialog, kMessageBoxIconId);
    LRESULT shown = 0;
    info.hasIcon = icon != nullptr && IsWindowVisible(icon) && Send(icon, STM_GETICON, 0, 0, &shown) && shown != 0;
    return info;
}

std::vector<std::string> StaticTexts(HWND dialog)
{
    std::vector<std::string> texts;
    EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

std::vector<std::string> ComboItems(HWND combo)
{
    std::vector<std::string> items;
    LRESULT count = 0;
    if (!SendW(combo, CB_GETCOUNT, 0, 0, &count) || count < 0) {
        return items;
    }
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = 0;
        SendW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0, &length);
        std::wstring wide(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
        LRESULT copied = 0;
        SendW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()), &copied);
        wide.resize(static_cast<size_t>(std::max<LRESULT>(copied, 0)));
        items.emplace_back(wide.begin(), wide.end());  // drive names are plain ASCII
    }
    return items;
}

int ComboSelection(HWND combo)
{
    LRESULT selection = CB_ERR;
    SendW(combo, CB_GETCURSEL, 0, 0, &selection);
    return static_cast<int>(selection);
}

void SetText(HWND window, const std::string& text)
{
    Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsChecked(HWND button)
{
    LRESULT state = 0;
    Send(button, BM_GETCHECK, 0, 0, &state);
    return state == BST_CHECKED;
}

void Click(HWND button)
{
    Send(button, BM_CLICK, 0, 0);
}

void PostClick(HWND button)
{
    Post(button, BM_CLICK);
}

void PressButton(HWND dialog, int id)
{
    Post(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool WaitForClose(HWND window, DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(window); }, timeoutMs);
}

bool Sync(HWND window)
{
    return Send(window, WM_NULL, 0, 0);
}

bool SaveWindowBitmap(HWND window, const std::string& bmpPath)
{
    // Paint now, so the capture does not race the program's pending WM_PAINT.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sync(window);

    RECT rect{};
    if (!GetWindowRect(window, &rect)) {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file stores rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = stride * static_cast<DWORD>(height);

    const ScreenDc screen(GetDC(nullptr));
    const MemoryDc memory(CreateCompatibleDC(screen.get()));
    void* bits = nullptr;
    const GdiObject bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen || !memory || !bitmap) {
        return false;
    }
    const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
    const bool copied = BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY) != FALSE;
    SelectObject(memory.get(), previous);
    if (!copied) {
        return false;
    }

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;
    Bytes bytes(reinterpret_cast<const uint8_t*>(&file),
                               reinterpret_cast<const uint8_t*>(&file) + sizeof file);
    const auto* header = reinterpret_cast<const uint8_t*>(&info.bmiHeader);
    bytes.insert(bytes.end(), header, header + sizeof info.bmiHeader);
    const auto* pixels = static_cast<const uint8_t*>(bits);
    bytes.insert(bytes.end(), pixels, pixels + info.bmiHeader.biSizeImage);
    return WriteWholeFile(bmpPath, bytes);
}

}  // namespace ui
