#include "controller/render_command.h"

#include <io.h>

#include <cstdio>

#include "controller/control_commands.h"
#include "controller/text.h"

namespace {

constexpr int kBarWidth = 30;

bool ReadWholeAfter(const std::wstring& word, const wchar_t* prefix, unsigned long most,
                    unsigned long* value) {
    unsigned long long number = 0;
    if (!ParseNumber(word.substr(std::wcslen(prefix)), &number) || number > most) {
        return false;
    }
    *value = static_cast<unsigned long>(number);
    return true;
}

bool ReadOption(const std::wstring& word, QbRenderOptions* options) {
    if (word.rfind(L"passes=", 0) == 0) {
        return (ReadWholeAfter(word, L"passes=", 1000, &options->passes) && options->passes > 0) ||
               Fail("passes are 1 to 1000: ", word);
    }
    if (word == L"tail=silence") {
        options->tail_until_silent = 1;
        return true;
    }
    if (word.rfind(L"tail=", 0) == 0) {
        return ReadWholeAfter(word, L"tail=", 600000, &options->tail_ms) ||
               Fail("a tail is 0 to 600000 ms, or silence: ", word);
    }
    if (word == L"pcm16" || word == L"realtime") {
        (word == L"pcm16" ? options->pcm16 : options->real_time) = 1;
        return true;
    }
    return Fail("render options are passes=N, tail=MS, tail=silence, pcm16, realtime; not ", word);
}

struct Progress {
    bool terminal;
    unsigned long lastLineMs;
};

void PrintTimeLeft(long thousandths, unsigned long elapsedMs, char* text, size_t size) {
    if (thousandths <= 0) {
        std::snprintf(text, size, "time left unknown");
        return;
    }
    const double left = elapsedMs * (1000.0 - thousandths) / thousandths / 1000.0;
    std::snprintf(text, size, "%.1f s left", left);
}

int ShowProgress(void* user, long thousandths, unsigned long elapsedMs) {
    auto* progress = static_cast<Progress*>(user);
    char left[48];
    PrintTimeLeft(thousandths, elapsedMs, left, sizeof(left));
    if (progress->terminal) {
        char bar[kBarWidth + 1];
        const int filled = static_cast<int>(thousandths * kBarWidth / 1000);
        for (int i = 0; i < kBarWidth; ++i) {
            bar[i] = i < filled ? '#' : '.';
        }
        bar[kBarWidth] = '\0';
        std::printf("\rrender [%s] %5.1f%%  %-24s", bar, thousandths / 10.0, left);
    } else if (elapsedMs >= progress->lastLineMs + 1000 || thousandths == 1000) {
        progress->lastLineMs = elapsedMs;
        std::printf("render: %.1f%% done, %s\n", thousandths / 10.0, left);
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

bool ReadRender(Arguments* args) {
    args->render.passes = 1;
    args->render.tail_ms = 2000;
    for (size_t i = 2; i < args->words.size(); ++i) {
        if (!ReadOption(args->words[i], &args->render)) {
            return false;
        }
    }
    return true;
}

bool Render(Session* session, const Arguments& args) {
    QbError error = {};
    // Loading the song would cancel a render under way (one started with send-text).
    long status = 0;
    if (qb_render_status(session->host, &status, nullptr, &error) == QB_OK &&
        status == QB_RENDER_RUNNING) {
        std::printf("command failed: render: a render is under way; cancel it first (send %d) or "
                    "wait for its end\n",
                    QB_CODE_CANCEL_RENDER);
        std::fflush(stdout);
        return true;
    }
    QbResult result = qb_load_song(session->host, args.words[0].c_str(), nullptr, 0, &error);
    if (result != QB_OK) {
        return Report(result, error);
    }
    Progress progress = {_isatty(_fileno(stdout)) != 0, 0};
    const DWORD start = GetTickCount();
    result = qb_render(session->host, args.words[1].c_str(), &args.render, ShowProgress, &progress,
                       &error);
    if (progress.terminal) {
        std::printf("\n");
    }
    if (result == QB_OK) {
        std::printf("render: %s written in %lu ms\n", Narrow(args.words[1]).c_str(),
                    GetTickCount() - start);
        std::fflush(stdout);
    }
    return Report(result, error);
}
