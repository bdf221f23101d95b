#include "core/natural_order.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/core_alloc.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Lower case, so that '_' goes before the letters, as Explorer has it.
unsigned char Folded(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : static_cast<unsigned char>(c);
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

const char *SkipZeros(const char *p)
{
    while (*p == '0')
        p++;
    return p;
}

const char *DigitsEnd(const char *p)
{
    while (IsDigit(*p))
        p++;
    return p;
}

// Two runs of digits by value: shorter without leading zeros is smaller.
int CompareValues(const char *a, const char *aEnd, const char *b, const char *bEnd)
{
    if (aEnd - a != bEnd - b)
        return aEnd - a < bEnd - b ? -1 : 1;
    return Sign(std::memcmp(a, b, size_t(aEnd - a)));
}

int CompareFolded(const char *a, size_t aLength, const char *b, size_t bLength)
{
    for (size_t i = 0; i < aLength && i < bLength; i++)
        if (Folded(a[i]) != Folded(b[i]))
            return Folded(a[i]) < Folded(b[i]) ? -1 : 1;
    return aLength == bLength ? 0 : aLength < bLength ? -1 : 1;
}

// One maximal run of digits in one name: the name less the run is its key,
// and names of the same key differ only in that number.
struct NumberRun {
    const char *name;
    uint32_t start, end, length;  // the run, and the name's length
    int position;
};

int CompareKeys(const NumberRun &a, const NumberRun &b)
{
    int order = CompareFolded(a.name, a.start, b.name, b.start);
    return order ? order : CompareFolded(a.name + a.end, a.length - a.end, b.name + b.end, b.length - b.end);
}

int CompareRunValues(const NumberRun &a, const NumberRun &b)
{
    return CompareValues(SkipZeros(a.name + a.start), a.name + a.end, SkipZeros(b.name + b.start),
                         b.name + b.end);
}

int CountRuns(const char *name)
{
    int runs = 0;
    for (const char *p = name; *p; p++)
        runs += IsDigit(*p) && (p == name || !IsDigit(p[-1]));
    return runs;
}

// Within one key, in list order: is there a run before `run` of a larger
// value and another width? The largest value seen so far, and the largest
// of a width other than its own, answer it for any width.
struct Largest {
    const NumberRun *top, *otherWidth;
};

uint32_t Width(const NumberRun *run)
{
    return run->end - run->start;
}

const NumberRun *LargerOfOtherWidth(const Largest &seen, const NumberRun &run)
{
    const NumberRun *candidate = seen.top && Width(seen.top) != Width(&run) ? seen.top : seen.otherWidth;
    return candidate && CompareRunValues(*candidate, run) > 0 ? candidate : nullptr;
}

void Remember(Largest *seen, const NumberRun *run)
{
    if (!seen->top || CompareRunValues(*run, *seen->top) > 0) {
        if (seen->top && Width(seen->top) != Width(run))
            seen->otherWidth = seen->top;
        seen->top = run;
    } else if (Width(run) != Width(seen->top) &&
               (!seen->otherWidth || CompareRunValues(*run, *seen->otherWidth) > 0)) {
        seen->otherWidth = run;
    }
}

}  // namespace

int NaturalCompare(const char *a, const char *b)
{
    int tie = 0;  // the first difference in leading zeros
    const char *p = a, *q = b;
    while (*p && *q) {
        if (IsDigit(*p) && IsDigit(*q)) {
            const char *pValue = SkipZeros(p), *qValue = SkipZeros(q);
            const char *pEnd = DigitsEnd(pValue), *qEnd = DigitsEnd(qValue);
            int order = CompareValues(pValue, pEnd, qValue, qEnd);
            if (order)
                return order;
            if (!tie && pValue - p != qValue - q)
                tie = pValue - p > qValue - q ? -1 : 1;
            p = pEnd;
            q = qEnd;
            continue;
        }
        if (Folded(*p) != Folded(*q))
            return Folded(*p) < Folded(*q) ? -1 : 1;
        p++;
        q++;
    }
    if (*p || *q)
        return *p ? 1 : -1;
    return tie ? tie : Sign(std::strcmp(a, b));
}

const char *NameOfPath(const char *path)
{
    const char *name = path;
    for (const char *p = path; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    return name;
}

bool FindNumbersInTextOrder(const char *const *names, int count, int *first, int *second)
{
    size_t total = 0;
    for (int i = 0; i < count; i++)
        total += size_t(CountRuns(NameOfPath(names[i])));
    if (total < 2)
        return false;
    auto *runs = static_cast<NumberRun *>(CoreAlloc(sizeof(NumberRun) * total));
    if (!runs)
        return false;
    size_t made = 0;
    for (int i = 0; i < count; i++) {
        const char *name = NameOfPath(names[i]);
        const uint32_t length = uint32_t(std::strlen(name));
        for (uint32_t k = 0; k < length; k++)
            if (IsDigit(name[k]) && (k == 0 || !IsDigit(name[k - 1])))
                runs[made++] = {name, k, uint32_t(DigitsEnd(name + k) - name), length, i};
    }
    std::sort(runs, runs + total, [](const NumberRun &a, const NumberRun &b) {
        int order = CompareKeys(a, b);
        return order ? order < 0 : a.position < b.position;
    });
    bool found = false;
    for (size_t start = 0, end; start < total && !found; start = end) {
        Largest seen = {nullptr, nullptr};
        for (end = start; end < total && CompareKeys(runs[start], runs[end]) == 0 && !found; end++) {
            if (const NumberRun *larger = LargerOfOtherWidth(seen, runs[end])) {
                *first = larger->position;
                *second = runs[end].position;
                found = true;
            }
            Remember(&seen, &runs[end]);
        }
    }
    CoreFree(runs);
    return found;
}

void SortNaturally(char **paths, int count)
{
    std::sort(paths, paths + count, [](const char *a, const char *b) {
        int order = NaturalCompare(NameOfPath(a), NameOfPath(b));
        return (order ? order : NaturalCompare(a, b)) < 0;
    });
}
