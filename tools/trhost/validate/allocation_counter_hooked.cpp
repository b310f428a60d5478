// The hooked allocators (Windows): the module's import table is rewritten so that the allocation
// calls it imports reach these hooks, which count and call the function the table held before. The
// module's own allocations are counted, the host's are not. Blocks are tracked by address, so that
// their size is known when they go and a block that came before the hooks passes through untouched.
//
// A freed block is poisoned and held back (freed_memory.h) where its memory is plainly the block's:
// the C runtime's blocks and fixed heap blocks. Local and global handles (which may be movable) and
// virtual memory (whose pages may be decommitted or protected) are counted only. realloc and
// HeapReAlloc always move a tracked block, so that the old address is held back too.
//
// Not seen: allocations the C runtime makes inside its own functions (strdup, fopen), and allocators
// the module finds through GetProcAddress instead of importing them.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "allocation_counter.h"
#include "allocation_tally.h"
#include "freed_memory.h"

namespace trhost::validate {

namespace {

// How a tracked block is given back when it leaves the quarantine (or, for the kinds not held, at
// once): the allocator's own release and what it needs besides the address (a heap).
struct TrackedBlock {
    size_t size = 0;
    ReleaseFreedBlock give_back = nullptr;  // null: not held, handed straight on when freed
    void* owner = nullptr;
};

std::mutex g_blocks_mutex;
// The blocks allocated through the hooks and not yet freed. Its own memory comes from trhost's
// allocator, which is not hooked.
std::unordered_map<void*, TrackedBlock>& Blocks() {
    static auto* blocks = new std::unordered_map<void*, TrackedBlock>;
    return *blocks;
}

void Track(void* block, size_t size, ReleaseFreedBlock give_back, void* owner = nullptr) {
    if (!block) return;
    {
        std::lock_guard<std::mutex> lock(g_blocks_mutex);
        Blocks()[block] = {size, give_back, owner};
    }
    TallyAllocation(size, size);
}

// What the hooks know of a block: false for one they never saw.
bool Find(void* block, TrackedBlock* was) {
    if (!block) return false;
    std::lock_guard<std::mutex> lock(g_blocks_mutex);
    auto found = Blocks().find(block);
    if (found == Blocks().end()) return false;
    *was = found->second;
    return true;
}

// Forgets a tracked block and answers what it was; false for a block the hooks never saw.
bool Untrack(void* block, TrackedBlock* was) {
    if (!block) return false;
    {
        std::lock_guard<std::mutex> lock(g_blocks_mutex);
        auto found = Blocks().find(block);
        if (found == Blocks().end()) return false;
        *was = found->second;
        Blocks().erase(found);
    }
    TallyRelease(was->size);
    return true;
}

// The functions the import table held before the hooks went in.
struct Originals {
    void* (__cdecl* malloc)(size_t) = nullptr;
    void* (__cdecl* calloc)(size_t, size_t) = nullptr;
    void* (__cdecl* realloc)(void*, size_t) = nullptr;
    void(__cdecl* free)(void*) = nullptr;
    void* (__cdecl* aligned_malloc)(size_t, size_t) = nullptr;
    void* (__cdecl* aligned_realloc)(void*, size_t, size_t) = nullptr;
    void(__cdecl* aligned_free)(void*) = nullptr;
    void* (__cdecl* new_single)(size_t) = nullptr;
    void* (__cdecl* new_array)(size_t) = nullptr;
    void(__cdecl* delete_single)(void*) = nullptr;
    void(__cdecl* delete_array)(void*) = nullptr;
    void(__cdecl* delete_single_sized)(void*, size_t) = nullptr;
    void(__cdecl* delete_array_sized)(void*, size_t) = nullptr;
    LPVOID(WINAPI* heap_alloc)(HANDLE, DWORD, SIZE_T) = nullptr;
    LPVOID(WINAPI* heap_realloc)(HANDLE, DWORD, LPVOID, SIZE_T) = nullptr;
    BOOL(WINAPI* heap_free)(HANDLE, DWORD, LPVOID) = nullptr;
    BOOL(WINAPI* heap_destroy)(HANDLE) = nullptr;
    LPVOID(WINAPI* virtual_alloc)(LPVOID, SIZE_T, DWORD, DWORD) = nullptr;
    BOOL(WINAPI* virtual_free)(LPVOID, SIZE_T, DWORD) = nullptr;
    HLOCAL(WINAPI* local_alloc)(UINT, SIZE_T) = nullptr;
    HLOCAL(WINAPI* local_realloc)(HLOCAL, SIZE_T, UINT) = nullptr;
    HLOCAL(WINAPI* local_free)(HLOCAL) = nullptr;
    HGLOBAL(WINAPI* global_alloc)(UINT, SIZE_T) = nullptr;
    HGLOBAL(WINAPI* global_realloc)(HGLOBAL, SIZE_T, UINT) = nullptr;
    HGLOBAL(WINAPI* global_free)(HGLOBAL) = nullptr;
};
Originals g_original;

void GiveBackCrt(void* block, void*) { g_original.free(block); }
void GiveBackAligned(void* block, void*) { g_original.aligned_free(block); }
void GiveBackHeap(void* block, void* heap) { g_original.heap_free(static_cast<HANDLE>(heap), 0, block); }
// operator delete as the module imported it; the runtimes that export operator new take its memory
// from their malloc, so their free is the last resort.
void GiveBackNew(void* block, void*) {
    if (g_original.delete_single) {
        g_original.delete_single(block);
    } else if (g_original.delete_array) {
        g_original.delete_array(block);
    } else {
        g_original.free(block);
    }
}

// Frees a block the module gave back: a tracked one is poisoned and held, one the hooks never saw (made
// before they went in) goes to `untracked`.
template <class Untracked>
void Free(void* block, Untracked&& untracked) {
    TrackedBlock was;
    if (!Untrack(block, &was)) {
        if (block) untracked(block);
        return;
    }
    HoldFreedBlock(block, was.size, was.give_back, was.owner);
}

// Moves a tracked block to a new one from `allocate` and frees the old: what realloc does, always
// moving, so that the old address is held back. Answers null, keeping the old block, when
// `allocate` fails.
template <class Allocate, class FreeOld>
void* Move(void* block, const TrackedBlock& was, size_t size, Allocate&& allocate, FreeOld&& free_old) {
    void* moved = allocate(size);
    if (!moved) return nullptr;
    std::memcpy(moved, block, was.size < size ? was.size : size);
    free_old(block);
    return moved;
}

void* __cdecl HookMalloc(size_t size) {
    void* block = g_original.malloc(size);
    Track(block, size, GiveBackCrt);
    return block;
}

void* __cdecl HookCalloc(size_t count, size_t size) {
    void* block = g_original.calloc(count, size);
    Track(block, count * size, GiveBackCrt);
    return block;
}

void __cdecl HookFree(void* block) {
    Free(block, [](void* untracked) { g_original.free(untracked); });
}

void* __cdecl HookRealloc(void* block, size_t size) {
    TrackedBlock was;
    if (!Find(block, &was)) return g_original.realloc(block, size);
    if (size == 0) {
        HookFree(block);
        return nullptr;
    }
    return Move(block, was, size, HookMalloc, HookFree);
}

void* __cdecl HookAlignedMalloc(size_t size, size_t alignment) {
    void* block = g_original.aligned_malloc(size, alignment);
    Track(block, size, GiveBackAligned);
    return block;
}

void __cdecl HookAlignedFree(void* block) {
    Free(block, [](void* untracked) { g_original.aligned_free(untracked); });
}

void* __cdecl HookAlignedRealloc(void* block, size_t size, size_t alignment) {
    TrackedBlock was;
    if (!Find(block, &was)) return g_original.aligned_realloc(block, size, alignment);
    if (size == 0) {
        HookAlignedFree(block);
        return nullptr;
    }
    return Move(
        block, was, size, [alignment](size_t bytes) { return HookAlignedMalloc(bytes, alignment); }, HookAlignedFree);
}

void* __cdecl HookNewSingle(size_t size) {
    void* block = g_original.new_single(size);
    Track(block, size, GiveBackNew);
    return block;
}
void* __cdecl HookNewArray(size_t size) {
    void* block = g_original.new_array(size);
    Track(block, size, GiveBackNew);
    return block;
}
void __cdecl HookDelete(void* block) {
    Free(block, [](void* untracked) { GiveBackNew(untracked, nullptr); });
}
void __cdecl HookDeleteSized(void* block, size_t) { HookDelete(block); }

LPVOID WINAPI HookHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    LPVOID block = g_original.heap_alloc(heap, flags, size);
    Track(block, size, GiveBackHeap, heap);
    return block;
}

BOOL WINAPI HookHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    TrackedBlock was;
    if (!Untrack(block, &was)) return g_original.heap_free(heap, flags, block);
    HoldFreedBlock(block, was.size, was.give_back, was.owner);
    return TRUE;
}

