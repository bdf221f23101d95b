#include "core/sheet_data.h"

#include <cstring>

#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/shp16.h"
#include "core/status.h"

// Program code has no exceptions: every value is looked at before it is taken.
#define JSON_NOEXCEPTION
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::ordered_json;

// Only where the text stops being JSON: every event is taken and dropped.
struct ErrorPlace : Json::json_sax_t {
    size_t position = 0;
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t &) override { return true; }
    bool string(string_t &) override { return true; }
    bool binary(binary_t &) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t &) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t at, const std::string &, const nlohmann::detail::exception &) override
    {
        position = at;
        return false;
    }
};

void SayWhereNotJson(const char *dataPath, const char *text, size_t size)
{
    ErrorPlace place;
    Json::sax_parse(text, text + size, &place);
    // The position counts the characters read, the one that failed last.
    const size_t end = place.position > 0 && place.position <= size ? place.position - 1 : size;
    unsigned line = 1, column = 1;
    for (size_t i = 0; i < end; i++) {
        column = text[i] == '\n' ? 1 : column + 1;
        line += text[i] == '\n';
    }
    PrintStatus(MSG_DATA_NOT_JSON, dataPath, line, column);
}

// A whole number from 0 to the most an SHP side holds, from `object[key]`.
bool Number(const Json &object, const char *key, uint32_t *value)
{
    if (!object.is_object())
        return false;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_integer() || *found < 0 || *found > 0x7fffffff)
        return false;
    *value = found->get<uint32_t>();
    return true;
}

const Json *Member(const Json &object, const char *key)
{
    const auto found = object.is_object() ? object.find(key) : object.end();
    return found != object.end() ? &*found : nullptr;
}

// One frame's entry; false after the message naming it.
bool ReadFrame(const Json &entry, SheetFrame *frame, uint32_t *sourceWidth, uint32_t *sourceHeight)
{
    static const Json kNone;
    const Json *rect = Member(entry, "frame"), *sprite = Member(entry, "spriteSourceSize"),
               *source = Member(entry, "sourceSize"), *rotated = Member(entry, "rotated");
    const Json &r = rect ? *rect : kNone;
    if (!Number(r, "x", &frame->x) || !Number(r, "y", &frame->y) || !Number(r, "w", &frame->width) ||
        !Number(r, "h", &frame->height) || frame->width == 0 || frame->height == 0) {
        PrintStatus(MSG_FRAME_WITHOUT_RECT, frame->name);
        return false;
    }
    frame->rotated = rotated && rotated->is_boolean() && rotated->get<bool>();
    // An untrimmed frame may leave out where it sat: on a source of its own size.
    *sourceWidth = frame->width;
    *sourceHeight = frame->height;
    frame->left = frame->top = 0;
    if ((sprite && (!Number(*sprite, "x", &frame->left) || !Number(*sprite, "y", &frame->top))) ||
        (source && (!Number(*source, "w", sourceWidth) || !Number(*source, "h", sourceHeight)))) {
        PrintStatus(MSG_FRAME_WITHOUT_RECT, frame->name);
        return false;
    }
    return true;
}

bool CheckFrame(const SheetFrame &f, uint32_t sheetWidth, uint32_t sheetHeight, const SheetData &data)
{
    const uint32_t across = f.rotated ? f.height : f.width, down = f.rotated ? f.width : f.height;
    if (uint64_t(f.x) + across > sheetWidth || uint64_t(f.y) + down > sheetHeight) {
        PrintStatus(MSG_FRAME_OUTSIDE_SHEET, f.name, across, down, f.x, f.y, sheetWidth, sheetHeight);
        return false;
    }
    if (uint64_t(f.left) + f.width > data.sourceWidth || uint64_t(f.top) + f.height > data.sourceHeight) {
        PrintStatus(MSG_FRAME_OUTSIDE_SOURCE, f.name, f.width, f.height, f.left, f.top, data.sourceWidth,
                    data.sourceHeight);
        return false;
    }
    return true;
}

void CopyName(const std::string &from, char *to)
{
    const size_t length = from.size() < kSheetFrameNameSize - 1 ? from.size() : kSheetFrameNameSize - 1;
    std::memcpy(to, from.data(), length);
    to[length] = '\0';
}

}  // namespace

bool ReadSheetData(const char *dataPath, const char *text, size_t size, uint32_t sheetWidth,
                   uint32_t sheetHeight, SheetData *data)
{
    *data = SheetData{};
    const Json json = Json::parse(text, text + size, nullptr, false);
    if (json.is_discarded()) {
        SayWhereNotJson(dataPath, text, size);
        return false;
    }
    const Json *frames = Member(json, "frames");
    const size_t count = frames && (frames->is_object() || frames->is_array()) ? frames->size() : 0;
    if (count == 0) {
        PrintStatus(MSG_DATA_WITHOUT_FRAMES, dataPath);
        return false;
    }
    if (count > kShpMaxField) {
        PrintStatus(MSG_TOO_LARGE);
        return false;
    }
    data->frames = static_cast<SheetFrame *>(CoreAlloc(sizeof(SheetFrame) * count));
    if (!data->frames) {
        PrintStatus(MSG_MEMORY_ERROR);
        return false;
    }
    uint32_t i = 0;
    for (auto item = frames->begin(); item != frames->end(); ++item, ++i) {
        SheetFrame &frame = data->frames[i];
        const Json &entry = frames->is_object() ? item.value() : *item;
        const Json *name = frames->is_object() ? nullptr : Member(entry, "filename");
        if (frames->is_object())
            CopyName(item.key(), frame.name);
        else if (name && name->is_string())
            CopyName(name->get_ref<const std::string &>(), frame.name);
        else
            CopyName("#" + std::to_string(i + 1), frame.name);
        uint32_t sourceWidth = 0, sourceHeight = 0;
        if (!ReadFrame(entry, &frame, &sourceWidth, &sourceHeight)) {
            ReleaseSheetData(data);
            return false;
        }
        if (i == 0) {
            data->sourceWidth = sourceWidth;
            data->sourceHeight = sourceHeight;
        } else if (sourceWidth != data->sourceWidth || sourceHeight != data->sourceHeight) {
            PrintStatus(MSG_SOURCE_SIZES_DIFFER, frame.name, sourceWidth, sourceHeight, data->frames[0].name,
                        data->sourceWidth, data->sourceHeight);
            ReleaseSheetData(data);
            return false;
        }
        if (!CheckFrame(frame, sheetWidth, sheetHeight, *data)) {
            ReleaseSheetData(data);
            return false;
        }
    }
    if (data->sourceWidth > kShpMaxField || data->sourceHeight > kShpMaxField) {
        PrintStatus(MSG_TOO_LARGE);
        ReleaseSheetData(data);
        return false;
    }
    data->count = i;
    return true;
}

void ReleaseSheetData(SheetData *data)
{
    CoreFree(data->frames);
    *data = SheetData{};
}
