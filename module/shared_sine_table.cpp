#include "shared_sine_table.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <new>

namespace {

// The table's angle scale: 6.2831852, about 1.07e-7 short of 2 pi. Every output depends on it, so a
// "more accurate" 2 pi would change them all.
constexpr double kAngleScale = 6.2831852;

// One table and its bookkeeping, in a single allocation: this header, the entries, then their
// residue order. A single allocation means an open either gets the whole table or nothing.
struct Table {
    Table* next;      // next held table; guarded by TablesLock()
    int32_t length;   // entries
    int32_t holders;  // instances holding it; guarded by TablesLock()

    float* Entries() { return reinterpret_cast<float*>(this + 1); }
};
static_assert(sizeof(Table) % alignof(float) == 0);

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

// Allocates and fills a table, outside the lock; null when the memory cannot be had.
Table* Build(int32_t length) {
    if (length < 1) return nullptr;
    if (static_cast<size_t>(length) > (std::numeric_limits<size_t>::max() - sizeof(Table)) / (2 * sizeof(float))) {
        return nullptr;
    }
    void* memory = ::operator new(sizeof(Table) + 2 * static_cast<size_t>(length) * sizeof(float), std::nothrow);
    if (!memory) return nullptr;
    Table* table = new (memory) Table{nullptr, length, 0};
    float* entries = table->Entries();
    for (int32_t i = 0; i < length; ++i) {
        const double angle = static_cast<double>(i) / static_cast<double>(length) * kAngleScale;
        const float entry = static_cast<float>(std::sin(angle));
        entries[i] = entry;
        entries[length + vexlo::ResidueAddress(length, i)] = entry;
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

int32_t HeldSineTables() {
    std::lock_guard<std::mutex> hold(TablesLock());
    int32_t count = 0;
    for (Table* t = g_tables; t; t = t->next) ++count;
    return count;
}

}  // namespace vexlo
