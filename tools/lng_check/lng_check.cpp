#include "lng_check.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>

#include "localization/localized_texts.h"
#include "text/language_file.h"
#include "text/text_table.h"
#include "text/utf16.h"

namespace velmora {
namespace {

constexpr wchar_t kSuffix[] = L".lng";

// A value the tray will use: the key's first Key=" in the file, as the tray's own search finds
// it, and where the file says that entry stands.
struct Entry {
  std::string key;
  size_t keyAt;
  size_t valueAt;
  std::wstring value;
};

bool IsKeyChar(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
         c == L'_';
}

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<uint32_t>(c) < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string LineOf(const std::wstring& text, size_t at) {
  size_t line = 1;
  for (size_t i = 0; i < at && i < text.size(); ++i) line += text[i] == L'\n';
  return "line " + std::to_string(line);
}

std::string Lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// Entries as a translator wrote them: Key="value", values running to the next quote.
std::vector<Entry> ScanEntries(const std::wstring& text) {
  std::vector<Entry> entries;
  size_t i = 0;
  while ((i = text.find(L"=\"", i)) != std::wstring::npos) {
    size_t start = i;
    while (start > 0 && IsKeyChar(text[start - 1])) --start;
    const size_t valueAt = i + 2;
    const size_t end = text.find(L'"', valueAt);
    if (start < i) {
      entries.push_back({Ascii(text.substr(start, i - start)), start, valueAt,
                         text.substr(valueAt, (end == std::wstring::npos ? text.size() : end) -
                                                  valueAt)});
    }
    if (end == std::wstring::npos) break;
    i = end + 1;
  }
  return entries;
}

const char* PlaceholdersOf(TextArgs args) {
  switch (args) {
    case TextArgs::kNumber:
      return "%Timer (a number)";
    case TextArgs::kDuration:
      return "%Timer (a duration)";
    case TextArgs::kUser:
      return "%User";
    case TextArgs::kUserDuration:
      return "%User, then %Timer (a duration)";
    case TextArgs::kNone:
    case TextArgs::kShownAsWritten:
      break;
  }
  return "no placeholder";
}

size_t Count(const std::wstring& text, const std::wstring& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

void CheckEntry(const TextInfo& info, const Entry& entry, const std::wstring& text,
                std::vector<PackFinding>& findings) {
  const std::string where = std::string(entry.key) + " (" + LineOf(text, entry.keyAt) + ")";
  const size_t placeholders = Count(entry.value, L"%User") + Count(entry.value, L"%Timer");
  if (info.args == TextArgs::kShownAsWritten) {
    if (placeholders != 0) {
      findings.push_back({true, where + ": takes no placeholder; %User or %Timer would be "
                                        "shown as %s or %d"});
    }
  } else if (!EntryTextFromValue(entry.value, info.args, SIZE_MAX)) {
    findings.push_back({true, where + ": the placeholders do not fit; it takes " +
                                  PlaceholdersOf(info.args) +
                                  ", each once, in that order. The tray keeps the English text"});
    return;
  } else if (placeholders < (info.args == TextArgs::kUserDuration ? 2u : 1u) &&
             info.args != TextArgs::kNone) {
    findings.push_back({false, where + ": does not show " + PlaceholdersOf(info.args)});
  }
  const std::optional<std::wstring> full = EntryTextFromValue(entry.value, info.args, SIZE_MAX);
  const std::optional<std::wstring> cut = EntryTextFromValue(entry.value, info.args);
  if (full && full != cut) {
    findings.push_back({true, where + ": " + std::to_string(ToUtf16(*full).size()) +
                                  " UTF-16 units long; the tray cuts it to " +
                                  std::to_string(kTextMaxUnits)});
  }
}

void CheckEncoding(const std::vector<uint8_t>& bytes, const std::wstring& text,
                   std::vector<PackFinding>& findings) {
  const auto startsWith = [&](std::initializer_list<uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
  };
  const std::string save = ": save it as UTF-16LE (Notepad: \"Unicode\"; \"UTF-16 LE\")";
  if (startsWith({0xEF, 0xBB, 0xBF})) {
    findings.push_back({true, "wrong encoding: UTF-8 with a byte-order mark" + save});
  } else if (startsWith({0xFE, 0xFF})) {
    findings.push_back({true, "wrong encoding: UTF-16 big-endian" + save});
  } else if (text.find(L"=\"") == std::wstring::npos &&
             std::string(bytes.begin(), bytes.end()).find("=\"") != std::string::npos) {
    findings.push_back({true, "wrong encoding: 8-bit text (ANSI or UTF-8)" + save});
  } else if (bytes.size() % 2 != 0) {
    findings.push_back({true, "wrong encoding: an odd number of bytes is not UTF-16LE" + save});
  }
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t c = static_cast<uint32_t>(text[i]);
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    const bool pairs = high && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                       static_cast<uint32_t>(text[i + 1]) <= 0xDFFF;
    if (pairs) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      findings.push_back({true, "wrong encoding: an unpaired surrogate at " + LineOf(text, i)});
      return;
    }
  }
}

}  // namespace