LPVOID WINAPI HookHeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size) {
    TrackedBlock was;
    if (!Find(block, &was)) return g_original.heap_realloc(heap, flags, block, size);
    if (flags & HEAP_REALLOC_IN_PLACE_ONLY) {
        // Resized where it lies, or not at all: the same address with another size.
        LPVOID result = g_original.heap_realloc(heap, flags, block, size);
        if (result) {
            Untrack(block, &was);
            Track(result, size, GiveBackHeap, heap);
        }
        return result;
    }
    return Move(
        block, was, size, [heap, flags](size_t bytes) { return HookHeapAlloc(heap, flags, bytes); },
        [heap](void* old) { HookHeapFree(heap, 0, old); });
}

BOOL WINAPI HookHeapDestroy(HANDLE heap) {
    // Its blocks go with it: the held ones are given back first, the live ones are forgotten.
    ReleaseHeldBlocksOf(heap);
    {
        std::lock_guard<std::mutex> lock(g_blocks_mutex);
        for (auto it = Blocks().begin(); it != Blocks().end();) {
            if (it->second.give_back == GiveBackHeap && it->second.owner == heap) {
                TallyRelease(it->second.size);
                it = Blocks().erase(it);
            } else {
                ++it;
            }
        }
    }
    return g_original.heap_destroy(heap);
}

