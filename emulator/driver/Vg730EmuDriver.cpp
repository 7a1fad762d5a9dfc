// Windows kernel side: the kernel-mode test driver of the emulated gateways. It owns one set of
// emulated gateways (the portable model) and gives it device objects: "\\.\Vg730EmuControl" for
// the control tool, and "\\.\Quorvelxlink<n>.info" / ".exclusive" for every gateway number that
// was ever added. A number without a present gateway answers opens as a missing object, so a
// caller cannot tell it from one whose objects are gone.
// wdm.h repeats two interlocked helpers that the compiler's intrinsics already define; in C++
// that is a redeclaration, so its copies get other names.
#include <intrin.h>
#define InterlockedBitTestAndSet WdmInterlockedBitTestAndSet
#define InterlockedBitTestAndReset WdmInterlockedBitTestAndReset
#include <wdm.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

#include "Vg730Emulator.h"

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
KMUTEX EmulatorLock;
PDRIVER_OBJECT Driver;
PDEVICE_OBJECT ControlDevice;
PDEVICE_OBJECT GatewayObjects[VG730_MAX_DEVICE_NUMBER + 1][2];
LARGE_INTEGER CounterFrequency;

class EmulatorGuard {
public:
    EmulatorGuard() { KeWaitForSingleObject(&EmulatorLock, Executive, KernelMode, FALSE, nullptr); }
    ~EmulatorGuard() { KeReleaseMutex(&EmulatorLock, FALSE); }
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

NTSTATUS open_status(Vg730Result result) {
    switch (result) {
    case VG730_OK:
        return STATUS_SUCCESS;
    case VG730_FAIL_SHARING:
        return STATUS_SHARING_VIOLATION;
    default:
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
}

NTSTATUS request_status(Vg730Result result) {
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
        return STATUS_ACCESS_DENIED;
    default: // VG730_FAIL_INJECTED
        return STATUS_IO_DEVICE_ERROR;
    }
}

NTSTATUS create_object(ObjectKind kind, ULONG number, PDEVICE_OBJECT* created) {
    const WCHAR* suffix = kind == InfoObject ? L".info" : L".exclusive";
    ObjectName device(L"\\Device\\Quorvelxlink", static_cast<LONG>(number), suffix);
    ObjectName link(L"\\??\\Quorvelxlink", static_cast<LONG>(number), suffix);
    PDEVICE_OBJECT object = nullptr;
    NTSTATUS status = IoCreateDevice(Driver, sizeof(ObjectExtension), &device.string,
                                     FILE_DEVICE_UNKNOWN, 0, FALSE, &object);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = IoCreateSymbolicLink(&link.string, &device.string);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(object);
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

// Gives every gateway in the model its two objects. Objects are never deleted while the driver
// runs (handles may still refer to them); a number without a gateway refuses opens instead.
void create_missing_objects() {
    for (ULONG number = 0; number <= VG730_MAX_DEVICE_NUMBER; ++number) {
        if (vg730_emulator_find(&Emulator, number) == nullptr) {
            continue;
        }
        if (GatewayObjects[number][0] == nullptr) {
            create_object(InfoObject, number, &GatewayObjects[number][0]);
        }
        if (GatewayObjects[number][1] == nullptr) {
            create_object(ExclusiveObject, number, &GatewayObjects[number][1]);
        }
    }
}

NTSTATUS dispatch_create(PDEVICE_OBJECT object, PIRP irp) {
    const auto* extension = static_cast<const ObjectExtension*>(object->DeviceExtension);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (extension->kind == ControlObject) {
        return complete(irp, STATUS_SUCCESS, 0);
    }
    Vg730Result result = VG730_FAIL_ABSENT;
    Vg730Handle handle{};
    {
        EmulatorGuard guard;
        if (Vg730Device* device = vg730_emulator_find(&Emulator, extension->number)) {
            result = vg730_device_open(device, now_ms(),
                                       extension->kind == ExclusiveObject ? VG730_OBJECT_EXCLUSIVE
                                                                          : VG730_OBJECT_INFO,
                                       &handle);
        }
    }
    if (result == VG730_OK && stack->FileObject != nullptr) {
        // The handle's life is kept with the file object; FsContext2 non-zero marks it open.
        stack->FileObject->FsContext =
            reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(handle.incarnation));
        stack->FileObject->FsContext2 =
            reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(handle.object + 1));
    }
    return complete(irp, open_status(result), 0);
}

bool handle_of(PFILE_OBJECT file, Vg730Handle* handle) {
    if (file == nullptr || file->FsContext2 == nullptr) {
        return false;
    }
    handle->incarnation = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(file->FsContext));
    handle->object = static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(file->FsContext2) - 1);
    return true;
}

NTSTATUS dispatch_close(PDEVICE_OBJECT object, PIRP irp) {
    const auto* extension = static_cast<const ObjectExtension*>(object->DeviceExtension);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    Vg730Handle handle;
    if (extension->kind != ControlObject && handle_of(stack->FileObject, &handle)) {
        EmulatorGuard guard;
        if (Vg730Device* device = vg730_emulator_find(&Emulator, extension->number)) {
            vg730_device_close(device, &handle);
        }
        stack->FileObject->FsContext2 = nullptr;
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
            create_missing_objects();
        } else if (Vg730Device* device = vg730_emulator_find(&Emulator, extension->number)) {
            Vg730Handle handle;
            if (handle_of(stack->FileObject, &handle)) {
                result =
                    vg730_device_ioctl(device, &handle, now_ms(), code, buffer, size, &returned);
                latency_us = vg730_device_latency_us(device);
            }
        }
    }
    if (latency_us != 0) {
        LARGE_INTEGER interval;
        interval.QuadPart = -static_cast<LONGLONG>(latency_us) * 10; // relative, 100 ns units
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
    }
    return complete(irp, request_status(result), result == VG730_OK ? returned : 0);
}

void delete_object(PDEVICE_OBJECT& object, const WCHAR* link_prefix, LONG number,
                   const WCHAR* suffix) {
    if (object != nullptr) {
        ObjectName link(link_prefix, number, suffix);
        IoDeleteSymbolicLink(&link.string);
        IoDeleteDevice(object);
        object = nullptr;
    }
}

void unload(PDRIVER_OBJECT) {
    for (ULONG number = 0; number <= VG730_MAX_DEVICE_NUMBER; ++number) {
        delete_object(GatewayObjects[number][0], L"\\??\\Quorvelxlink", static_cast<LONG>(number),
                      L".info");
        delete_object(GatewayObjects[number][1], L"\\??\\Quorvelxlink", static_cast<LONG>(number),
                      L".exclusive");
    }
    delete_object(ControlDevice, L"\\??\\Vg730EmuControl", -1, L"");
}

} // namespace

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    Driver = driver;
    KeInitializeMutex(&EmulatorLock, 0);
    KeQueryPerformanceCounter(&CounterFrequency);
    vg730_emulator_init(&Emulator);

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
    return STATUS_SUCCESS;
}
