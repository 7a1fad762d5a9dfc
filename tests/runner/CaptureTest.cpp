// Windows side (tests): the runner on real processes and pipes. The children are this test
// binary in one of its child roles, so every case knows the exact bytes the child wrote.
#include "ExeUnit.h"
#include "RunnerChild.h"
#include "WinHandles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Limits for children that end by themselves: long enough never to be reached.
const TRunLimits Unreached{30s, 60s, 1s};

const wchar_t* ModeName(bool inBackground) {
    return inBackground ? L"in background" : L"on the calling thread";
}

struct OutputCase {
    const char* Name;
    std::wstring Args; // child role and its arguments
    bool Result;
    std::vector<std::wstring> Lines; // the list afterwards; it held "before"
};

class RunnerOutput : public testing::TestWithParam<OutputCase> {};

TEST_P(RunnerOutput, DeliversWhatTheChildWrote) {
    const OutputCase& c = GetParam();
    for (const bool inBackground : {false, true}) {
        TStrings lines{L"before"};
        EXPECT_EQ(RunDOSCommand(ChildCommandLine(c.Args), L"", lines, inBackground, Unreached),
                  c.Result)
            << ModeName(inBackground);
        EXPECT_EQ(lines.Lines(), c.Lines) << ModeName(inBackground);
    }
}

std::wstring Write(std::initializer_list<std::string_view> blocks, int pauseMs = 0) {
    std::wstring args = L"write " + std::to_wstring(pauseMs);
    for (std::string_view block : blocks) {
        args += L" " + Hex(block);
    }
    return args;
}

using namespace std::string_view_literals;

const OutputCase OutputCases[] = {
    {"CrLf", Write({"a\r\nb\r\n"}), true, {L"a", L"b"}},
    {"LoneLf", Write({"a\nb"}), true, {L"a", L"b"}},
    {"LoneCr", Write({"a\rb"}), true, {L"a", L"b"}},
    {"EmptyLinesKept", Write({"\r\n\r\nx\r\n"}), true, {L"", L"", L"x"}},
    {"ZeroByteInsideABlock", Write({"ab\0cd\r\nef\r\n"sv}), true, {L"abcd", L"ef"}},
    {"CrLfSplitBetweenWrites", Write({"a\r", "\nb"}, 100), true, {L"a", L"b"}},
    {"NoOutput", L"write 0", false, {L"before", L"readFile failed; errorflag = 109"}},
    {"OnlyStandardError",
     L"stderr " + Hex("lost\r\n"),
     false,
     {L"before", L"readFile failed; errorflag = 109"}},
    {"OnlyZeroBytes", Write({"\0\0"sv}), false, {L"before", L"readFile failed; errorflag = 109"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, RunnerOutput, testing::ValuesIn(OutputCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Lines of 100 bytes written in pieces that end inside a line, so that the reads of the runner
// cannot fall on line ends.
TEST(RunnerBlocks, OutputOverSeveralBlocksJoinsWithoutGaps) {
    std::string all;
    std::vector<std::wstring> expected;
    for (int i = 0; i < 120; ++i) {
        std::string line = "line " + std::to_string(i) + " ";
        line.resize(98, static_cast<char>('a' + i % 26));
        expected.emplace_back(line.begin(), line.end());
        all += line + "\r\n";
    }
    // 4090 and 4100 bytes: each piece ends in the middle of a line; the pause makes the runner
    // read the pieces apart.
    const std::string_view bytes(all);
    std::wstring args =
        Write({bytes.substr(0, 4090), bytes.substr(4090, 4100), bytes.substr(8190)}, 150);
    TStrings lines;
    ASSERT_TRUE(RunDOSCommand(ChildCommandLine(args), L"", lines, true, Unreached));
    EXPECT_EQ(lines.Lines(), expected);
}

TEST(RunnerText, OutputIsReadInTheAnsiCodePage) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the case is written for code page 1252, this system uses " << GetACP();
    }
    TStrings lines;
    ASSERT_TRUE(RunDOSCommand(ChildCommandLine(Write({"gr\xfc\xdf \x80\r\n"})), L"", lines, true,
                              Unreached));
    EXPECT_EQ(lines.Lines(), std::vector<std::wstring>{L"gr\u00fc\u00df \u20ac"});
}

// The flash programmer writes UTF-8, so a folder named in any script reads as it is named.
TEST(RunnerText, OutputInUtf8IsReadAsUtf8) {
    TStrings lines;
    ASSERT_TRUE(RunDOSCommand(
        ChildCommandLine(Write({"C:\\Users\\\xc5\x81ukasz\\\xe5\xbc\xa0\xe4\xbc\x9f\r\n"})), L"",
        lines, true, Unreached));
    EXPECT_EQ(lines.Lines(), std::vector<std::wstring>{L"C:\\Users\\\u0141ukasz\\\u5f20\u4f1f"});
}

// A folder of the test's own below the temporary folder, removed with what it holds.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name) {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, temp);
        FPath = std::wstring(temp) + name + L" " + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(FPath.c_str(), nullptr);
    }
    ~TempFolder() {
        for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) {
            DeleteFileW(it->c_str());
        }
        for (auto it = FFolders.rbegin(); it != FFolders.rend(); ++it) {
            RemoveDirectoryW(it->c_str());
        }
        RemoveDirectoryW(FPath.c_str());
    }
    const std::wstring& Path() const { return FPath; }
    // A copy of this binary under Name.
    std::wstring CopyOfThisProgram(const std::wstring& name) {
        const std::wstring target = FPath + L"\\" + name;
        EXPECT_TRUE(CopyFileW(OwnExePath().c_str(), target.c_str(), FALSE)) << GetLastError();
        FFiles.push_back(target);
        return target;
    }
    // Nested folders below this one until the path is exactly Length characters long.
    std::wstring FolderOfLength(size_t length) {
        std::wstring path = FPath;
        while (path.size() < length) {
            const size_t room = length - path.size() - 1; // one for the delimiter
            path += L"\\" + std::wstring(std::min<size_t>(room, 40), L'd');
            if (!CreateDirectoryW(path.c_str(), nullptr)) {
                ADD_FAILURE() << "cannot create a folder of length " << path.size() << ": "
                              << GetLastError();
            }
            FFolders.push_back(path);
        }
        return path;
    }