// Virtual memory, local and global blocks: counted, not held (see the top of the file).
LPVOID WINAPI HookVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    LPVOID region = g_original.virtual_alloc(address, size, type, protect);
    if (!region) return region;
    if (!address || (type & MEM_RESERVE)) {
        Track(region, size, nullptr);
    } else {
        TallyWindowAllocation(size);  // pages committed in a region already reserved
    }
    return region;
}

BOOL WINAPI HookVirtualFree(LPVOID address, SIZE_T size, DWORD type) {
    TrackedBlock was;
    if (type & MEM_RELEASE) {
        Untrack(address, &was);
    } else {
        TallyWindowRelease();
    }
    return g_original.virtual_free(address, size, type);
}

template <class Handle>
Handle Forget(Handle block) {
    TrackedBlock was;
    Untrack(block, &was);
    return block;
}
template <class Handle>
Handle Retrack(Handle old_block, Handle result, SIZE_T size) {
    TrackedBlock was;
    if (result && Untrack(old_block, &was)) Track(result, size, nullptr);
    return result;
}

// The Local and Global families alike (their handles are the same type), by the original they call.
template <auto kAllocate>
HANDLE WINAPI HookHandleAlloc(UINT flags, SIZE_T size) {
    HANDLE block = (g_original.*kAllocate)(flags, size);
    Track(block, size, nullptr);
    return block;
}
template <auto kFree>
HANDLE WINAPI HookHandleFree(HANDLE block) {
    return (g_original.*kFree)(Forget(block));
}
template <auto kReAllocate>
HANDLE WINAPI HookHandleReAlloc(HANDLE block, SIZE_T size, UINT flags) {
    return Retrack(block, (g_original.*kReAllocate)(block, size, flags), size);
}

// One import the hooks replace: its name, the hook, and where the original goes.
struct Hook {
    const char* name;
    void* hook;
    void** original;
};

template <class F>
Hook MakeHook(const char* name, F hook, F* original) {
    return {name, reinterpret_cast<void*>(hook), reinterpret_cast<void**>(original)};
}

