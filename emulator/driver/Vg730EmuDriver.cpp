// Windows kernel side: the kernel-mode test driver of the emulated gateways. It owns one set of
// emulated gateways (the portable model) and gives it device objects: "\\.\Vg730EmuControl" for
// the control tool, and "\\.\Quorvelxlink<n>.info" / ".exclusive" for every gateway number that
// was ever added.
//
// Wine opens a device object without waiting for the driver's answer to the open, so an open
// cannot be refused by that answer. Instead each object's name (its symbolic link) exists only
// while the model says the object may be opened: a gateway that is away, restarting or opened
// exclusively has no names, one that a CAN library holds has no ".exclusive" name. A thread
// brings names back when a restart ends. An open the model refuses all the same gives a handle
// whose every request fails with a sharing violation: that is how an ".exclusive" open beside a
// plain ".info" handle is refused. Its name cannot go instead, because Wine passes a close on to
// the driver only after CloseHandle has returned, so the name would still be missing when the
// flash programmer opens ".exclusive" right after closing ".info"; the open reaches the driver
// after that close, so the model sees the right order.
//
// Every request to a gateway's objects is logged (Vg730RequestLog.h), refused ones too.

// wdm.h repeats two interlocked helpers that the compiler's intrinsics already define; in C++
// that is a redeclaration, so its copies get other names.
#include <intrin.h>
#define InterlockedBitTestAndSet WdmInterlockedBitTestAndSet
#define InterlockedBitTestAndReset WdmInterlockedBitTestAndReset
#include <wdm.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

#include "Vg730Emulator.h"

// Not declared by wdm.h; exported by the kernel.
extern "C" NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable,
                                                         PLARGE_INTEGER timeout);
extern "C" NTSYSAPI NTSTATUS NTAPI ZwCreateSection(PHANDLE section, ACCESS_MASK access,
                                                   POBJECT_ATTRIBUTES attributes,
                                                   PLARGE_INTEGER size, ULONG protection,
                                                   ULONG allocation, HANDLE file);

namespace {

enum ObjectKind : ULONG { ControlObject, InfoObject, ExclusiveObject };

struct ObjectExtension {
    ObjectKind kind;
    ULONG number;
};

// A UNICODE_STRING with its own storage, made from a prefix, an optional number and a suffix.
struct ObjectName {
    WCHAR text[80];
    UNICODE_STRING string;

