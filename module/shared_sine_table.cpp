#include "shared_sine_table.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>

#include "float_environment.h"
#include "split_sine.h"

namespace {

// The table's angle scale: 6.2831852, about 1.07e-7 short of 2 pi. Every output depends on it, so a
// "more accurate" 2 pi would change them all.
constexpr double kAngleScale = 6.2831852;

// The angle of entry i of a table of `length`.
double AngleOf(int32_t i, int32_t length) { return static_cast<double>(i) / static_cast<double>(length) * kAngleScale; }

// One table and its bookkeeping, in a single allocation: this header, the entries, their residue order,
// then the split's pairs (from the first multiple of kPairAlignment on). A single allocation means an
// open either gets the whole table or nothing.
struct Table {
    Table* next;             // next held table; guarded by TablesLock()
    int32_t length;          // entries
    int32_t holders;         // instances holding it; guarded by TablesLock()
    vexlo::SplitSine split;  // empty when the split does not give every entry; fixed once built

    float* Entries() { return reinterpret_cast<float*>(this + 1); }
};
static_assert(sizeof(Table) % alignof(float) == 0);

// The split's pairs start on a cache line, so that no 16-byte pair straddles two.
constexpr size_t kPairAlignment = 64;

// Fills the split's pairs at `pairs` (room for SplitCoarseCount + M pairs) and answers the split when it
// gives every entry of the filled table, an empty one otherwise.
vexlo::SplitSine MadeSplit(const float* entries, int32_t length, int32_t fine_bits, double* pairs) {
    const int32_t fine_count = int32_t{1} << fine_bits;
    const int32_t coarse_count = vexlo::SplitCoarseCount(length, fine_bits);
    double* coarse = pairs;
    double* fine = pairs + 2 * static_cast<size_t>(coarse_count);
    for (int32_t h = 0; h < coarse_count; ++h) {
        const double a = AngleOf(h << fine_bits, length);
        coarse[2 * h] = std::sin(a);
        coarse[2 * h + 1] = std::cos(a);
    }
    for (int32_t l = 0; l < fine_count; ++l) {
        const double b = AngleOf(l, length);
        fine[2 * l] = std::cos(b);
        fine[2 * l + 1] = std::sin(b);
    }
    const vexlo::SplitSine split{coarse, fine, fine_bits};
    return vexlo::FirstEntryNotSplit(entries, length, split) < 0 ? split : vexlo::SplitSine{};
}

// Guards the list of held tables and their holder counts (not the entries, which never change). Made
// on first use, which C++ makes thread-safe (std::mutex is not a constant initializer everywhere).
std::mutex& TablesLock() {
    static std::mutex lock;
    return lock;
}
Table* g_tables = nullptr;

Table* Find(int32_t length) {
    for (Table* t = g_tables; t; t = t->next) {
        if (t->length == length) return t;
    }
    return nullptr;
}

// Allocates and fills a table, outside the lock; null when the memory cannot be had. In the default
// floating-point environment, which the split's check assumes (and which keeps the entries the same
// whatever environment the caller left).
Table* Build(int32_t length) {
    if (length < 1) return nullptr;
    if (static_cast<size_t>(length) > (std::numeric_limits<size_t>::max() - sizeof(Table)) / (2 * sizeof(float))) {
        return nullptr;
    }
    const vexlo::DefaultFloatEnvironment environment;
    // A split only up to kLongestSplitTable entries: the table is then at most 1 GB, and the pairs
    // (fewer than 2^15) add little, so the size cannot overflow.
    const bool split = length <= vexlo::kLongestSplitTable;
    const int32_t fine_bits = split ? vexlo::SplitFineBits(length) : 0;
    const size_t pairs =
        split ? static_cast<size_t>(vexlo::SplitCoarseCount(length, fine_bits)) + (size_t{1} << fine_bits) : 0;
    const size_t entries_end = sizeof(Table) + 2 * static_cast<size_t>(length) * sizeof(float);
    const size_t size = split ? entries_end + kPairAlignment + pairs * 2 * sizeof(double) : entries_end;
    void* memory = ::operator new(size, std::nothrow);
    if (!memory) return nullptr;
    Table* table = new (memory) Table{nullptr, length, 0, {}};
    float* entries = table->Entries();
    for (int32_t i = 0; i < length; ++i) {
        const float entry = static_cast<float>(std::sin(AngleOf(i, length)));
        entries[i] = entry;
        entries[length + vexlo::ResidueAddress(length, i)] = entry;
    }
    if (split) {
        const uintptr_t end = reinterpret_cast<uintptr_t>(memory) + entries_end;
        double* at = reinterpret_cast<double*>((end + kPairAlignment - 1) / kPairAlignment * kPairAlignment);
        table->split = MadeSplit(entries, length, fine_bits, at);
    }
    return table;
}

void Free(Table* table) {
    if (table) ::operator delete(static_cast<void*>(table));
}

}  // namespace

namespace vexlo {

const float* AcquireSineTable(int32_t length) {
    {
        std::lock_guard<std::mutex> hold(TablesLock());
        if (Table* held = Find(length)) {
            ++held->holders;
            return held->Entries();
        }
    }

    Table* fresh = Build(length);
    if (!fresh) return nullptr;

    // Another thread may have built the same table meanwhile: then its copy is used and ours goes.
    Table* spare = nullptr;
    const float* answer = nullptr;
    {
        std::lock_guard<std::mutex> hold(TablesLock());
        if (Table* held = Find(length)) {
            ++held->holders;
            answer = held->Entries();
            spare = fresh;
        } else {
            fresh->holders = 1;
            fresh->next = g_tables;
            g_tables = fresh;
            answer = fresh->Entries();
        }
    }
    Free(spare);
    return answer;
}

void ReleaseSineTable(const float* table) {
    if (!table) return;
    Table* unheld = nullptr;
    {
        std::lock_guard<std::mutex> hold(TablesLock());
        for (Table** link = &g_tables; *link; link = &(*link)->next) {
            Table* t = *link;
            if (t->Entries() != table) continue;
            if (--t->holders == 0) {
                *link = t->next;
                unheld = t;
            }
            break;
        }
    }
    Free(unheld);
}

SplitSine SplitSineOf(const float* table) {
    if (!table) return {};
    // The entries follow their table's header (Table::Entries).
    return (reinterpret_cast<const Table*>(table) - 1)->split;
}

int32_t HeldSineTables() {
    std::lock_guard<std::mutex> hold(TablesLock());
    int32_t count = 0;
    for (Table* t = g_tables; t; t = t->next) ++count;
    return count;
}

}  // namespace vexlo