private:
    std::wstring FPath;
    std::vector<std::wstring> FFiles;
    std::vector<std::wstring> FFolders;
};

std::wstring CurrentDirectory() {
    wchar_t dir[MAX_PATH + 1] = {};
    return std::wstring(dir, GetCurrentDirectoryW(MAX_PATH, dir));
}

TEST(RunnerStart, UnquotedProgramPathWithBlanks) {
    TempFolder folder(L"runner blanks");
    const std::wstring program = folder.CopyOfThisProgram(L"child program.exe");
    ASSERT_NE(program.find(L' '), std::wstring::npos);
    TStrings lines;
    EXPECT_TRUE(
        RunDOSCommand(program + L" --child " + Write({"ok\r\n"}), L"", lines, true, Unreached));
    EXPECT_EQ(lines.Lines(), std::vector<std::wstring>{L"ok"});
}

TEST(RunnerStart, MissingProgramReportsFileNotFound) {
    std::wstring folder = OwnExePath();
    folder.resize(folder.rfind(L'\\') + 1);
    TStrings lines{L"before"};
    EXPECT_FALSE(RunDOSCommand(folder + L"no_such_program.exe -C0", L"", lines, true, Unreached));
    EXPECT_EQ(lines.Lines(),
              (std::vector<std::wstring>{L"before", L"readFile failed; errorflag = 2"}));
}

// The child echoes its command line and working directory: both must arrive whole.
struct PassedCase {
    const char* Name;
    size_t CommandLineLength; // padded with an argument of z's up to this length
    size_t WorkDirLength;     // 0: the caller's current directory
};

class RunnerPassesWhole : public testing::TestWithParam<PassedCase> {};

