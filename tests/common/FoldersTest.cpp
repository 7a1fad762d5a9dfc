// The system and program folders as the platform reports them.
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

namespace {

TEST(Folders, SystemFolderEndsWithADelimiter) {
    wchar_t buffer[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(GetSystemFolder(), std::wstring(buffer, n) + L"\\");
    EXPECT_EQ(&GetSystemFolder(), &GetSystemFolder()) << "computed once";
}

TEST(Folders, ExeFolderHoldsTheRunningProgram) {
    const std::wstring& name = GetExeFileName();
    const std::wstring& folder = GetExeFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_EQ(name.substr(0, folder.size()), folder);
    EXPECT_EQ(name.substr(folder.size()), L"common_windows_tests.exe");
    EXPECT_NE(GetFileAttributesW(name.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
