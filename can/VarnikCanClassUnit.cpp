// Portable part of the back-ends: the creators' messages.
#include "VarnikCanClassUnit.h"

std::wstring VarnikDriverNotFoundMessage() {
    return L"Varnik driver not found.\r\n\r\nThe Varnik home page is:\r\n" +
           std::wstring(VarnikHomePage);
}

std::wstring Vg730DriverNotFoundMessage(const std::wstring& SetupProgram) {
    if (SetupProgram.empty()) {
        return L"VG730 driver not found.";
    }
    return L"VG730 driver not found.\r\n\r\nThe following file can be used to install the "
           L"driver:\r\n" +
           SetupProgram;
}
