// What the window shows, as text: the rows, the message boxes and the
// reports of the list's menu. All text is UTF-8; entry names are Latin-1
// bytes, a byte a character.
#pragma once

#include "archive/check.h"

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace brimlet {

// A message ending in a character above "." (a letter, a digit, "?" or ":")
// gets a "." appended; one ending in ".", "!", ")", ",", "-" or a blank, or
// an empty one, is shown as it is. On UTF-8 text the last byte decides as
// the last character would: every byte of a character past ASCII is above ".".
std::string messageWithPeriod(const std::string& message);

// A failure's message as text: UTF-8 where the bytes are valid UTF-8 (paths),
// Latin-1 for every other byte (entry names).
std::string messageText(std::string_view bytes);

// The text of a failure's box: the message, after the name of the file it is
// about where there is one ("/games/gta3.dir: File not found."), as
// brimlet-cli writes it.
std::string failureMessage(const std::exception& failure);

// What may be wrong with `name` as entry i's name, each to follow "the entry
// name "NAME"": its troubles (nameTroubleKinds), and another entry of that
// name (ignoring case), which the games never load. The window leaves out
// Latin-1 letters beyond ASCII (`withOutsideAscii` false): it shows and
// writes them by design. The user may go ahead.
std::vector<std::string> nameWarnings(const EntryTable& table, size_t i, std::string_view name, bool withOutsideAscii);
// The question the window asks before a rename with such warnings.
std::string renameQuestion(std::string_view name, const std::vector<std::string>& warnings);

// What row i of the entry list shows: the name, the size text, the icon.
std::string rowText(std::string_view name);
// The size as the format's 32-bit readers compute it: a span of 4 GiB or
// more wraps around. "0Kb", "2Kb", "1024Kb", ...
std::string sizeText(uint32_t sectorCount);
// The list icon for a row's text: by its lower-cased extension (".txd",
// ".dff", ".col", ".ifp": 0 to 3), or -1.
int iconIndexFor(std::string_view name);

// What the progress window of a command that cannot be stopped says.
inline constexpr const char* kCannotBeStopped = "This cannot be stopped: it ends with all of its work done, or with none.";

// Rebuild: the question before it, and what it did.
std::string rebuildQuestion(int64_t deadSpace);
std::string rebuildSummary(int64_t givenBack);
// The bulk commands' summaries: "Replaced 1, added 2.",
// "Exported 3 entries to FOLDER; skipped 1."
std::string importSummary(size_t replaced, size_t added);
std::string extractSummary(size_t written, size_t skipped, const std::string& folder);
// Check: one line per problem, then the notes; a clean archive says so.
std::vector<std::string> checkLines(const CheckReport& report);

}  // namespace brimlet
