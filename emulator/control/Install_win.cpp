// Windows side: installing the emulator into the running prefix: library files in the system
// folder (and the 32-bit ones in the 32-bit system folder, for 32-bit programs), the driver as a
// kernel service, the driver package version in the registry.
#include "EmulatorControl.h"

#include "ExportTableEdit.h"
#include "WinApi.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

namespace vg730emu {

namespace {

namespace fs = std::filesystem;

const wchar_t ServiceName[] = L"vg730emu";
const wchar_t PackageKey[] = L"Software\\Tolvak-Quorvel\\VARedidod";

// Built next to vg730emu.exe (the 32-bit ones in its subfolder x86); installed under the names
// the product looks for.
const wchar_t CanLibrarySource[] = L"vg730canlib.dll";
const wchar_t CompanionSource[] = L"vg730alapw2.dll";
const wchar_t DriverSource[] = L"vg730emu.sys";
const wchar_t GenericLibrary[] = L"VNCOMM32.dll";

struct LibraryPair {
    const wchar_t* library;
    const wchar_t* companion;
};
const LibraryPair CurrentPair = {L"quorvelvncomm32.dll", L"quorvelvnalapw2.dll"};
const LibraryPair LegacyPair = {L"tolvakquorvelvncomm32.dll", L"tolvakquorvelvnalapw2.dll"};

struct ServiceHandleTraits {
    using Type = SC_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseServiceHandle(h); }
};
using UniqueServiceHandle = UniqueResource<ServiceHandleTraits>;

std::string last_error_text(const std::string& what) {
    const DWORD code = GetLastError();
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return what + ": " + message + " (error " + std::to_string(code) + ")";
}

fs::path program_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw EmulatorError(last_error_text("cannot find the program's own folder"));
        }
        if (length < path.size()) {
            path.resize(length);
            return fs::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

fs::path system_folder() {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        throw EmulatorError(last_error_text("cannot find the system folder"));
    }
    return fs::path(std::wstring(path, length));
}

// The system folder of 32-bit programs (syswow64), when the prefix has a 32-bit half.
std::optional<fs::path> system_folder_32() {
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemWow64DirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::nullopt;
    }
    const fs::path folder(std::wstring(path, length));
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return std::nullopt;
    }
    return folder;
}

// Where the library files of each architecture come from and go to. The 32-bit ones are there
// only when the 32-bit build put them beside this program.
struct LibraryFolders {
    fs::path source;
    fs::path system;
    bool optional;
};

std::vector<LibraryFolders> library_folders() {
    std::vector<LibraryFolders> folders = {{program_folder(), system_folder(), false}};
    if (std::optional<fs::path> system32 = system_folder_32()) {
        folders.push_back({program_folder() / L"x86", *system32, true});
    }
    return folders;
}

std::vector<std::uint8_t> read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw EmulatorError("cannot read " + path.string() +
                            " (is the emulator built next to this program?)");
    }
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

bool same_content(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::error_code error;
    if (!fs::exists(path, error) || fs::file_size(path, error) != bytes.size()) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> present((std::istreambuf_iterator<char>(file)), {});
    return present == bytes;
}

// Puts the bytes in place under the name unless they are there already. A new file replaces
// the old one by renaming, which works also while some process has the old one loaded.
void place_file(const fs::path& target, const std::vector<std::uint8_t>& bytes) {
    if (same_content(target, bytes)) {
        return;
    }
    fs::path temporary = target;
    temporary += L".vg730emu-new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        if (!file.flush()) {
            throw EmulatorError("cannot write " + temporary.string());
        }
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const std::string message = last_error_text("cannot put " + target.string() + " in place");
        DeleteFileW(temporary.c_str());
        throw EmulatorError(message);
    }
}

void remove_file(const fs::path& target) {
    if (!DeleteFileW(target.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        throw EmulatorError(last_error_text("cannot remove " + target.string()));
    }
}

void remove_library_files(const fs::path& system) {
    remove_file(system / GenericLibrary);
    for (const LibraryPair* pair : {&CurrentPair, &LegacyPair}) {
        remove_file(system / pair->library);
        remove_file(system / pair->companion);
    }
}

void install_library_files(const fs::path& source, const fs::path& system,
                           const InstallOptions& options) {
    std::vector<std::uint8_t> library = read_file(source / CanLibrarySource);
    if (!options.missingEntries.empty()) {
        try {
            library = RemoveExportNames(std::move(library), options.missingEntries);
        } catch (const ImageFormatError& error) {
            throw EmulatorError(std::string("cannot leave entries out of the library: ") +
                                error.what());
        }
    }
    const std::vector<std::uint8_t> companion = read_file(source / CompanionSource);
    place_file(system / GenericLibrary, library);
    for (const LibraryPair* pair : {&CurrentPair, &LegacyPair}) {
        const bool wanted = options.gatewayDll && (pair == &LegacyPair) == options.legacyDll;
        if (wanted) {
            place_file(system / pair->library, library);
            place_file(system / pair->companion, companion);
        } else {
            remove_file(system / pair->library);
            remove_file(system / pair->companion);
        }
    }
}

void install_library_files(const InstallOptions& options) {
    for (const LibraryFolders& folders : library_folders()) {
        std::error_code error;
        if (folders.optional && !fs::exists(folders.source / CanLibrarySource, error)) {
            // None of an earlier install is left for a program to load.
            remove_library_files(folders.system);
            continue;
        }
        install_library_files(folders.source, folders.system, options);
    }
}

SERVICE_STATUS query_status(SC_HANDLE service) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        throw EmulatorError(last_error_text("cannot ask the driver service for its state"));
    }
    return status;
}

