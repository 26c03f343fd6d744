#include "wording.h"

#include "archive/errors.h"
#include "archive/paths.h"

namespace brimlet {

std::string messageWithPeriod(const std::string& message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + '.';
    return message;
}

namespace {

// Length of the valid UTF-8 sequence at `at` (no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0.
size_t utf8SequenceAt(std::string_view bytes, size_t at)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(at);
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > bytes.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    unsigned second = byte(at + 1);
    if (lead == 0xE0 && second < 0xA0) return 0; // overlong
    if (lead == 0xED && second >= 0xA0) return 0; // a surrogate
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second >= 0x90) return 0; // past U+10FFFF
    return length;
}

}  // namespace

std::string messageText(std::string_view bytes)
{
    std::string text;
    for (size_t at = 0; at < bytes.size();) {
        size_t length = bytes[at] & 0x80 ? utf8SequenceAt(bytes, at) : 1;
        if (length == 0) {
            text += hostTextOfEntryName(bytes.substr(at, 1));
            ++at;
        } else {
            text.append(bytes.substr(at, length));
            at += length;
        }
    }
    return text;
}

std::string rowText(std::string_view name) { return hostTextOfEntryName(name); }

std::string sizeText(uint32_t sectorCount)
{
    uint32_t bytes = sectorCount * 2048u;
    return std::to_string(bytes / 1000u) + "Kb";
}

int iconIndexFor(std::string_view name)
{
    static const char* const extensions[] = {".txd", ".dff", ".col", ".ifp"};
    std::string extension = lowerAscii(entryExtension(std::string(name)));
    for (int i = 0; i < 4; ++i)
        if (extension == extensions[i]) return i;
    return -1;
}

std::string rebuildQuestion(int64_t dead)
{
    if (dead > 0) return "Rebuilding gives back " + std::to_string(dead) + " bytes of dead space.";
    if (dead == 0) return "The archive has no dead space; rebuilding only puts its entries in directory order.";
    return "Rebuilding makes the data file " + std::to_string(-dead) +
           " bytes larger: entries that share a span each get a copy of their own.";
}

std::string rebuildSummary(int64_t given)
{
    if (given >= 0) return "gave back " + std::to_string(given) + " bytes";
    return "the data file grew by " + std::to_string(-given) + " bytes (entries that shared a span have their own copies)";
}

std::string importSummary(size_t replaced, size_t added)
{
    return "Replaced " + std::to_string(replaced) + ", added " + std::to_string(added) + ".";
}

std::string extractSummary(size_t written, size_t skipped, const std::string& folder)
{
    std::string text = "Exported " + std::to_string(written) + (written == 1 ? " entry" : " entries") + " to " + folder;
    if (skipped > 0) text += "; skipped " + std::to_string(skipped);
    return messageWithPeriod(text);
}

std::vector<std::string> nameWarnings(const EntryTable& table, size_t i, std::string_view name, bool withOutsideAscii)
{
    std::vector<std::string> warnings;
    for (NameTrouble trouble : nameTroubleKinds(name))
        if (withOutsideAscii || trouble != NameTrouble::OutsideAscii) warnings.push_back(troublePhrase(trouble));
    for (size_t k = 0; k < table.count(); ++k)
        if (k != i && !name.empty() && equalsIgnoringCase(table[k].nameView(), name)) {
            warnings.push_back("is the name of entry #" + std::to_string(k) + " too (the games load only the first)");
            break;
        }
    return warnings;
}

std::string renameQuestion(std::string_view name, const std::vector<std::string>& warnings)
{
    std::string text = "The entry name \"" + hostTextOfEntryName(name) + "\" ";
    for (size_t k = 0; k < warnings.size(); ++k) text += (k == 0 ? "" : "; it ") + warnings[k];
    return text + ". Rename the entry anyway?";
}

std::string failureMessage(const std::exception& failure)
{
    const auto* about = dynamic_cast<const Failure*>(&failure);
    std::string text = about && !about->path().empty() ? about->path() + ": " + failure.what() : failure.what();
    return messageWithPeriod(messageText(text));
}

std::vector<std::string> checkLines(const CheckReport& report)
{
    std::vector<std::string> lines;
    if (!report.foundProblems()) lines.push_back("No problems found.");
    // Each line ends as a message box's text does, so that all read alike.
    for (const auto& problem : report.problems) lines.push_back(messageWithPeriod(messageText(problem.text)));
    for (const auto& line : report.notes) lines.push_back(messageWithPeriod(messageText(line)));
    return lines;
}

}  // namespace brimlet
