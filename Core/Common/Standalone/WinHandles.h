// Windows side: owning wrappers for the handles the updater opens. Each closes its handle exactly
// once; the invalid value is part of the type, so no error path needs its own CloseHandle.
#pragma once

#include "WinApi.h"

#include <utility>

// Traits name the handle type, its invalid value and how it is closed.
template <typename Traits> class UniqueResource {
public:
    using T = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(T value) noexcept : FValue(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : FValue(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const noexcept { return FValue; }
    bool valid() const noexcept { return FValue != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Closes the current value (if any) and takes the new one.
    void reset(T value = Traits::Invalid()) noexcept {
        if (FValue != Traits::Invalid()) {
            Traits::Close(FValue);
        }
        FValue = value;
    }
    T release() noexcept { return std::exchange(FValue, Traits::Invalid()); }
    // For out-parameters of the API: closes the current value first.
    T* put() noexcept {
        reset();
        return &FValue;
    }

private:
    T FValue = Traits::Invalid();
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type k) noexcept { RegCloseKey(k); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type m) noexcept { FreeLibrary(m); }
};
struct WindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type w) noexcept { DestroyWindow(w); }
};

// Files, devices and pipes: invalid is INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
// Processes, threads, events: invalid is NULL.
using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueHKey = UniqueResource<RegistryKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueHwnd = UniqueResource<WindowTraits>;

// Runs a clean-up step when the scope ends, on every path.
template <typename F> class ScopeGuard {
public:
    explicit ScopeGuard(F f) : FAction(std::move(f)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ~ScopeGuard() { FAction(); }

private:
    F FAction;
};
