#include "cli/arguments.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "cli/cli_texts.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/program_path.h"
#include "core/source_list.h"
#include "core/status.h"

namespace {

constexpr int kExitFailed = 1, kExitUsage = 2;
constexpr int kMaxWorkers = 64;                     // WaitForMultipleObjects' limit
constexpr size_t kArgumentCapacity = 4 * MAX_PATH;  // room to report a long path whole

unsigned Bit(CliMode mode)
{
    return 1u << mode;
}
const unsigned kConverting = Bit(RUN_CONVERT) | Bit(RUN_BATCH);

// What an option does with its value (null for an option without one);
// false when the value is malformed.
typedef bool (*ApplyFunction)(CliArguments *arguments, const char *value);

enum ValueKind { VALUE_NONE, VALUE_OPTIONAL_SIZE, VALUE_REQUIRED };

struct Option {
    const char *name;
    ValueKind value;
    const char *expected;  // what a value must be, for the message
    unsigned modes;        // where it may be given; 0: it chooses the mode
    CliMode mode;          // the mode it chooses
    ApplyFunction apply;
};

bool ApplyCell(CliArguments *a, const char *value)
{
    a->cell = true;
    return ParseSize(value, &a->cellWidth, &a->cellHeight);
}

bool ApplyNumber(const char *value, uint32_t *number)
{
    *number = 0;
    for (int digits = 0; *value >= '0' && *value <= '9' && digits < 9; value++, digits++)
        *number = *number * 10 + uint32_t(*value - '0');
    return *value == '\0';
}

bool ApplyMargin(CliArguments *a, const char *value)
{
    return *value && ApplyNumber(value, &a->margin);
}

bool ApplySpacing(CliArguments *a, const char *value)
{
    return *value && ApplyNumber(value, &a->spacing);
}

bool ApplyData(CliArguments *a, const char *value)
{
    CoreFree(a->data);
    a->data = CopyPath(value);
    return a->data != nullptr;
}

bool ApplyCanvas(CliArguments *a, const char *value)
{
    a->convert.canvas.enabled = true;
    return !value || ParseSize(value, &a->convert.canvas.width, &a->convert.canvas.height);
}

bool ApplyAnchor(CliArguments *a, const char *value)
{
    return AnchorFromName(value, &a->convert.canvas.anchor);
}

bool ApplyDither(CliArguments *a, const char *value)
{
    a->convert.dither = lstrcmpiA(value, "ordered") == 0     ? DITHER_ORDERED
                        : lstrcmpiA(value, "diffusion") == 0 ? DITHER_DIFFUSION
                                                             : DITHER_NONE;
    return a->convert.dither != DITHER_NONE;
}

bool ApplyWorkers(CliArguments *a, const char *value)
{
    int workers = 0;
    for (const char *p = value; *p; p++) {
        if (*p < '0' || *p > '9' || workers > kMaxWorkers)
            return false;
        workers = workers * 10 + (*p - '0');
    }
    a->workers = workers;
    return workers >= 1 && workers <= kMaxWorkers;
}

bool ApplyJson(CliArguments *a, const char *)
{
    a->json = true;
    return true;
}

bool ApplyOrder(CliArguments *a, const char *value)
{
    a->naturalOrder = lstrcmpiA(value, "natural") == 0;
    return a->naturalOrder || lstrcmpiA(value, "text") == 0;
}

bool ApplyGifFrames(CliArguments *a, const char *)
{
    a->gifFrames = true;
    return true;
}

bool ApplyReverse(CliArguments *a, const char *)
{
    a->reverse = true;
    return true;
}

bool ApplyPingpong(CliArguments *a, const char *)
{
    a->pingpong = true;
    return true;
}

const Option kOptions[] = {
    {"--help", VALUE_NONE, nullptr, 0, RUN_HELP, nullptr},
    {"/?", VALUE_NONE, nullptr, 0, RUN_HELP, nullptr},
    {"--version", VALUE_NONE, nullptr, 0, RUN_VERSION, nullptr},
    {"--info", VALUE_NONE, nullptr, 0, RUN_INFO, nullptr},
    {"--extract", VALUE_NONE, nullptr, 0, RUN_EXTRACT, nullptr},
    {"--split", VALUE_NONE, nullptr, 0, RUN_SPLIT, nullptr},
    {"--batch", VALUE_NONE, nullptr, 0, RUN_BATCH, nullptr},
    {"--worker", VALUE_NONE, nullptr, 0, RUN_WORKER, nullptr},
    {"--cell", VALUE_REQUIRED, CLI_EXPECT_SIZE, Bit(RUN_SPLIT), RUN_SPLIT, ApplyCell},
    {"--margin", VALUE_REQUIRED, CLI_EXPECT_PIXELS, Bit(RUN_SPLIT), RUN_SPLIT, ApplyMargin},
    {"--spacing", VALUE_REQUIRED, CLI_EXPECT_PIXELS, Bit(RUN_SPLIT), RUN_SPLIT, ApplySpacing},
    {"--data", VALUE_REQUIRED, CLI_EXPECT_DATA, Bit(RUN_SPLIT), RUN_SPLIT, ApplyData},
    {"--canvas", VALUE_OPTIONAL_SIZE, CLI_EXPECT_SIZE, kConverting, RUN_CONVERT, ApplyCanvas},
    {"--anchor", VALUE_REQUIRED, CLI_EXPECT_ANCHOR, kConverting, RUN_CONVERT, ApplyAnchor},
    {"--dither", VALUE_REQUIRED, CLI_EXPECT_DITHER, kConverting, RUN_CONVERT, ApplyDither},
    {"-j", VALUE_REQUIRED, CLI_EXPECT_WORKERS, kConverting, RUN_CONVERT, ApplyWorkers},
    {"--json", VALUE_NONE, nullptr, kConverting, RUN_CONVERT, ApplyJson},
    {"--order", VALUE_REQUIRED, CLI_EXPECT_ORDER, kConverting, RUN_CONVERT, ApplyOrder},
    {"--gif-frames", VALUE_NONE, nullptr, kConverting, RUN_CONVERT, ApplyGifFrames},
    {"--reverse", VALUE_NONE, nullptr, kConverting, RUN_CONVERT, ApplyReverse},
    {"--pingpong", VALUE_NONE, nullptr, kConverting, RUN_CONVERT, ApplyPingpong},
};

const char *const kModeNames[kCliModes] = {"a conversion", "--batch", "--info",    "--extract",
                                           "--split",      "--help",  "--version", "--worker"};

const Option *FindOption(const char *name, size_t length)
{
    for (const Option &option : kOptions)
        if (std::strlen(option.name) == length && std::strncmp(option.name, name, length) == 0)
            return &option;
    return nullptr;
}

unsigned OptionBit(const char *name)
{
    return 1u << (FindOption(name, std::strlen(name)) - kOptions);
}

// "--canvas 64x48" but "--canvas 1.png": a size starts with a digit and
// names no file.
bool LooksLikeSize(const char *text)
{
    return text && *text >= '0' && *text <= '9' && !std::strpbrk(text, ".\\/:");
}

int UsageError(const char *format, const char *a, const char *b = "", const char *c = "")
{
    std::fprintf(stderr, format, a, b, c);
    return Usage();
}

// One argument in the program's code page; false after the message.
bool ConvertArgument(const wchar_t *wide, char *text)
{
    ProgramPathResult result = ToProgramPath(wide, text, kArgumentCapacity);
    if (result == PATH_CONVERTED)
        return true;
    char shown[kArgumentCapacity];
    ShowWideText(wide, shown, sizeof shown);
    PrintStatus(result == PATH_TOO_LONG ? MSG_PATH_TOO_LONG : MSG_PATH_UNUSABLE, shown);
    return false;
}

struct Reader {
    char **texts;  // every argument converted, argv[1] first
    int count, next;
    const char *Take() { return next < count ? texts[next++] : nullptr; }
    const char *Peek() const { return next < count ? texts[next] : nullptr; }
};

// One option, and its value; 0 or the exit code.
int ReadOption(Reader *reader, char *argument, CliArguments *a, bool *modeGiven, unsigned *given)
{
    const char *equals = std::strchr(argument, '=');
    const size_t length = equals ? size_t(equals - argument) : std::strlen(argument);
    const Option *option = FindOption(argument, length);
    if (!option)
        return UsageError(CLI_UNKNOWN_OPTION, argument);
    if (option->modes == 0) {
        if (*modeGiven && a->mode != option->mode)
            return UsageError(CLI_OPTIONS_CLASH, kModeNames[a->mode], option->name);
        *modeGiven = true;
        a->mode = option->mode;
        if (!equals)
            return 0;
        if (option->mode == RUN_HELP || option->mode == RUN_VERSION)
            return UsageError(CLI_NO_VALUE, option->name, argument);
        // "--batch=DIR" as "--batch DIR": the value is the mode's next path.
        std::memmove(argument, equals + 1, std::strlen(equals + 1) + 1);
        a->paths[a->pathCount++] = argument;  // taken over from the reader
        reader->texts[reader->next - 1] = nullptr;
        return 0;
    }
    *given |= 1u << (option - kOptions);
    const char *value = equals ? equals + 1 : nullptr;
    if (!value && option->value == VALUE_REQUIRED)
        value = reader->Take();
    if (!value && option->value == VALUE_OPTIONAL_SIZE && LooksLikeSize(reader->Peek()))
        value = reader->Take();
    if (!value && option->value == VALUE_REQUIRED)
        return UsageError(CLI_MISSING_VALUE, option->name, option->expected);
    if (value && option->value == VALUE_NONE)
        return UsageError(CLI_NO_VALUE, option->name, argument);
    if (!option->apply(a, value))
        return UsageError(CLI_BAD_VALUE, option->name, option->expected, value);
    return 0;
}

// What each mode takes: options that apply to it, and how many paths.
int CheckForMode(const CliArguments &a, unsigned given)
{
    static const int kLeast[kCliModes] = {2, 1, 1, 2, 2, 0, 0, 1},
                     kMost[kCliModes] = {-1, 2, 1, 2, 2, 0, 0, 1};
    for (size_t i = 0; i < sizeof kOptions / sizeof kOptions[0]; i++)
        if ((given >> i & 1) && !(kOptions[i].modes & Bit(a.mode)))
            return UsageError(CLI_OPTION_NOT_HERE, kOptions[i].name, kModeNames[a.mode]);
    if ((given & OptionBit("--anchor")) && !a.convert.canvas.enabled)
        return UsageError(CLI_OPTION_NEEDS, "--anchor", "--canvas");
    for (const char *layout : {"--margin", "--spacing"})
        if ((given & OptionBit(layout)) && !a.cell)
            return UsageError(CLI_OPTION_NEEDS, layout, "--cell");
    if (a.cell && a.data)
        return UsageError(CLI_OPTIONS_CLASH, "--cell", "--data");
    if (a.pathCount < kLeast[a.mode] || (kMost[a.mode] >= 0 && a.pathCount > kMost[a.mode]))
        return Usage();
    return 0;
}

}  // namespace

