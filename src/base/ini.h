#pragma once
// A small INI text layer: [Section] lines and Key=value lines, read once into memory, changed key by
// key and written back in one piece.
//
// Sections and keys match without regard to ASCII letter case and with surrounding blanks ignored;
// the first matching section and, inside it, the first matching key win. A value is read with its
// surrounding blanks removed and at most kIniValueLimit characters of it survive. Writing a key replaces
// its value where it stands or appends the key to its section (adding the section at the end when it is
// missing); every other line keeps its bytes. Files are written with CR LF line ends; LF and CR LF are
// both read.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_utils.h"

// The most characters of a value that reading returns.
inline constexpr std::size_t kIniValueLimit = 254;

// What a line of an INI text is.
enum class IniLineKind { Other, Section, Key };

// One line of an INI text as it stands in the file, with what the reader made of it.
struct IniLine {
  std::string text;  // the line without its line end
  IniLineKind kind = IniLineKind::Other;
  std::string name;            // section name or key: trimmed and lower-cased
  std::size_t valueStart = 0;  // for a key line, the position just after its first "="
};

// An INI text in memory, line by line.
struct IniDocument {
  std::vector<IniLine> lines;
};

// Splits a text into lines (LF or CR LF ends) and classifies each; time linear in the text's length.
IniDocument ParseIni(std::string_view text);
// Reads and parses a file; a missing or unreadable file gives an empty document.
IniDocument ReadIniFile(const std::string& path);
// The document as text: every line followed by CR LF.
std::string IniText(const IniDocument& document);
// Writes the document to a temporary file in the target's folder and renames it over the target, so
// that the target is either the old file or the complete new one; creates the folder when missing.
// On failure of any step the target is unchanged, the temporary file removed and the system's reason given.
WriteResult WriteIniFile(const std::string& path, const IniDocument& document);
// The value of a key in a section, trimmed and cut to kIniValueLimit characters; defaultValue when
// the section or the key is missing.
std::string IniGetValue(const IniDocument& document, std::string_view section, std::string_view key,
                        std::string_view defaultValue);
// Sets a key of a section to a value in which every CR and LF has become a blank: replaces the value
// of the first matching key in place, or appends "key=value" after the section's last non-blank line,
// or appends the section and the key at the end of the document.
void IniSetValue(IniDocument& document, std::string_view section, std::string_view key, std::string_view value);
// The value of a key that holds a list of items joined by separator, cut like IniGetValue but never inside
// an item: a value longer than kIniValueLimit keeps only the items that end within the limit.
std::string IniGetListValue(const IniDocument& document, std::string_view section, std::string_view key,
                            std::string_view defaultValue, char separator);
