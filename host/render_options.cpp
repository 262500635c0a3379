#include "host/render_options.h"

#include <cwchar>

#include "host/payload_words.h"

namespace {

// A whole number of at most `most`, all of [start, end): digits only.
bool ReadWhole(const wchar_t* start, const wchar_t* end, uint32_t most, uint32_t* value) {
    double number = 0;
    if (std::wmemchr(start, L'.', static_cast<size_t>(end - start)) != nullptr ||
        !ReadDecimal(start, end, &number) || number > most) {
        return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

// Whether [start, end) begins with `prefix`; `rest` then points past it.
bool StartsWith(const wchar_t* start, const wchar_t* end, const wchar_t* prefix,
                const wchar_t** rest) {
    const size_t length = std::wcslen(prefix);
    if (static_cast<size_t>(end - start) < length || std::wcsncmp(start, prefix, length) != 0) {
        return false;
    }
    *rest = start + length;
    return true;
}

bool Is(const wchar_t* start, const wchar_t* end, const wchar_t* word) {
    const wchar_t* rest = nullptr;
    return StartsWith(start, end, word, &rest) && rest == end;
}

bool ReadOption(const wchar_t* start, const wchar_t* end, RenderRequest* request) {
    RenderSettings& settings = request->settings;
    const wchar_t* value = nullptr;
    if (StartsWith(start, end, L"passes=", &value)) {
        return ReadWhole(value, end, kRenderMaxPasses, &settings.passes) && settings.passes > 0;
    }
    if (StartsWith(start, end, L"tail=", &value)) {
        settings.tailUntilSilent = Is(value, end, L"silence");
        return settings.tailUntilSilent ||
               ReadWhole(value, end, kRenderLongestTailMs, &settings.tailMs);
    }
    if (Is(start, end, L"pcm16") || Is(start, end, L"float")) {
        request->format = Is(start, end, L"pcm16") ? WavFormat::Pcm16 : WavFormat::Float32;
        return true;
    }
    if (Is(start, end, L"realtime") || Is(start, end, L"fast")) {
        settings.realTime = Is(start, end, L"realtime");
        return true;
    }
    return false;
}

} // namespace

bool ParseRenderPayload(const wchar_t* payload, RenderRequest* request) {
    *request = RenderRequest{};
    request->format = WavFormat::Float32;
    const wchar_t* bar = std::wcschr(payload, L'|');
    const size_t pathLength =
        bar != nullptr ? static_cast<size_t>(bar - payload) : std::wcslen(payload);
    if (pathLength == 0 || pathLength >= QB_PAYLOAD_CHARS) {
        return false;
    }
    std::wmemcpy(request->path, payload, pathLength);
    request->path[pathLength] = L'\0';
    if (bar == nullptr) {
        return true;
    }
    for (const wchar_t* at = bar + 1; *at != L'\0';) {
        while (IsWordSpace(*at)) {
            ++at;
        }
        const wchar_t* end = at;
        while (*end != L'\0' && !IsWordSpace(*end)) {
            ++end;
        }
        if (end != at && !ReadOption(at, end, request)) {
            return false;
        }
        at = end;
    }
    return true;
}