TEST_P(RunnerPassesWhole, CommandLineAndWorkingDirectory) {
    const PassedCase& c = GetParam();
    TempFolder folder(L"runner dir");
    std::wstring commandLine = ChildCommandLine(L"echo ");
    ASSERT_LT(commandLine.size(), c.CommandLineLength);
    commandLine.resize(c.CommandLineLength, L'z');
    const std::wstring workDir = c.WorkDirLength ? folder.FolderOfLength(c.WorkDirLength) : L"";
    ASSERT_EQ(workDir.size(), c.WorkDirLength);

    TStrings lines;
    ASSERT_TRUE(RunDOSCommand(commandLine, workDir, lines, true, Unreached));
    ASSERT_EQ(lines.Count(), 2u);
    EXPECT_EQ(lines[0], commandLine);
    EXPECT_EQ(lines[1], c.WorkDirLength ? workDir : CurrentDirectory());
}

const PassedCase PassedCases[] = {
    {"Short", 200, 0},
    {"CommandLineBeyond512", 3000, 0},
    {"LongestCommandLine", MaxCommandLineLength, 0},
    {"WorkDirBeyond255", 300, 257},
    {"LongestWorkDir", 300, MaxWorkDirLength},
};

INSTANTIATE_TEST_SUITE_P(Cases, RunnerPassesWhole, testing::ValuesIn(PassedCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// What the system cannot take is refused with its own error code, never cut.
TEST(RunnerStart, TooLongForTheSystemIsRefused) {
    TempFolder folder(L"runner dir");
    std::wstring longCommand = ChildCommandLine(L"echo ");
    longCommand.resize(MaxCommandLineLength + 1, L'z');
    const std::wstring longDir = folder.FolderOfLength(MaxWorkDirLength + 1);
    const struct {
        std::wstring CommandLine;
        std::wstring WorkDir;
    } cases[] = {{longCommand, L""}, {ChildCommandLine(L"echo"), longDir}};
    for (const auto& c : cases) {
        TStrings lines{L"before"};
        EXPECT_FALSE(RunDOSCommand(c.CommandLine, c.WorkDir, lines, true, Unreached));
        EXPECT_EQ(lines.Lines(),
                  (std::vector<std::wstring>{L"before", L"readFile failed; errorflag = 206"}))
            << "command line " << c.CommandLine.size() << ", folder " << c.WorkDir.size();
    }
}

// Children that do not end by themselves, stopped by short limits.
struct StopCase {
    const char* Name;
    std::wstring Args;
    TRunLimits Limits;
    std::vector<std::wstring> Leading; // the first lines, after the "pid N" lines
    std::wstring Last;
};

class RunnerStops : public testing::TestWithParam<StopCase> {};

// A child that wrote "lent N" gave this process handle N: it is closed here.
void CloseLentHandles(const TStrings& lines) {
    for (const std::wstring& line : lines.Lines()) {
        if (line.rfind(L"lent ", 0) == 0) {
            EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(std::stoull(line.substr(5)))));
        }
    }
}

// Every process that wrote "pid N" must be gone once the run is over.
void ExpectProcessesGone(const TStrings& lines) {
    for (const std::wstring& line : lines.Lines()) {
        if (line.rfind(L"pid ", 0) != 0) {
            continue;
        }
        const DWORD pid = std::stoul(line.substr(4));
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (process) {
            EXPECT_EQ(WaitForSingleObject(process.get(), 5000), WAIT_OBJECT_0)
                << "process " << pid << " still runs after the run";
        }
    }
}

TEST_P(RunnerStops, EndsTheChildAndKeepsWhatItWrote) {
    const StopCase& c = GetParam();
    TStrings lines{L"before"};
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(RunDOSCommand(ChildCommandLine(c.Args), L"", lines, true, c.Limits));
    const ULONGLONG elapsed = GetTickCount64() - start;
    CloseLentHandles(lines);
    ExpectProcessesGone(lines);

    std::vector<std::wstring> rest;
    std::copy_if(lines.Lines().begin(), lines.Lines().end(), std::back_inserter(rest),
                 [](const std::wstring& line) {
                     return line.rfind(L"pid ", 0) != 0 && line.rfind(L"lent ", 0) != 0;
                 });
    ASSERT_GT(rest.size(), c.Leading.size());
    EXPECT_EQ(std::vector<std::wstring>(rest.begin(), rest.begin() + c.Leading.size()), c.Leading);
    EXPECT_EQ(rest.back(), c.Last);
    // Ends about when a limit is passed, far before the child would end by itself.
    EXPECT_LT(elapsed, ChildLifetimeBound / 2) << "the run was not stopped";
}

