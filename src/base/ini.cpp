#include "base/ini.h"

#include <filesystem>
#include <system_error>

#include "base/file_utils.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Blanks around names and values; a CR left by a doubled line end (CR CR LF) is one too.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
  std::size_t first = 0;
  while (first < s.size() && IsBlank(s[first])) ++first;
  std::size_t last = s.size();
  while (last > first && IsBlank(s[last - 1])) --last;
  return s.substr(first, last - first);
}

// Trimmed and lower-cased (ASCII letters only; other bytes are compared as they are).
std::string NormalName(std::string_view s) {
  std::string name(Trim(s));
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

// Classifies one line; skip is the number of leading bytes to ignore (a byte-order mark on the first line).
IniLine ClassifyLine(std::string text, std::size_t skip) {
  IniLine line;
  line.text = std::move(text);
  const std::string_view body = std::string_view(line.text).substr(skip);
  const std::string_view trimmed = Trim(body);
  if (!trimmed.empty() && trimmed.front() == '[') {
    std::string_view inner = trimmed.substr(1);
    const std::size_t close = inner.find(']');
    if (close != std::string_view::npos) inner = inner.substr(0, close);
    line.kind = IniLineKind::Section;
    line.name = NormalName(inner);
    return line;
  }
  const std::size_t equals = body.find('=');
  if (equals != std::string_view::npos) {
    line.kind = IniLineKind::Key;
    line.name = NormalName(body.substr(0, equals));
    line.valueStart = skip + equals + 1;
  }
  return line;
}

// Index of the first section line with the given normalised name, or lines.size().
std::size_t FindSection(const IniDocument& document, const std::string& name) {
  const std::size_t n = document.lines.size();
  for (std::size_t i = 0; i < n; ++i) {
    const IniLine& line = document.lines[i];
    if (line.kind == IniLineKind::Section && line.name == name) return i;
  }
  return n;
}

// One past the last line of the section whose header is at index header.
std::size_t SectionEnd(const IniDocument& document, std::size_t header) {
  std::size_t i = header + 1;
  while (i < document.lines.size() && document.lines[i].kind != IniLineKind::Section) ++i;
  return i;
}

// Index of the first key line with the given normalised name in [first, end), or end.
std::size_t FindKey(const IniDocument& document, std::size_t first, std::size_t end, const std::string& name) {
  for (std::size_t i = first; i < end; ++i) {
    const IniLine& line = document.lines[i];
    if (line.kind == IniLineKind::Key && line.name == name) return i;
  }
  return end;
}

IniLine KeyLine(std::string_view key, const std::string& value) {
  std::string text(key);
  text += '=';
  text += value;
  return ClassifyLine(std::move(text), 0);
}

}  // namespace

IniDocument ParseIni(std::string_view text) {
  IniDocument document;
  const std::size_t skip = text.substr(0, kUtf8Bom.size()) == kUtf8Bom ? kUtf8Bom.size() : 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::size_t contentEnd = end;
    if (contentEnd > start && text[contentEnd - 1] == '\r') --contentEnd;
    document.lines.push_back(ClassifyLine(std::string(text.substr(start, contentEnd - start)), start == 0 ? skip : 0));
    start = next;
  }
  return document;
}

IniDocument ReadIniFile(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return {};
  return ParseIni(text);
}

std::string IniText(const IniDocument& document) {
  std::size_t size = 0;
  for (const IniLine& line : document.lines) size += line.text.size() + 2;
  std::string text;
  text.reserve(size);
  for (const IniLine& line : document.lines) {
    text += line.text;
    text += "\r\n";
  }
  return text;
}

WriteResult WriteIniFile(const std::string& path, const IniDocument& document) {
  namespace fs = std::filesystem;
  if (path.empty()) return {false, "пустое имя файла"};
  std::error_code ec;
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  return WriteFileAtomically(path, IniText(document));
}

namespace {

// The trimmed value of a key of a section, uncut; defaultValue when the section or the key is missing.
// The view points into the document or into the caller's default.
std::string_view RawValue(const IniDocument& document, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
  const std::size_t header = FindSection(document, NormalName(section));
  if (header == document.lines.size()) return defaultValue;
  const std::size_t end = SectionEnd(document, header);
  const std::size_t at = FindKey(document, header + 1, end, NormalName(key));
  if (at == end) return defaultValue;
  const IniLine& line = document.lines[at];
  return Trim(std::string_view(line.text).substr(line.valueStart));
}

}  // namespace

std::string IniGetValue(const IniDocument& document, std::string_view section, std::string_view key,
                        std::string_view defaultValue) {
  return std::string(RawValue(document, section, key, defaultValue).substr(0, kIniValueLimit));
}

std::string IniGetListValue(const IniDocument& document, std::string_view section, std::string_view key,
                            std::string_view defaultValue, char separator) {
  const std::string_view value = RawValue(document, section, key, defaultValue);
  if (value.size() <= kIniValueLimit) return std::string(value);
  // Cut just before the last separator that keeps the text within the limit; an item is never split.
  const std::size_t cut = value.substr(0, kIniValueLimit + 1).rfind(separator);
  return std::string(value.substr(0, cut == std::string_view::npos ? 0 : cut));
}

void IniSetValue(IniDocument& document, std::string_view section, std::string_view key, std::string_view value) {
  std::string clean(value);
  for (char& c : clean) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  auto& lines = document.lines;
  const std::size_t header = FindSection(document, NormalName(section));
  if (header == lines.size()) {
    lines.push_back(ClassifyLine("[" + std::string(section) + "]", 0));
    lines.push_back(KeyLine(key, clean));
    return;
  }
  const std::size_t end = SectionEnd(document, header);
  const std::size_t at = FindKey(document, header + 1, end, NormalName(key));
  if (at != end) {
    // The key keeps its spelling and position; only the text after "=" changes.
    IniLine& line = lines[at];
    line.text.resize(line.valueStart);
    line.text += clean;
    return;
  }
  // Blank lines that close the section stay between it and the next one.
  std::size_t insertAt = end;
  while (insertAt > header + 1 && Trim(lines[insertAt - 1].text).empty()) --insertAt;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), KeyLine(key, clean));
}
