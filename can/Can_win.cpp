// Windows side of the CAN library binding: the library loaded from the system folder,
// GetProcAddress by name, FreeLibrary.
#include "Can.h"

#include "SystemDlls.h"
#include "UniversalTypesUnit.h"
#include "WinHandles.h"

#include <iterator>

namespace {

// The entry table's members and the list of names must agree, name for name.
constexpr bool SameText(const char* a, const char* b) {
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}
constexpr bool EntriesMatchNames() {
    const char* members[] = {
#define VG_CAN_ENTRY_NAME(Name, Result, Params) #Name,
        VG_CAN_ENTRY_LIST(VG_CAN_ENTRY_NAME)
#undef VG_CAN_ENTRY_NAME
    };
    if (std::size(members) != CanEntryNames.size()) {
        return false;
    }
    for (size_t i = 0; i < CanEntryNames.size(); ++i) {
        if (!SameText(members[i], CanEntryNames[i])) {
            return false;
        }
    }
    return true;
}
static_assert(EntriesMatchNames(), "the entry table and CanEntryNames differ");

struct TCanBinding {
    UniqueModule Module;
    TCanEntries Entries;
    bool Complete = false; // every entry resolved since the library was loaded
};

TCanBinding& Binding() {
    static TCanBinding binding;
    return binding;
}

// Fills the member of the entry at Index with Proc; the members follow CanEntryNames.
void StoreEntry(TCanEntries& entries, size_t index, FARPROC proc) {
    // The generic function type lets the address take the entry's own type.
    const auto generic = reinterpret_cast<void (*)()>(proc);
    size_t i = 0;
#define VG_CAN_STORE_ENTRY(Name, Result, Params)                                                   \
    if (i++ == index) {                                                                            \
        entries.Name = reinterpret_cast<decltype(entries.Name)>(generic);                          \
        return;                                                                                    \
    }
    VG_CAN_ENTRY_LIST(VG_CAN_STORE_ENTRY)
#undef VG_CAN_STORE_ENTRY
}

std::array<bool, CanEntryNames.size()> Filled(const TCanEntries& entries) {
    std::array<bool, CanEntryNames.size()> filled{};
    size_t i = 0;
#define VG_CAN_FILLED_ENTRY(Name, Result, Params) filled[i++] = entries.Name != nullptr;
    VG_CAN_ENTRY_LIST(VG_CAN_FILLED_ENTRY)
#undef VG_CAN_FILLED_ENTRY
    return filled;
}

// The library lies in the system folder; a bare name is looked for there only, never in the
// program's folder (SystemDlls.h).
std::wstring CanDllPath() {
    const std::wstring& name = CanDllName();
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) {
        return name;
    }
    return GetSystemFolder() + name;
}

} // namespace

void LoadCanDll() {
    TCanBinding& binding = Binding();
    if (binding.Module) {
        return;
    }
    DebugTrace(L"LoadLibrary: " + CanDllName(), true);
    DWORD error = 0;
    {
        // A library whose own dependencies are missing must not stop the program with a system
        // dialog: the failure is reported as an error like any other.
        DWORD previousMode = 0;
        SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
        const ScopeGuard restoreMode([&] { SetThreadErrorMode(previousMode, nullptr); });
        binding.Module.reset(LoadSystemLibrary(CanDllPath()));
        error = GetLastError();
    }
    if (!binding.Module) {
        throw Exception(CanLoadFailedMessage(CanDllName(), error));
    }
    DebugTrace(L"LoadLibrary was a success", true);

    // Entries left from a library loaded before belong to released code: none may survive
    // into this library's table.
    binding.Entries = TCanEntries{};
    binding.Complete = false;
    for (size_t i = 0; i < CanEntryNames.size(); ++i) {
        const FARPROC proc = GetProcAddress(binding.Module.get(), CanEntryNames[i]);
        if (!proc) {
            throw Exception(CanEntryMissingMessage(CanEntryNames[i]));
        }
        StoreEntry(binding.Entries, i, proc);
    }
    binding.Complete = true;
    binding.Entries.canInitializeLibrary();
}

int UnloadCanDll() {
    TCanBinding& binding = Binding();
    if (!binding.Module) {
        return 0;
    }
    if (binding.Entries.canUnloadLibrary) {
        binding.Entries.canUnloadLibrary();
    }
    DebugTrace(L"FreeLibrary: " + CanDllName(), true);
    // Once more on purpose: libraries of this family release in two steps, and the updater has
    // always called both (a library that needs one takes the second as a no-op).
    if (binding.Entries.canUnloadLibrary) {
        binding.Entries.canUnloadLibrary();
    }
    binding.Complete = false;
    binding.Entries = TCanEntries{};
    binding.Module.reset();
    return 0;
}

bool CanDllLoaded() {
    return Binding().Module.valid();
}

const TCanEntries* UsableCanEntries() {
    const TCanBinding& binding = Binding();
    return binding.Module && binding.Complete ? &binding.Entries : nullptr;
}

std::array<bool, CanEntryNames.size()> FilledCanEntries() {
    return Filled(Binding().Entries);
}