bool ParseSize(const char *text, uint32_t *width, uint32_t *height)
{
    uint32_t *number = width;
    int digits = 0;
    *width = *height = 0;
    for (const char *p = text;; p++) {
        if (*p >= '0' && *p <= '9' && digits < 9) {
            *number = *number * 10 + uint32_t(*p - '0');
            digits++;
        } else if ((*p == 'x' || *p == 'X') && number == width && digits > 0) {
            number = height;
            digits = 0;
        } else {
            return *p == '\0' && number == height && digits > 0;
        }
    }
}

int Usage()
{
    std::fputs(CLI_USAGE, stderr);
    return kExitUsage;
}

int ParseArguments(int argc, wchar_t **argv, CliArguments *a)
{
    *a = CliArguments{};
    const int count = argc > 1 ? argc - 1 : 0;
    Reader reader = {static_cast<char **>(CoreAlloc(sizeof(char *) * size_t(count + 1))), 0, 0};
    a->paths = static_cast<char **>(CoreAlloc(sizeof(char *) * size_t(count + 1)));
    if (!reader.texts || !a->paths) {
        CoreFree(reader.texts);
        PrintStatus(MSG_MEMORY_ERROR);
        return kExitFailed;
    }
    int code = 0;
    for (; reader.count < count && code == 0; reader.count++) {
        reader.texts[reader.count] = static_cast<char *>(CoreAlloc(kArgumentCapacity));
        if (!reader.texts[reader.count]) {
            PrintStatus(MSG_MEMORY_ERROR);
            code = kExitFailed;
        } else if (!ConvertArgument(argv[reader.count + 1], reader.texts[reader.count])) {
            code = kExitFailed;
            reader.count++;  // released below
            break;
        }
    }
    bool modeGiven = false, optionsEnded = false;
    unsigned given = 0;
    while (code == 0 && reader.Peek()) {
        char *argument = reader.texts[reader.next];
        reader.next++;
        if (!optionsEnded && std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && (std::strncmp(argument, "-", 1) == 0 && argument[1] != '\0')) {
            code = ReadOption(&reader, argument, a, &modeGiven, &given);
        } else if (!optionsEnded && std::strcmp(argument, "/?") == 0) {
            code = ReadOption(&reader, argument, a, &modeGiven, &given);
        } else {
            a->paths[a->pathCount++] = argument;  // taken over from the reader
            reader.texts[reader.next - 1] = nullptr;
        }
    }
    for (int i = 0; i < reader.count; i++)
        CoreFree(reader.texts[i]);
    CoreFree(reader.texts);
    if (code == 0 && argc < 2)
        code = Usage();
    // Without --anchor, images that record where they were trimmed from go back there.
    a->convert.canvas.fromFiles = !(given & OptionBit("--anchor"));
    return code != 0 ? code : CheckForMode(*a, given);
}

void ReleaseArguments(CliArguments *a)
{
    for (int i = 0; i < a->pathCount; i++)
        CoreFree(a->paths[i]);
    CoreFree(a->paths);
    CoreFree(a->data);
    *a = CliArguments{};
}