// Polls until the service is in the state, for at most ten seconds.
void wait_for_state(SC_HANDLE service, DWORD state, const char* what) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (query_status(service).dwCurrentState != state) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw EmulatorError(std::string("the driver service did not ") + what + " within 10 s");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void stop_service(SC_HANDLE service) {
    if (query_status(service).dwCurrentState == SERVICE_STOPPED) {
        return;
    }
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        throw EmulatorError(last_error_text("cannot stop the driver service"));
    }
    wait_for_state(service, SERVICE_STOPPED, "stop");
}

UniqueServiceHandle open_manager() {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        throw EmulatorError(last_error_text("cannot open the service control manager"));
    }
    return manager;
}

// The control object appears a moment after the service reports running.
void wait_for_control_object() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        try {
            EmulatorControl probe;
            return;
        } catch (const EmulatorError&) {
            if (std::chrono::steady_clock::now() > deadline) {
                throw;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void install_driver() {
    const std::vector<std::uint8_t> driver = read_file(program_folder() / DriverSource);
    const fs::path target = system_folder() / L"drivers" / DriverSource;
    UniqueServiceHandle manager = open_manager();
    UniqueServiceHandle service(OpenServiceW(manager.get(), ServiceName, SERVICE_ALL_ACCESS));
    if (!same_content(target, driver)) {
        if (service) {
            stop_service(service.get()); // a new build: the old one must let go of its file
        }
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        place_file(target, driver);
    }
    if (!service) {
        service.reset(CreateServiceW(manager.get(), ServiceName, L"VG730 emulator driver",
                                     SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, target.c_str(),
                                     nullptr, nullptr, nullptr, nullptr, nullptr));
        if (!service) {
            throw EmulatorError(last_error_text("cannot register the driver service"));
        }
    }
    if (query_status(service.get()).dwCurrentState != SERVICE_RUNNING) {
        if (!StartServiceW(service.get(), 0, nullptr) &&
            GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
            throw EmulatorError(last_error_text("cannot start the driver service"));
        }
        wait_for_state(service.get(), SERVICE_RUNNING, "start");
    }
    wait_for_control_object();
}

} // namespace

void SetDriverPackageVersion(const std::optional<std::string>& version) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        if (!version) {
            const LONG rc = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, PackageKey, view, 0);
            if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
                SetLastError(static_cast<DWORD>(rc));
                throw EmulatorError(last_error_text("cannot remove the driver package key"));
            }
            continue;
        }
        UniqueHKey key;
        LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, PackageKey, 0, nullptr, 0,
                                  KEY_SET_VALUE | view, nullptr, key.put(), nullptr);
        if (rc == ERROR_SUCCESS) {
            const std::wstring text(version->begin(), version->end());
            rc = RegSetValueExW(key.get(), L"Version", 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
        if (rc != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(rc));
            throw EmulatorError(last_error_text("cannot write the driver package version"));
        }
    }
}

void Install(const InstallOptions& options) {
    install_library_files(options);
    install_driver();
    SetDriverPackageVersion(options.driverVersion);
}

void Uninstall() {
    UniqueServiceHandle manager = open_manager();
    UniqueServiceHandle service(OpenServiceW(manager.get(), ServiceName, SERVICE_ALL_ACCESS));
    if (service) {
        stop_service(service.get());
        if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
            throw EmulatorError(last_error_text("cannot delete the driver service"));
        }
    }
    remove_file(system_folder() / L"drivers" / DriverSource);
    for (const LibraryFolders& folders : library_folders()) {
        remove_library_files(folders.system);
    }
}

void ResetEmulator() {
    EmulatorControl().Reset();
    install_library_files(InstallOptions{});
    SetDriverPackageVersion(DefaultDriverPackageVersion);
}

} // namespace vg730emu