const TRunLimits ShortSilence{1500ms, 30s, 500ms};
const TRunLimits ShortTotal{10s, 2s, 500ms};

const StopCase StopCases[] = {
    {"ChildGoesSilent",
     L"silent " + Hex("one\r\ntwo"),
     ShortSilence,
     {L"one", L"two"},
     L"The program was stopped: it wrote no output for 1.5 seconds."},
    {"ChildNeverEnds",
     L"chatter",
     ShortTotal,
     {L"tick 0", L"tick 1", L"tick 2"},
     L"The program was stopped: it was still running after 2 seconds."},
    {"GrandchildHoldsTheOutput",
     L"spawn " + Hex("grandchild\r\n"),
     ShortSilence,
     {L"parent done", L"grandchild"},
     L"The program was stopped: it wrote no output for 1.5 seconds."},
    {"ChildClosesItsOutputAndLivesOn",
     L"closeout",
     ShortSilence,
     {L"bye"},
     L"The program was stopped: it wrote no output for 1.5 seconds."},
    // Here no process can be ended to close the pipe: the read is broken off instead.
    {"OutputHeldOpenBeyondReach",
     L"lend " + std::to_wstring(GetCurrentProcessId()) + L" " + Hex("held open\r\n"),
     ShortSilence,
     {L"held open"},
     L"The program was stopped: it wrote no output for 1.5 seconds."},
};

INSTANTIATE_TEST_SUITE_P(Cases, RunnerStops, testing::ValuesIn(StopCases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace

namespace {

// The handles this process holds, counted by asking the system about each possible value
// (GetProcessHandleCount is not reliable everywhere: Wine always answers 0).
size_t OpenHandleCount() {
    size_t count = 0;
    for (uintptr_t value = 4; value < (1u << 16); value += 4) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    }
    return count;
}

// Pipe ends, the child's process and thread, its job, the worker's thread: all closed after
// each run, also after a stopped one. A handle kept per run grows the count in every batch of
// runs; the system's own handles come now and then (one has been seen) and at a time of their
// choosing, so at most in some batches. The batch that grew least must not have grown.
struct HandleCase {
    const char* Name;
    std::wstring Args;
    bool InBackground;
    bool EndsByItself;
};

class RunnerHandles : public testing::TestWithParam<HandleCase> {};

TEST_P(RunnerHandles, NoneLeftOpenAfterRuns) {
    constexpr size_t Batches = 3;
    constexpr size_t RunsPerBatch = 4;
    const HandleCase& c = GetParam();
    const TRunLimits limits = c.EndsByItself ? Unreached : TRunLimits{500ms, 30s, 200ms};
    const std::wstring command = ChildCommandLine(c.Args);
    TStrings lines;
    // The first run may set up what the process keeps for good (console, threads).
    RunDOSCommand(command, L"", lines, c.InBackground, limits);
    std::vector<long long> growth;
    for (size_t batch = 0; batch < Batches; ++batch) {
        const size_t before = OpenHandleCount();
        ASSERT_GT(before, 0u);
        for (size_t i = 0; i < RunsPerBatch; ++i) {
            // A stopped run's result depends on how far the child got; its handles do not.
            const bool result = RunDOSCommand(command, L"", lines, c.InBackground, limits);
            if (c.EndsByItself) {
                ASSERT_TRUE(result);
            }
        }
        growth.push_back(static_cast<long long>(OpenHandleCount()) -
                         static_cast<long long>(before));
    }
    EXPECT_LE(*std::min_element(growth.begin(), growth.end()), 0)
        << "handles grew by " << testing::PrintToString(growth) << " in batches of " << RunsPerBatch
        << " runs";
}

const HandleCase HandleCases[] = {
    {"EndingByItself", Write({"x\r\n"}), true, true},
    {"EndingByItselfOnTheCallingThread", Write({"x\r\n"}), false, true},
    {"Stopped", L"silent " + Hex("y"), true, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, RunnerHandles, testing::ValuesIn(HandleCases),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
