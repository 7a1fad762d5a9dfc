// Portable: the updater's text helpers: trimming, splitting and fields, whole-text numbers, and
// UTF-8 to and from the UTF-16 text the updater holds.
#pragma once

#include "ExeUnitStrings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- trimming, splitting and fields ------------------------------------------------------------

// Text without its leading and trailing blanks and control characters.
std::wstring Trim(std::wstring_view Text);

// Appends the pieces of Text between separators to List and returns List's count afterwards
// (earlier entries included); 0 and nothing done without a list. The last piece is appended
// only when it is not empty. With TrimParts each piece loses leading and trailing blanks and
// control characters.
int SplitString(const std::wstring& Text, wchar_t Separator, TStrings* List, bool TrimParts);
// Field Index (from 1) of Text between separators; the last field runs to the end. Empty when
// Index is below 1 or Text has fewer than Index-1 separators.
std::wstring GetField(const std::wstring& Text, int Index, wchar_t Separator);

// The pieces of Text between every Separator, empty ones included: n separators give n + 1
// pieces (so an empty text gives one empty piece).
std::vector<std::wstring> SplitAtEvery(const std::wstring& Text, wchar_t Separator);

// ---- numbers -----------------------------------------------------------------------------------

// Whole-text decimal integers with an optional sign, no blanks; failure is reported in the
// result.
bool TryTextToInt64(const std::wstring& text, int64_t& value);
bool TryTextToInt32(const std::wstring& text, int32_t& value);
// Raises EConvertError "'<text>' is not a valid integer value" when the text is no 32-bit integer.
int32_t StrToInt(const std::wstring& text);
// Whole decimal text from 0 to 255; false (and Value 0) otherwise.
bool TryTextToByte(const std::wstring& Text, uint8_t& Value);

// ---- UTF-8 and UTF-16 --------------------------------------------------------------------------

// Conversions between the updater's UTF-16 text and UTF-8 (used for messages and tests).
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values beyond
// U+10FFFF). Plain ASCII is.
bool IsUtf8(std::string_view Bytes);
