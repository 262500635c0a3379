#include "doubles/instruments/synth_editor.h"

#include "doubles/instruments/synth_engine.h"

namespace {

const wchar_t kClassName[] = L"QuillbrookTestSynthEditor";
constexpr UINT_PTR kRedrawTimer = 1;
constexpr UINT kRedrawMs = 30;
constexpr int kFirstKey = 21; // the 88 keys of a piano
constexpr int kLastKey = 108;
constexpr int kTitleHeight = 40;
const COLORREF kBackground = RGB(24, 64, 72);
const COLORREF kTitleColour = RGB(240, 240, 240);
const COLORREF kWhiteKey = RGB(250, 250, 245);
const COLORREF kBlackKey = RGB(20, 20, 20);
const COLORREF kSounding = RGB(255, 140, 0);

struct EditorData {
    const SynthEngine* engine;
    unsigned lastChanges;
};

bool IsBlack(int key) {
    const int inOctave = key % 12;
    return inOctave == 1 || inOctave == 3 || inOctave == 6 || inOctave == 8 || inOctave == 10;
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void Paint(HWND window, const EditorData* data) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    Fill(dc, client, kBackground);

    RECT title = {10, 10, client.right - 10, kTitleHeight};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kTitleColour);
    DrawTextW(dc, L"Quillbrook test synth", -1, &title, DT_LEFT | DT_TOP | DT_SINGLELINE);

    // Keyboard in the lower half: white keys side by side, black keys over their gaps.
    int whiteKeys = 0;
    for (int key = kFirstKey; key <= kLastKey; ++key) {
        whiteKeys += IsBlack(key) ? 0 : 1;
    }
    const int top = client.bottom / 2;
    const int bottom = client.bottom - 10;
    const int left = 10;
    const int width = client.right - 20;
    int white = 0;
    for (int pass = 0; pass < 2; ++pass) {
        white = 0;
        for (int key = kFirstKey; key <= kLastKey; ++key) {
            const bool black = IsBlack(key);
            const int x0 = left + white * width / whiteKeys;
            const int x1 = left + (white + 1) * width / whiteKeys;
            if (!black) {
                ++white;
            }
            if (black != (pass == 1)) {
                continue;
            }
            const bool sounding = data->engine->KeySounds(static_cast<unsigned>(key));
            RECT rect = black
                            ? RECT{x0 - (x1 - x0) / 3, top, x0 + (x1 - x0) / 3, (top + bottom) / 2}
                            : RECT{x0, top, x1 - 1, bottom};
            Fill(dc, rect, sounding ? kSounding : (black ? kBlackKey : kWhiteKey));
        }
    }
    EndPaint(window, &paint);
}

LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* data = reinterpret_cast<EditorData*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        SetTimer(window, kRedrawTimer, kRedrawMs, nullptr);
        return 0;
    }
    case WM_TIMER:
        if (data != nullptr && data->engine->KeyChanges() != data->lastChanges) {
            data->lastChanges = data->engine->KeyChanges();
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        if (data != nullptr) {
            Paint(window, data);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        KillTimer(window, kRedrawTimer);
        delete data;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterEditorClass(HINSTANCE module) {
    WNDCLASSW windowClass = {};
    if (GetClassInfoW(module, kClassName, &windowClass)) {
        return;
    }
    windowClass.lpfnWndProc = EditorProc;
    windowClass.hInstance = module;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
}

} // namespace

HWND SynthEditor::Open(HINSTANCE module, HWND parent, int width, int height,
                       const SynthEngine* engine) {
    Close();
    RegisterEditorClass(module);
    auto* data = new EditorData{engine, engine->KeyChanges()};
    window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                              parent, nullptr, module, data);
    if (window_ == nullptr) {
        delete data;
    }
    return window_;
}

void SynthEditor::Close() {
    if (window_ != nullptr && IsWindow(window_)) {
        DestroyWindow(window_);
    }
    window_ = nullptr;
}

void SynthEditor::ForgetClass(HINSTANCE module) {
    ::UnregisterClassW(kClassName, module);
}
