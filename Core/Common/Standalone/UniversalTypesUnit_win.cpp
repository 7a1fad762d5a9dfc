// Windows side of UniversalTypesUnit: registry readers, folders and the debugger trace.
#include "UniversalTypesUnit.h"
#include "WinHandles.h"

#include <vector>

namespace {

constexpr REGSAM RegistryReadAccess = 0x20019; // KEY_READ

// Reads one value's bytes; false on any failure. The value may change between the size query
// and the read, so a grown value is asked for again.
bool QueryValueBytes(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& bytes) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return false;
        }
        bytes.assign(size, 0);
        const LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                         size ? bytes.data() : nullptr, &size);
        if (rc == ERROR_SUCCESS) {
            bytes.resize(size);
            return true;
        }
        if (rc != ERROR_MORE_DATA) {
            return false;
        }
    }
    return false;
}

// The text a value holds: its UTF-16 units up to the first NUL, or all of them when it has none.
// An odd trailing byte belongs to no character and is dropped.
std::wstring TextOfValueBytes(const std::vector<BYTE>& bytes) {
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) {
        memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    }
    const size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) {
        text.resize(nul);
    }
    return text;
}

} // namespace

std::wstring ReadRegistryString(HKEY Root, const std::wstring& KeyPath,
                                const std::wstring& ValueName) {
    UniqueHKey key;
    if (RegOpenKeyExW(Root, KeyPath.c_str(), 0, RegistryReadAccess, key.put()) != ERROR_SUCCESS) {
        return {};
    }
    DWORD type = 0;
    std::vector<BYTE> bytes;
    if (!QueryValueBytes(key.get(), ValueName, type, bytes)) {
        return {};
    }
    return TextOfValueBytes(bytes);
}

std::wstring ReadRegistryStringStrict(HKEY Root, const std::wstring& KeyPath,
                                      const std::wstring& ValueName, uint8_t View) {
    REGSAM access = RegistryReadAccess;
    if (View == RegistryView64) {
        access |= KEY_WOW64_64KEY;
    } else if (View == RegistryView32) {
        access |= KEY_WOW64_32KEY;
    }
    UniqueHKey key;
    if (RegOpenKeyExW(Root, KeyPath.c_str(), 0, access, key.put()) != ERROR_SUCCESS) {
        throw ERegistryException(L"Key not found: " + KeyPath);
    }
    DWORD type = 0;
    std::vector<BYTE> bytes;
    if (!QueryValueBytes(key.get(), ValueName, type, bytes)) {
        throw ERegistryException(L"Name not found: " + KeyPath + L"\\" + ValueName);
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        throw ERegistryException(L"Invalid data type for '" + ValueName + L"'");
    }
    return TextOfValueBytes(bytes);
}

namespace {

std::wstring WithTrailingDelimiter(std::wstring path) {
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') {
        path += L'\\';
    }
    return path;
}

std::wstring QueryExeFileName() {
    // Long paths are allowed: grow the buffer until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return {};
        }
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

const std::wstring& GetSystemFolder() {
    static const std::wstring folder = [] {
        wchar_t buffer[MAX_PATH + 1] = {};
        const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
        return WithTrailingDelimiter(n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : L"");
    }();
    return folder;
}

const std::wstring& GetExeFileName() {
    static const std::wstring name = QueryExeFileName();
    return name;
}

const std::wstring& GetExeFolder() {
    static const std::wstring folder = [] {
        const std::wstring& name = GetExeFileName();
        const size_t slash = name.find_last_of(L"\\/");
        return slash == std::wstring::npos ? std::wstring() : name.substr(0, slash + 1);
    }();
    return folder;
}

bool FileExists(const std::wstring& Path) {
    const DWORD attributes = GetFileAttributesW(Path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FormatDebugTraceLine(const std::wstring& Text, const SYSTEMTIME& LocalTime) {
    wchar_t separator[8] = L":";
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, separator, 8) == 0) {
        separator[0] = L':';
        separator[1] = L'\0';
    }
    wchar_t time[64] = {};
    swprintf(time, 64, L"%02u%ls%02u%ls%02u.%03u", LocalTime.wHour, separator, LocalTime.wMinute,
             separator, LocalTime.wSecond, LocalTime.wMilliseconds);
    return L"(Quorvel) " + std::wstring(time) + L" " + Text;
}

void DebugTrace(const std::wstring& Text, bool Enabled) {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    const std::wstring line = FormatDebugTraceLine(Text, now);
    if (Enabled) {
        OutputDebugStringW(line.c_str());
    }
}

std::wstring ThroughAnsiCodePage(const std::wstring& text) {
    if (text.empty()) {
        return text;
    }
    const int n = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), n, ansi.data(), bytes, nullptr, nullptr);
    const int chars = MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
    std::wstring back(static_cast<size_t>(std::max(chars, 0)), L'\0');
    if (chars > 0) {
        MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, back.data(), chars);
    }
    return back;
}
