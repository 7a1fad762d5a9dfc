// Windows side test helper: what the running process holds, to show that something leaves
// nothing behind. Under Wine GetProcessHandleCount and the memory counters read 0, so handles
// are counted in the system's handle table and memory is summed over the address space.
#pragma once

#include "WinApi.h"

#include <cstdint>
#include <cstring>
#include <vector>

struct ProcessResources {
    std::int64_t handles = 0;
    std::int64_t committedKiB = 0; // committed memory outside loaded images: heaps, stacks, maps
    std::int64_t freeTlsSlot = 0;  // the lowest free thread-local slot: it climbs while slots leak

    static ProcessResources Now() {
        ProcessResources r;
        r.handles = HandleCount();
        MEMORY_BASIC_INFORMATION region{};
        for (const char* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);
             at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
            if (region.State == MEM_COMMIT && region.Type != MEM_IMAGE) {
                r.committedKiB += static_cast<std::int64_t>(region.RegionSize / 1024);
            }
        }
        const DWORD slot = TlsAlloc();
        if (slot != TLS_OUT_OF_INDEXES) {
            TlsFree(slot);
        }
        r.freeTlsSlot = slot;
        return r;
    }

    // The same of another process, read from outside (its lowest free TLS slot is not known).
    static ProcessResources Of(HANDLE process, DWORD processId) {
        ProcessResources r;
        DWORD count = 0;
        r.handles = GetProcessHandleCount(process, &count) && count != 0
                        ? count
                        : SystemTableCount(processId);
        MEMORY_BASIC_INFORMATION region{};
        for (const char* at = nullptr;
             VirtualQueryEx(process, at, &region, sizeof(region)) == sizeof(region);
             at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
            if (region.State == MEM_COMMIT && region.Type != MEM_IMAGE) {
                r.committedKiB += static_cast<std::int64_t>(region.RegionSize / 1024);
            }
        }
        r.freeTlsSlot = -1;
        return r;
    }

    ProcessResources operator-(const ProcessResources& before) const {
        return {handles - before.handles, committedKiB - before.committedKiB,
                freeTlsSlot - before.freeTlsSlot};
    }

private:
    static std::int64_t HandleCount() {
        DWORD count = 0;
        if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
            return count;
        }
        return SystemTableCount(GetCurrentProcessId());
    }

    // The entries of a process in the system handle table (information class 16).
    static std::int64_t SystemTableCount(DWORD processId) {
        struct Entry {
            ULONG process;
            UCHAR type, flags;
            USHORT handle;
            PVOID object;
            ACCESS_MASK access;
        };
        using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
        const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
        if (query == nullptr) {
            return -1;
        }
        constexpr LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
        std::vector<std::uint8_t> buffer(1 << 20);
        LONG status;
        ULONG needed = 0;
        while ((status = query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
                   InfoLengthMismatch &&
               buffer.size() < (256u << 20)) {
            buffer.resize(buffer.size() * 2);
        }
        if (status != 0) {
            return -1;
        }
        ULONG entries;
        std::memcpy(&entries, buffer.data(), sizeof(entries));
        const auto* first = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
        std::int64_t mine = 0;
        for (ULONG i = 0; i < entries; ++i) {
            mine += first[i].process == processId;
        }
        return mine;
    }
};