    ObjectName(const WCHAR* prefix, LONG number, const WCHAR* suffix) {
        ULONG length = 0;
        auto append = [&](const WCHAR* part) {
            for (; *part != L'\0' && length + 1 < sizeof(text) / sizeof(text[0]); ++part) {
                text[length++] = *part;
            }
        };
        append(prefix);
        if (number >= 0) {
            WCHAR digits[12];
            ULONG count = 0;
            ULONG value = static_cast<ULONG>(number);
            do {
                digits[count++] = static_cast<WCHAR>(L'0' + value % 10);
                value /= 10;
            } while (value != 0);
            WCHAR reversed[12];
            for (ULONG i = 0; i < count; ++i) {
                reversed[i] = digits[count - 1 - i];
            }
            reversed[count] = L'\0';
            append(reversed);
        }
        append(suffix);
        text[length] = L'\0';
        string.Buffer = text;
        string.Length = static_cast<USHORT>(length * sizeof(WCHAR));
        string.MaximumLength = static_cast<USHORT>(sizeof(text));
    }
};

// Driver-wide state, all constant-initialised: a kernel driver runs no static constructors.
Vg730Emulator Emulator;
// A synchronization event as the lock: Wine's kernel mutex hangs when two threads contend.
KEVENT EmulatorLock;
PDRIVER_OBJECT Driver;
PDEVICE_OBJECT ControlDevice;
PDEVICE_OBJECT GatewayObjects[VG730_MAX_DEVICE_NUMBER + 1][2];
bool GatewayLinks[VG730_MAX_DEVICE_NUMBER + 1][2];
LARGE_INTEGER CounterFrequency;
HANDLE LinkThread;
volatile LONG StopLinkThread;
// The CAN library's call log, in a section every process can map as "Global\Vg730EmuCallLog".
HANDLE CallLogSection;
PVOID CallLogView;

class EmulatorGuard {
public:
    EmulatorGuard() { KeWaitForSingleObject(&EmulatorLock, Executive, KernelMode, FALSE, nullptr); }
    ~EmulatorGuard() { KeSetEvent(&EmulatorLock, IO_NO_INCREMENT, FALSE); }
    EmulatorGuard(const EmulatorGuard&) = delete;
    EmulatorGuard& operator=(const EmulatorGuard&) = delete;
};

uint32_t now_ms() {
    const LARGE_INTEGER counter = KeQueryPerformanceCounter(nullptr);
    return static_cast<uint32_t>(static_cast<ULONGLONG>(counter.QuadPart) * 1000 /
                                 static_cast<ULONGLONG>(CounterFrequency.QuadPart));
}

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS status_of(Vg730Result result) {
    switch (result) {
    case VG730_OK:
        return STATUS_SUCCESS;
    case VG730_FAIL_ABSENT:
    case VG730_FAIL_STALE_HANDLE:
        return STATUS_DEVICE_NOT_CONNECTED;
    case VG730_FAIL_UNKNOWN_REQUEST:
        return STATUS_INVALID_DEVICE_REQUEST;
    case VG730_FAIL_BAD_SIZE:
        return STATUS_INVALID_PARAMETER;
    case VG730_FAIL_NOT_EXCLUSIVE:
    case VG730_FAIL_WRONG_OBJECT:
        return STATUS_ACCESS_DENIED;
    case VG730_FAIL_SHARING:
        return STATUS_SHARING_VIOLATION;
    default: // VG730_FAIL_INJECTED
        return STATUS_IO_DEVICE_ERROR;
    }
}

const WCHAR* suffix_of(ObjectKind kind) {
    return kind == InfoObject ? L".info" : L".exclusive";
}

NTSTATUS create_object(ObjectKind kind, ULONG number, PDEVICE_OBJECT* created) {
    ObjectName device(L"\\Device\\Quorvelxlink", static_cast<LONG>(number), suffix_of(kind));
    PDEVICE_OBJECT object = nullptr;
    const NTSTATUS status = IoCreateDevice(Driver, sizeof(ObjectExtension), &device.string,
                                           FILE_DEVICE_UNKNOWN, 0, FALSE, &object);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* extension = static_cast<ObjectExtension*>(object->DeviceExtension);
    extension->kind = kind;
    extension->number = number;
    object->Flags |= DO_BUFFERED_IO;
    object->Flags &= ~DO_DEVICE_INITIALIZING;
    *created = object;
    return STATUS_SUCCESS;
}

void set_link(ObjectKind kind, ULONG number, bool wanted) {
    bool& present = GatewayLinks[number][kind == InfoObject ? 0 : 1];
    if (present == wanted) {
        return;
    }
    ObjectName device(L"\\Device\\Quorvelxlink", static_cast<LONG>(number), suffix_of(kind));
    ObjectName link(L"\\??\\Quorvelxlink", static_cast<LONG>(number), suffix_of(kind));
    const NTSTATUS status = wanted ? IoCreateSymbolicLink(&link.string, &device.string)
                                   : IoDeleteSymbolicLink(&link.string);
    if (NT_SUCCESS(status)) {
        present = wanted;
    }
}

// Gives every gateway in the model its two objects, and each object its name exactly while it
// may be opened. Objects stay until the driver unloads, as handles may still refer to them.
void sync_objects() {
    const uint32_t now = now_ms();
    for (ULONG number = 0; number <= VG730_MAX_DEVICE_NUMBER; ++number) {
        Vg730Device* device = vg730_emulator_find(&Emulator, number);
        PDEVICE_OBJECT* objects = GatewayObjects[number];
        if (device && objects[0] == nullptr) {
            create_object(InfoObject, number, &objects[0]);
        }
        if (device && objects[1] == nullptr) {
            create_object(ExclusiveObject, number, &objects[1]);
        }
        if (objects[0] != nullptr) {
            set_link(InfoObject, number,
                     device && vg730_device_visible(device, now, VG730_OBJECT_INFO));
        }
        if (objects[1] != nullptr) {
            set_link(ExclusiveObject, number,
                     device && vg730_device_visible(device, now, VG730_OBJECT_EXCLUSIVE));
        }
    }
}

// Restarts end with time, not with a request: the names are looked at every 5 ms.
void link_thread(PVOID) {
    while (!StopLinkThread) {
        LARGE_INTEGER interval;
        interval.QuadPart = -5 * 10000; // relative, 100 ns units
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
        EmulatorGuard guard;
        sync_objects();
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

// What a file object remembers of its open. FsContext: the handle's incarnation. FsContext2:
// 0 when the open found no gateway, else one of the states below.
enum : ULONG_PTR {
    HandleOpen = 1,        // | object << 1 | holding << 2
    HandleRefused = 0x100, // the sharing rules refused it; every request says so
};

void set_handle(PFILE_OBJECT file, Vg730Result result, const Vg730Handle& handle) {
    ULONG_PTR state = 0;
    if (result == VG730_OK) {
        state = HandleOpen | (static_cast<ULONG_PTR>(handle.object) << 1) |
                (static_cast<ULONG_PTR>(handle.holding) << 2);
    } else if (result == VG730_FAIL_SHARING) {
        state = HandleRefused;
    }
    file->FsContext = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(handle.incarnation));
    file->FsContext2 = reinterpret_cast<PVOID>(state);
}

// The open handle of a file object, or false and why it has none.
bool handle_of(PFILE_OBJECT file, Vg730Handle* handle, Vg730Result* why_not) {
    const ULONG_PTR state = file ? reinterpret_cast<ULONG_PTR>(file->FsContext2) : 0;
    if (!(state & HandleOpen)) {
        *why_not = state == HandleRefused ? VG730_FAIL_SHARING : VG730_FAIL_ABSENT;
        return false;
    }
    handle->incarnation = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(file->FsContext));
    handle->object = static_cast<uint32_t>((state >> 1) & 1);
    handle->holding = static_cast<uint32_t>((state >> 2) & 1);
    return true;
}

NTSTATUS dispatch_create(PDEVICE_OBJECT object, PIRP irp) {
    const auto* extension = static_cast<const ObjectExtension*>(object->DeviceExtension);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (extension->kind == ControlObject) {
        return complete(irp, STATUS_SUCCESS, 0);
    }
    EmulatorGuard guard;
    Vg730Result result = VG730_FAIL_ABSENT;
    Vg730Handle handle{};
    if (Vg730Device* device = vg730_emulator_find(&Emulator, extension->number)) {
        result = vg730_device_open(device, now_ms(),
                                   extension->kind == ExclusiveObject ? VG730_OBJECT_EXCLUSIVE
                                                                      : VG730_OBJECT_INFO,
                                   &handle);
    }
    if (stack->FileObject != nullptr) {
        set_handle(stack->FileObject, result, handle);
    }
    sync_objects();
    return complete(irp, result == VG730_OK ? STATUS_SUCCESS : status_of(result), 0);
}

NTSTATUS dispatch_close(PDEVICE_OBJECT object, PIRP irp) {
    const auto* extension = static_cast<const ObjectExtension*>(object->DeviceExtension);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    Vg730Handle handle;
    Vg730Result why_not;
    if (extension->kind != ControlObject && handle_of(stack->FileObject, &handle, &why_not)) {
        EmulatorGuard guard;
        if (Vg730Device* device = vg730_emulator_find(&Emulator, extension->number)) {
            vg730_device_close(device, &handle);
        }
        stack->FileObject->FsContext2 = nullptr;
        sync_objects();
    }
    return complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS dispatch_cleanup(PDEVICE_OBJECT, PIRP irp) {
    return complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS dispatch_control(PDEVICE_OBJECT object, PIRP irp) {
    const auto* extension = static_cast<const ObjectExtension*>(object->DeviceExtension);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    // One buffer in and out: a request whose two sizes differ has no size of its own.
    const uint32_t size = in == out ? in : 0xFFFFFFFFu;
    if ((code & 3) != METHOD_BUFFERED) {
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }

    uint32_t returned = 0;
    uint32_t latency_us = 0;
    Vg730Result result = VG730_FAIL_ABSENT;
    {
        EmulatorGuard guard;
        if (extension->kind == ControlObject) {
            result = vg730_emulator_control(&Emulator, now_ms(), code, buffer, size, &returned);
        } else {
            Vg730Handle handle;
            Vg730Result refused = VG730_FAIL_ABSENT;
            const bool open = handle_of(stack->FileObject, &handle, &refused);
            result = vg730_emulator_request(
                &Emulator, extension->number,
                extension->kind == ExclusiveObject ? VG730_OBJECT_EXCLUSIVE : VG730_OBJECT_INFO,
                open ? &handle : nullptr, refused, now_ms(), code, buffer, size, &returned);
            if (open) {
                set_handle(stack->FileObject, VG730_OK, handle); // a hold changes it
            }
            if (Vg730Device* device = vg730_emulator_find(&Emulator, extension->number)) {
                latency_us = vg730_device_latency_us(device);
            }
        }
        sync_objects();
    }
    if (latency_us != 0) {
        LARGE_INTEGER interval;
        interval.QuadPart = -static_cast<LONGLONG>(latency_us) * 10; // relative, 100 ns units
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
    }
    return complete(irp, status_of(result), result == VG730_OK ? returned : 0);
}

// Without the section the log stays in the driver and the library logs through requests.
void share_call_log() {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"\\BaseNamedObjects\\Vg730EmuCallLog");
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = sizeof(Vg730CallLog);
    if (!NT_SUCCESS(ZwCreateSection(&CallLogSection, SECTION_ALL_ACCESS, &attributes, &size,
                                    PAGE_READWRITE, SEC_COMMIT, nullptr))) {
        CallLogSection = nullptr;
        return;
    }
    SIZE_T viewSize = 0;
    if (!NT_SUCCESS(ZwMapViewOfSection(CallLogSection, ZwCurrentProcess(), &CallLogView, 0, 0,
                                       nullptr, &viewSize, ViewUnmap, 0, PAGE_READWRITE))) {
        CallLogView = nullptr;
        ZwClose(CallLogSection);
        CallLogSection = nullptr;
        return;
    }
    auto* log = static_cast<Vg730CallLog*>(CallLogView);
    vg730_call_log_init(log);
    vg730_emulator_share_call_log(&Emulator, log);
}

void unload(PDRIVER_OBJECT) {
    if (LinkThread != nullptr) {
        InterlockedExchange(&StopLinkThread, 1);
        ZwWaitForSingleObject(LinkThread, FALSE, nullptr);
        ZwClose(LinkThread);
        LinkThread = nullptr;
    }
    for (ULONG number = 0; number <= VG730_MAX_DEVICE_NUMBER; ++number) {
        set_link(InfoObject, number, false);
        set_link(ExclusiveObject, number, false);
        for (PDEVICE_OBJECT& object : GatewayObjects[number]) {
            if (object != nullptr) {
                IoDeleteDevice(object);
                object = nullptr;
            }
        }
    }
    if (CallLogView != nullptr) {
        vg730_emulator_share_call_log(&Emulator, &Emulator.own_call_log);
        ZwUnmapViewOfSection(ZwCurrentProcess(), CallLogView);
        CallLogView = nullptr;
    }
    if (CallLogSection != nullptr) {
        ZwClose(CallLogSection);
        CallLogSection = nullptr;
    }
    if (ControlDevice != nullptr) {
        ObjectName link(L"\\??\\Vg730EmuControl", -1, L"");
        IoDeleteSymbolicLink(&link.string);
        IoDeleteDevice(ControlDevice);
        ControlDevice = nullptr;
    }
}

} // namespace

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    Driver = driver;
    KeInitializeEvent(&EmulatorLock, SynchronizationEvent, TRUE);
    KeQueryPerformanceCounter(&CounterFrequency);
    vg730_emulator_init(&Emulator);
    share_call_log();

    ObjectName device(L"\\Device\\Vg730EmuControl", -1, L"");
    ObjectName link(L"\\??\\Vg730EmuControl", -1, L"");
    NTSTATUS status = IoCreateDevice(driver, sizeof(ObjectExtension), &device.string,
                                     FILE_DEVICE_UNKNOWN, 0, FALSE, &ControlDevice);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = IoCreateSymbolicLink(&link.string, &device.string);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(ControlDevice);
        ControlDevice = nullptr;
        return status;
    }
    auto* extension = static_cast<ObjectExtension*>(ControlDevice->DeviceExtension);
    extension->kind = ControlObject;
    extension->number = 0;
    ControlDevice->Flags |= DO_BUFFERED_IO;

    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
    driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_cleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
    driver->DriverUnload = unload;

    status = PsCreateSystemThread(&LinkThread, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr,
                                  link_thread, nullptr);
    if (!NT_SUCCESS(status)) {
        LinkThread = nullptr;
        unload(driver);
        return status;
    }
    return STATUS_SUCCESS;
}