const std::vector<Hook>& Hooks() {
    static const std::vector<Hook> hooks = {
        MakeHook("malloc", HookMalloc, &g_original.malloc),
        MakeHook("calloc", HookCalloc, &g_original.calloc),
        MakeHook("realloc", HookRealloc, &g_original.realloc),
        MakeHook("free", HookFree, &g_original.free),
        MakeHook("_aligned_malloc", HookAlignedMalloc, &g_original.aligned_malloc),
        MakeHook("_aligned_realloc", HookAlignedRealloc, &g_original.aligned_realloc),
        MakeHook("_aligned_free", HookAlignedFree, &g_original.aligned_free),
        // operator new and delete, as g++ (libstdc++) and as Microsoft's runtimes name them.
        MakeHook("_Znwj", HookNewSingle, &g_original.new_single),
        MakeHook("??2@YAPAXI@Z", HookNewSingle, &g_original.new_single),
        MakeHook("_Znaj", HookNewArray, &g_original.new_array),
        MakeHook("??_U@YAPAXI@Z", HookNewArray, &g_original.new_array),
        MakeHook("_ZdlPv", HookDelete, &g_original.delete_single),
        MakeHook("??3@YAXPAX@Z", HookDelete, &g_original.delete_single),
        MakeHook("_ZdaPv", HookDelete, &g_original.delete_array),
        MakeHook("??_V@YAXPAX@Z", HookDelete, &g_original.delete_array),
        MakeHook("_ZdlPvj", HookDeleteSized, &g_original.delete_single_sized),
        MakeHook("_ZdaPvj", HookDeleteSized, &g_original.delete_array_sized),
        MakeHook("HeapAlloc", HookHeapAlloc, &g_original.heap_alloc),
        MakeHook("HeapReAlloc", HookHeapReAlloc, &g_original.heap_realloc),
        MakeHook("HeapFree", HookHeapFree, &g_original.heap_free),
        MakeHook("HeapDestroy", HookHeapDestroy, &g_original.heap_destroy),
        MakeHook("VirtualAlloc", HookVirtualAlloc, &g_original.virtual_alloc),
        MakeHook("VirtualFree", HookVirtualFree, &g_original.virtual_free),
        MakeHook("LocalAlloc", HookHandleAlloc<&Originals::local_alloc>, &g_original.local_alloc),
        MakeHook("LocalReAlloc", HookHandleReAlloc<&Originals::local_realloc>, &g_original.local_realloc),
        MakeHook("LocalFree", HookHandleFree<&Originals::local_free>, &g_original.local_free),
        MakeHook("GlobalAlloc", HookHandleAlloc<&Originals::global_alloc>, &g_original.global_alloc),
        MakeHook("GlobalReAlloc", HookHandleReAlloc<&Originals::global_realloc>, &g_original.global_realloc),
        MakeHook("GlobalFree", HookHandleFree<&Originals::global_free>, &g_original.global_free),
    };
    return hooks;
}

// The C runtime's free and _aligned_free must be known before any block can be released, also when
// the module does not import them (it imports only operator new and delete, say): then msvcrt's.
template <class F>
void FindIfUnknown(HMODULE runtime, const char* name, F& function) {
    if (!function) function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(runtime, name)));
}

void FindCrtFallbacks() {
    HMODULE msvcrt = GetModuleHandleA("msvcrt.dll");
    if (!msvcrt) msvcrt = LoadLibraryA("msvcrt.dll");
    FindIfUnknown(msvcrt, "free", g_original.free);
    FindIfUnknown(msvcrt, "_aligned_free", g_original.aligned_free);
}

void Patch(void** slot, void* value) {
    DWORD old_protection;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old_protection)) return;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old_protection, &old_protection);
}

template <class T>
T* At(HMODULE module, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

// The imports the hooks replaced, by name.
std::vector<std::string> g_hooked_names;

// Rewrites every import of `module` that has a hook.
void HookImports(HMODULE module) {
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    auto* nt = At<IMAGE_NT_HEADERS32>(module, static_cast<DWORD>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE) return;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return;
    for (auto* import = At<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress); import->Name; ++import) {
        // The names are in the lookup table; a module without one keeps them in the address table,
        // which the loader has since overwritten, so it cannot be hooked by name.
        if (!import->OriginalFirstThunk) continue;
        auto* names = At<IMAGE_THUNK_DATA32>(module, import->OriginalFirstThunk);
        auto* slots = At<IMAGE_THUNK_DATA32>(module, import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
            const char* name = At<IMAGE_IMPORT_BY_NAME>(module, names->u1.AddressOfData)->Name;
            for (const Hook& hook : Hooks()) {
                if (std::strcmp(name, hook.name) != 0) continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                if (*slot == hook.hook) break;
                // The first original found for a name is the one every hook of that name calls; an
                // import of the same name from another runtime is left alone.
                if (!*hook.original) *hook.original = *slot;
                if (*hook.original == *slot) {
                    Patch(slot, hook.hook);
                    g_hooked_names.push_back(hook.name);
                }
                break;
            }
        }
    }
}

bool g_watching = false;

}  // namespace

bool AllocationCountingAvailable() { return g_watching; }

std::string WatchedAllocators() {
    if (g_hooked_names.empty()) {
        return "the module imports none of the allocators trhost.exe hooks: what it allocates, if anything, goes unseen";
    }
    std::string names;
    for (const auto& name : g_hooked_names) names += (names.empty() ? "" : ", ") + name;
    return "allocations seen through the module's imports of " + names;
}

void WatchModuleAllocations(const ModuleLibrary& library) {
    // The library's module handle, from the address of one of its exports.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(library.MakeModule()), &module)) {
        return;
    }
    HookImports(module);
    FindCrtFallbacks();
    g_watching = true;
}

}  // namespace trhost::validate
