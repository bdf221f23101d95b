#include "cli/report.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "cli/cli_texts.h"
#include "cli/console.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"
#include "frames/shp_file.h"

namespace {

struct OutputRecord {
    char *path;
    char *error;  // null when written
    ShpLayout layout;
    size_t bytes;
    SourceList *warnings;  // their texts, or null when none
};

OutputRecord *g_records;
int g_count, g_capacity;
SourceList *g_warnings;  // since the last record; null when none

char *Copy(const char *text)
{
    size_t length = std::strlen(text) + 1;
    char *copy = static_cast<char *>(CoreAlloc(length));
    if (copy)
        std::memcpy(copy, text, length);
    return copy;
}

// In the program's code page, which need not be UTF-8: read as wide text.
void PrintJsonString(FILE *stream, const char *text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    wchar_t *wide =
        length > 0 ? static_cast<wchar_t *>(CoreAlloc(sizeof(wchar_t) * size_t(length))) : nullptr;
    if (wide && !MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length))
        wide[0] = L'\0';
    std::fputc('"', stream);
    for (const wchar_t *c = wide ? wide : L""; *c; c++) {
        if (*c == L'"' || *c == L'\\')
            std::fprintf(stream, "\\%c", char(*c));
        else if (*c >= 0x20 && *c < 0x7F)
            std::fputc(char(*c), stream);
        else
            std::fprintf(stream, "\\u%04x", unsigned(*c));  // a pair of them beyond the first plane
    }
    std::fputc('"', stream);
    CoreFree(wide);
}

}  // namespace

void Warn(const char *format, ...)
{
    char text[kStatusBufferSize];
    va_list values;
    va_start(values, format);
    std::vsnprintf(text, sizeof text, format, values);
    va_end(values);
    EndProgress();
    std::fprintf(stderr, CLI_WARNING, text);
    // A warning that cannot be kept for --json is still on standard error.
    if (!g_warnings)
        g_warnings = SourceListCreate();
    char *copy = g_warnings ? Copy(text) : nullptr;
    if (copy && !SourceListInsert(g_warnings, g_warnings->count, copy))
        CoreFree(copy);
}

bool RecordOutput(const char *path, bool ok, const char *error)
{
    if (g_count == g_capacity) {
        int capacity = g_capacity ? 2 * g_capacity : 16;
        auto *grown = static_cast<OutputRecord *>(CoreAlloc(sizeof(OutputRecord) * size_t(capacity)));
        if (!grown) {
            PrintStatus(MSG_MEMORY_ERROR);
            return false;
        }
        if (g_records)
            std::memcpy(grown, g_records, sizeof(OutputRecord) * size_t(g_count));
        CoreFree(g_records);
        g_records = grown;
        g_capacity = capacity;
    }
    OutputRecord record = {Copy(path), ok ? nullptr : Copy(error), {}, 0, g_warnings};
    ShpFile shp;
    if (ok && OpenShpFile(path, &shp)) {
        record.layout = shp.layout;
        CloseShpFile(&shp);
        ShpFileSize(shp.layout.width, shp.layout.height, shp.layout.frameCount, &record.bytes);
    }
    if (!record.path || (!ok && !record.error)) {
        CoreFree(record.path);
        CoreFree(record.error);
        PrintStatus(MSG_MEMORY_ERROR);
        return false;
    }
    g_warnings = nullptr;
    g_records[g_count++] = record;
    return true;
}

int RecordedWritten()
{
    int written = 0;
    for (int i = 0; i < g_count; i++)
        written += g_records[i].error == nullptr;
    return written;
}

int RecordedFailed()
{
    return g_count - RecordedWritten();
}

void ListFailures(FILE *stream)
{
    for (int i = 0; i < g_count; i++)
        if (g_records[i].error)
            std::fprintf(stream, CLI_OUTPUT_FAILED, g_records[i].path, g_records[i].error);
}

void PrintJsonSummary(FILE *stream)
{
    unsigned long long frames = 0, bytes = 0;
    std::fputs("{\"outputs\": [", stream);
    for (int i = 0; i < g_count; i++) {
        const OutputRecord &r = g_records[i];
        std::fputs(i ? ",\n  {\"path\": " : "\n  {\"path\": ", stream);
        PrintJsonString(stream, r.path);
        std::fputs(", \"warnings\": [", stream);
        for (int k = 0; r.warnings && k < r.warnings->count; k++) {
            std::fputs(k ? ", " : "", stream);
            PrintJsonString(stream, SourceListGet(r.warnings, k));
        }
        std::fputs("]", stream);
        if (r.error) {
            std::fputs(", \"ok\": false, \"error\": ", stream);
            PrintJsonString(stream, r.error);
            std::fputs(", \"frames\": null, \"width\": null, \"height\": null, \"bytes\": null}", stream);
            continue;
        }
        std::fprintf(stream,
                     ", \"ok\": true, \"frames\": %u, \"width\": %u, \"height\": %u, \"bytes\": %llu}",
                     r.layout.frameCount, r.layout.width, r.layout.height, (unsigned long long)r.bytes);
        frames += r.layout.frameCount;
        bytes += r.bytes;
    }
    std::fprintf(stream, "],\n \"written\": %d, \"failed\": %d, \"frames\": %llu, \"bytes\": %llu}\n",
                 RecordedWritten(), RecordedFailed(), frames, bytes);
}

void ReleaseRecords()
{
    for (int i = 0; i < g_count; i++) {
        CoreFree(g_records[i].path);
        CoreFree(g_records[i].error);
        SourceListRelease(g_records[i].warnings);
    }
    SourceListRelease(g_warnings);
    g_warnings = nullptr;
    CoreFree(g_records);
    g_records = nullptr;
    g_count = g_capacity = 0;
}
