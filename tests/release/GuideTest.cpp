// The user's guide says what the programs say: every message it quotes on a line of its own is
// made of texts the programs contain. What a program puts into a message at run time is written
// <like this> in the guide, or is a version number or the program's title, and is found in the
// programs on its own.
#include "ProgramsUnderTest.h"
#include "UniversalTypesUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The texts of a program file: runs of printable characters, 8-bit and UTF-16.
std::vector<std::string> TextsOf(const std::string& bytes) {
    std::vector<std::string> texts;
    auto printable = [](unsigned char c) {
        return c == '\t' || c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F);
    };
    std::string run;
    for (unsigned char c : bytes) {
        if (printable(c)) {
            run += static_cast<char>(c);
        } else {
            if (run.size() >= 3) {
                texts.push_back(run);
            }
            run.clear();
        }
    }
    for (size_t start = 0; start < 2; ++start) {
        run.clear();
        for (size_t i = start; i + 1 < bytes.size(); i += 2) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (bytes[i + 1] == 0 && printable(c)) {
                run += static_cast<char>(c);
            } else {
                if (run.size() >= 3) {
                    texts.push_back(run);
                }
                run.clear();
            }
        }
    }
    return texts;
}

// The guide of the package under test, or the one in the sources.
std::filesystem::path GuidePath() {
    const std::filesystem::path packaged = programs::Folder() / "README.txt";
    return std::filesystem::exists(packaged) ? packaged : std::filesystem::path(VG_GUIDE_SOURCE);
}

// Lines that are one quoted message: the text between the quotes.
std::vector<std::string> QuotedMessages(const std::string& guide) {
    std::vector<std::string> messages;
    static const std::regex line(R"re(^[ \t]*"([^"]+)"\r?$)re");
    std::istringstream in(guide);
    for (std::string text; std::getline(in, text);) {
        std::smatch match;
        if (std::regex_match(text, match, line)) {
            messages.push_back(match[1]);
        }
    }
    return messages;
}

TEST(Guide, QuotesOnlyWhatTheProgramsSay) {
    std::vector<std::string> texts;
    for (const char* program : {"VG730FirmwareUpdate.exe", "vessa_flash.exe"}) {
        const std::string bytes = ReadFile(programs::Folder() / program);
        ASSERT_FALSE(bytes.empty()) << program;
        const std::vector<std::string> found = TextsOf(bytes);
        texts.insert(texts.end(), found.begin(), found.end());
    }
    auto contained = [&](const std::string& piece) {
        for (const std::string& text : texts) {
            if (text.find(piece) != std::string::npos) {
                return true;
            }
        }
        return false;
    };

    const std::string guide = ReadFile(GuidePath());
    const std::vector<std::string> messages = QuotedMessages(guide);
    // The results and what the flash programmer asks are among them.
    for (const char* expected : {"Firmware update complete.", "Firmware update failed.",
                                 "The firmware was NOT updated."}) {
        EXPECT_NE(std::find(messages.begin(), messages.end(), expected), messages.end())
            << "the guide does not quote \"" << expected << "\"";
    }
    static const std::regex inserted(R"re(<[^>]*>|\b\d+\.\d+\.\d+\b|VG730 Firmware Update)re");
    for (const std::string& message : messages) {
        SCOPED_TRACE(message);
        std::sregex_token_iterator piece(message.begin(), message.end(), inserted, {-1, 0});
        for (; piece != std::sregex_token_iterator(); ++piece) {
            const std::string text = *piece;
            if (text.empty() || text.front() == '<') {
                continue;
            }
            EXPECT_TRUE(contained(text)) << "\"" << text << "\" is in neither program";
        }
    }
}

} // namespace