std::vector<PackFinding> CheckLanguagePack(const std::wstring& fileName,
                                           const std::vector<uint8_t>& bytes) {
  std::vector<PackFinding> findings;
  const size_t suffix = std::char_traits<wchar_t>::length(kSuffix);
  if (fileName.size() <= suffix ||
      fileName.compare(fileName.size() - suffix, suffix, kSuffix) != 0 ||
      !IsSafeLanguageName(fileName.substr(0, fileName.size() - suffix))) {
    findings.push_back({true, "the file name must be a language name and .lng, e.g. de-de.lng "
                              "(no dot, control or path character, at most 85 characters, not "
                              "a device name): the tray refuses it"});
  }
  if (bytes.size() > static_cast<size_t>(kMaxLanguageFileBytes)) {
    findings.push_back({true, "larger than " + std::to_string(kMaxLanguageFileBytes) +
                                  " bytes: the tray ignores the whole file"});
    return findings;
  }
  const std::wstring text = FromUtf16LeBytesWhole(bytes.data(), bytes.size());
  CheckEncoding(bytes, text, findings);
  if (!findings.empty() && findings.back().message.rfind("wrong encoding: ", 0) == 0 &&
      findings.back().message.find("surrogate") == std::string::npos) {
    return findings;  // nothing below would mean anything
  }

  std::map<std::string, const TextInfo*> known;
  std::map<std::string, std::string> knownLower;
  for (const TextInfo& info : kTextTable) {
    known[Ascii(info.key)] = &info;
    knownLower[Lower(Ascii(info.key))] = Ascii(info.key);
  }
  std::map<std::string, const Entry*> first;
  const std::vector<Entry> entries = ScanEntries(text);
  for (const Entry& entry : entries) {
    const std::string where = entry.key + " (" + LineOf(text, entry.keyAt) + ")";
    if (!known.count(entry.key)) {
      const auto similar = knownLower.find(Lower(entry.key));
      findings.push_back({true, "unknown key " + where + ": the tray ignores it" +
                                    (similar != knownLower.end()
                                         ? "; keys are case-sensitive: " + similar->second
                                         : std::string())});
    } else if (first.count(entry.key)) {
      findings.push_back({false, where + " repeats the key of " +
                                     LineOf(text, first[entry.key]->keyAt) +
                                     "; the tray uses the first"});
    } else {
      first[entry.key] = &entry;
    }
  }

  for (const TextInfo& info : kTextTable) {
    const std::string key = Ascii(info.key);
    const std::optional<std::wstring> value = GetLanguageValue(text, info.key);
    const auto written = first.find(key);
    if (!value) {
      findings.push_back({true, written == first.end()
                                    ? "missing key " + key + ": the English text is shown"
                                    : key + " (" + LineOf(text, written->second->keyAt) +
                                          ") is empty or unterminated: the English text is "
                                          "shown"});
      continue;
    }
    // The tray finds the first Key=" anywhere, also inside another entry's value.
    const size_t at = text.find(std::wstring(info.key) + L"=\"");
    if (written == first.end() || written->second->keyAt != at) {
      findings.push_back({true, key + "=\" first occurs at " + LineOf(text, at) +
                                    " inside another entry or key; the tray reads its value "
                                    "from there"});
      continue;
    }
    CheckEntry(info, *written->second, text, findings);
  }
  return findings;
}

int PrintPackReports(const std::vector<PackReport>& reports, std::string& out) {
  size_t errors = 0;
  size_t warnings = 0;
  for (const PackReport& report : reports) {
    for (const PackFinding& finding : report.findings) {
      out += report.shownPath + (finding.error ? ": error: " : ": warning: ") +
             finding.message + "\n";
      (finding.error ? errors : warnings) += 1;
    }
  }
  out += std::to_string(reports.size()) + " file(s), " + std::to_string(errors) +
         " error(s), " + std::to_string(warnings) + " warning(s)\n";
  return errors == 0 ? 0 : 1;
}

}  // namespace velmora
