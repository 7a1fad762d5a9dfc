// Windows side (tests): the runner's test binaries are their own child programs. Started with
// "--child ROLE ARGS...", a binary plays that role instead of running its tests.
#pragma once

#include "WinApi.h"

#include <string>
#include <string_view>

// A child never lives longer than this, even when nobody stops it.
inline constexpr DWORD ChildLifetimeBound = 60000;

// Whether the command line asks for a child role; if so, RunChildRole plays it.
bool IsChildInvocation(int argc, char** argv);
int RunChildRole(int argc, char** argv);

// The running binary's full path.
std::wstring OwnExePath();
// The command line that starts this binary in a child role: the quoted path, "--child" and Args.
std::wstring ChildCommandLine(const std::wstring& Args);

// Bytes as hexadecimal digits, the form the roles take their output in.
std::wstring Hex(std::string_view Bytes);
